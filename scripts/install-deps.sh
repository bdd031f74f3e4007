#!/usr/bin/env bash
# Installs the Debian packages the build needs, if any are missing.
#   install-deps.sh [build|test|package|fuzz|look]
#   build: compiler, CMake, Qt 6 and a font (default)
#   test:  the validators of the installed desktop entry and metainfo
#   package: dpkg-shlibdeps, which reads the package's dependencies
#   fuzz:  clang with libFuzzer
#   look:  Xvfb, a compositor and screenshot tools for looking at the windows
set -euo pipefail
# Checks pipe into grep without -q: grep -q stops at the first match, and
# under pipefail the writer's SIGPIPE would then fail the check.

case "${1:-build}" in
    build) pkgs=(g++ make cmake qt6-base-dev qt6-svg-dev fonts-dejavu-core fonts-dejavu-extra) ;;
    test) pkgs=(desktop-file-utils appstream) ;;
    package) pkgs=(dpkg-dev) ;;
    fuzz) pkgs=(clang libclang-rt-14-dev) ;;
    look) pkgs=(xvfb xcompmgr x11-apps imagemagick) ;;
    *) echo "usage: $0 [build|test|package|fuzz|look]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "This is not a Debian system (no dpkg-query/apt-get). Install the equivalents of:" >&2
    echo "  ${pkgs[*]}" >&2
    exit 1
fi

missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep 'install ok installed' >/dev/null || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
else
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them as root:  apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if ! "${as_root[@]}" apt-get update -qq ||
    ! "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
    echo "apt-get could not install: ${missing[*]} (is the network or the package mirror reachable?)" >&2
    exit 1
fi
