#!/usr/bin/env bash
# make fuzz: builds the libFuzzer targets with clang in fuzz-build/ and runs
# each for FUZZ_SECONDS (default 60), starting from tests/fuzz/seeds/. What
# they find stays in fuzz-build/corpus/; a failing input in fuzz-build/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
build=fuzz-build
targets=(fuzz_ip_address fuzz_ini_file)

CXX=clang++ cmake -S . -B "$build" -DQM_FUZZ=ON -DQM_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

for target in "${targets[@]}"; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target: ${seconds}s" >&2
    (cd "$build" && "./tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="./$target-" "corpus/$target" "../tests/fuzz/seeds/$target")
done
echo "No crashes found." >&2
