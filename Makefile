# make run   installs what is missing, builds, starts the program
# make test  installs what is missing, builds, runs the whole suite
# make test SANITIZE=1   the same under AddressSanitizer and UndefinedBehaviorSanitizer
# make test SANITIZE=thread   the same under ThreadSanitizer (build-tsan)
# make test LAYERS='relay|service'   only those layers' tests (TESTS=regex: by name)
# make package  a Debian package (build/quillet-mirror_*.deb)
# make bench / make fuzz
# make stress   floods, churn, bad files and datagrams against the built program

JOBS ?= $(shell nproc)
# cmake --build runs make again: keep its output to the compiler's lines.
MAKEFLAGS += --no-print-directory
ifeq ($(SANITIZE),1)
BUILD := build-asan
CMAKE_FLAGS := -DQM_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else ifeq ($(SANITIZE),thread)
BUILD := build-tsan
CMAKE_FLAGS := -DQM_SANITIZE_THREAD=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD := build
CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif

.PHONY: all deps configure build run test package bench stress fuzz format

all: build

deps:
	@scripts/install-deps.sh build

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run.sh $(BUILD)/quillet-mirror

test: build
	@scripts/install-deps.sh test
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS) \
		$(if $(LAYERS),-L '$(LAYERS)') $(if $(TESTS),-R '$(TESTS)')

package: build
	@scripts/install-deps.sh package
	@cd $(BUILD) && cpack -G DEB

bench: build
	@$(BUILD)/bench/relay-bench
	@QT_QPA_PLATFORM=offscreen $(BUILD)/bench/online-list-bench
	@QT_QPA_PLATFORM=offscreen $(BUILD)/bench/window-load-bench

stress: build
	@$(BUILD)/bench/stress/quillet-stress $(BUILD)/quillet-mirror

fuzz:
	@scripts/install-deps.sh build
	@scripts/install-deps.sh fuzz
	@scripts/fuzz.sh

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')
