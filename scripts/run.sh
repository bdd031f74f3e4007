#!/usr/bin/env bash
# make run: the desktop program where there is a display, the headless relay otherwise.
#   run.sh [executable]   (default build/quillet-mirror)
set -eu
bin="${1:-$(dirname "$0")/../build/quillet-mirror}"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting the desktop program (display found)." >&2
    exec "$bin"
fi
echo "No display found: starting the headless relay (Ctrl+C ends it)." >&2
exec "$bin" --headless
