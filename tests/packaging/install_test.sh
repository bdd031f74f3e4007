#!/usr/bin/env bash
# Installs the build into a temporary prefix, as a package does, and checks
# what a user gets there: every file, an executable that is stripped and runs,
# and entries that the desktop's and systemd's own tools accept. A tool that
# is missing is skipped with a note. As root it also builds both packages and
# installs and purges them with dpkg, leaving the machine as it was.
#   install_test.sh BUILD_DIR PROGRAM_TEST
# PROGRAM_TEST then runs the installed program (QM_INSTALLED_PREFIX).
set -euo pipefail
# Checks pipe into grep without -q: grep -q stops at the first match, and
# under pipefail the writer's SIGPIPE would then fail the check.
build=$1
program_test=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/usr
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
skip() { echo "skipped: $*"; }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" || {
    cat "$tmp/install.log" >&2
    echo "FAIL: cmake --install" >&2
    exit 1
}

exe=$prefix/bin/quillet-mirror
server=$prefix/bin/quillet-mirrord
unit=$prefix/lib/systemd/system/quillet-mirror.service
files=(bin/quillet-mirror bin/quillet-mirrord lib/systemd/system/quillet-mirror.service
    share/applications/quillet-mirror.desktop share/metainfo/org.quillet.mirror.metainfo.xml
    share/man/man1/quillet-mirror.1.gz share/man/man1/quillet-mirrord.1.gz
    share/doc/quillet-mirror/copyright share/doc/quillet-mirror/changelog.Debian.gz
    share/doc/quillet-mirror-server/copyright share/doc/quillet-mirror-server/changelog.Debian.gz
    share/doc/quillet-mirror/examples/config.ini
    share/bash-completion/completions/quillet-mirror
    share/icons/hicolor/scalable/apps/quillet-mirror.svg)
for f in "${files[@]}"; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
# Each theme size holds a PNG of that size (width and height from its header).
for size in 16 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/quillet-mirror.png
    read -r -a header < <(od -An -tu1 -j16 -N8 "$png" 2>/dev/null || true)
    width=$(((${header[2]:-0} << 8) + ${header[3]:-0}))
    height=$(((${header[6]:-0} << 8) + ${header[7]:-0}))
    [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "icon $png is ${width}x$height"
done

if command -v readelf >/dev/null; then
    for program in "$exe" "$server"; do
        ! readelf -S "$program" | grep -e '\.symtab' -e '\.debug_info' >/dev/null ||
            fail "$program is not stripped"
    done
else
    skip "readelf: strip check"
fi
# The server executable must run where no graphical library is installed.
if ldd "$server" >"$tmp/ldd.txt" 2>&1; then
    ! grep -q -e libQt6Gui -e libQt6Widgets -e libX11 -e libGL "$tmp/ldd.txt" ||
        fail "quillet-mirrord links graphical libraries: $(grep -e Gui -e Widgets -e X11 -e GL "$tmp/ldd.txt")"
else
    fail "ldd quillet-mirrord: $(cat "$tmp/ldd.txt")"
fi
"$server" --version | grep -x "quillet-mirrord [0-9.]*" >/dev/null || fail "--version: $("$server" --version 2>&1)"
"$server" --help | grep -- --config-dir >/dev/null || fail "quillet-mirrord --help"
# Help wins over every other option; a bad line exits with 2.
"$exe" --headless --help >"$tmp/help.txt" 2>&1 && grep -q -- --config-dir "$tmp/help.txt" ||
    fail "the installed executable did not print its help: $(cat "$tmp/help.txt")"
"$exe" --version | grep -x "quillet-mirror [0-9.]*" >/dev/null || fail "--version: $("$exe" --version 2>&1)"
code=0
"$exe" --headless --no-such-option 2>"$tmp/bad.txt" || code=$?
[ "$code" = 2 ] && grep -q no-such-option "$tmp/bad.txt" ||
    fail "an unknown option gave exit code $code: $(cat "$tmp/bad.txt")"
grep -qx "ExecStart=$server --config-dir /var/lib/quillet-mirror" "$unit" ||
    fail "the unit does not start the installed executable: $(grep ExecStart "$unit")"

if command -v desktop-file-validate >/dev/null; then
    # Debian 12's validator predates the SingleMainWindow key (desktop entry 1.5).
    desktop-file-validate "$prefix/share/applications/quillet-mirror.desktop" \
        >"$tmp/desktop.txt" 2>&1 || true
    if grep -v 'key "SingleMainWindow"' "$tmp/desktop.txt" | grep ': error:' >/dev/null; then
        fail "desktop-file-validate: $(cat "$tmp/desktop.txt")"
    fi
else
    skip "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
    # The tree check also finds the desktop entry and icons the metainfo names.
    appstreamcli validate-tree --no-net "$prefix" >"$tmp/appstream.txt" 2>&1 ||
        fail "appstreamcli validate-tree: $(cat "$tmp/appstream.txt")"
else
    skip "appstreamcli"
fi
if command -v systemd-analyze >/dev/null; then
    # A key it cannot parse is only a warning: any remark on the unit fails.
    MANPATH=$prefix/share/man systemd-analyze verify "$unit" >"$tmp/verify.txt" 2>&1 &&
        ! grep -q quillet-mirror "$tmp/verify.txt" ||
        fail "systemd-analyze verify: $(cat "$tmp/verify.txt")"
else
    skip "systemd-analyze verify"
fi
for script in postinst prerm postrm; do
    sh -n "$(dirname "$0")/../../packaging/debian/$script" || fail "maintainer script $script: sh -n"
done
if command -v groff >/dev/null; then
    gzip -dc "$prefix/share/man/man1/quillet-mirror.1.gz" | groff -man -ww -z 2>"$tmp/groff.txt"
    [ ! -s "$tmp/groff.txt" ] || fail "the man page has roff warnings: $(cat "$tmp/groff.txt")"
else
    skip "groff: man page check"
fi

QM_INSTALLED_PREFIX=$prefix "$program_test" || fail "the installed program's test"

if [ "$(id -u)" -eq 0 ] && command -v dpkg >/dev/null && command -v cpack >/dev/null; then
    bash "$(dirname "$0")/package_install_test.sh" "$build" || fail "the packages' install and purge"
else
    skip "dpkg -i / dpkg -P of the packages (needs root)"
fi

[ "$failures" -eq 0 ] || exit 1
echo "installed files checked"
