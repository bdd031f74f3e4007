#!/usr/bin/env bash
# Builds both Debian packages from the build, installs them with dpkg -i and
# purges them with dpkg -P, checking that the purge leaves nothing behind:
# no files, no unit links or masks, no state folder. Run as root by
# install_test.sh; the machine is left as it was, also when a check fails.
# Packages of the same names installed before are never touched.
#   package_install_test.sh BUILD_DIR
set -euo pipefail
# Checks pipe into grep without -q: grep -q stops at the first match, and
# under pipefail the writer's SIGPIPE would then fail the check.
build=$1
packages=(quillet-mirror quillet-mirror-server)
tmp=$(mktemp -d)
installed_here=0
cleanup() {
    if [ "$installed_here" = 1 ]; then
        dpkg -P "${packages[@]}" >>"$tmp/dpkg.log" 2>&1 || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

for package in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep installed >/dev/null; then
        echo "skipped: $package is installed on this machine; dpkg -i / -P left out"
        exit 0
    fi
done

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/packages") \
    >"$tmp/cpack.log" 2>&1 || {
    cat "$tmp/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
}
debs=("$tmp"/packages/quillet-mirror-server_*.deb "$tmp"/packages/quillet-mirror_*.deb)
for deb in "${debs[@]}"; do
    [ -s "$deb" ] || fail "not built: $deb"
done
[ "$failures" -eq 0 ] || exit 1
dpkg-deb -I "${debs[1]}" | grep "Depends:.*quillet-mirror-server (= " >/dev/null ||
    fail "the desktop package does not depend on the server package"
! dpkg-deb -I "${debs[0]}" | grep -e libqt6gui -e libqt6widgets -e qt6-qpa-plugins >/dev/null ||
    fail "the server package depends on graphical libraries: $(dpkg-deb -I "${debs[0]}" | grep Depends)"
! dpkg-deb -I "${debs[1]}" | grep qt6-qpa-plugins >/dev/null || fail "the desktop package recommends qt6-qpa-plugins"

# Another install or upgrade may hold dpkg's lock for a while.
dpkg_retrying() {
    local deadline=$((SECONDS + 120))
    until dpkg "$@" >>"$tmp/dpkg.log" 2>&1; do
        if ! grep -q "lock" "$tmp/dpkg.log" || [ $SECONDS -ge $deadline ]; then
            return 1
        fi
        sleep 2
    done
}
installed_here=1
if dpkg_retrying -i "${debs[@]}"; then
    /usr/bin/quillet-mirrord --version | grep -x "quillet-mirrord [0-9.]*" >/dev/null ||
        fail "the installed quillet-mirrord does not run"
    [ -s /lib/systemd/system/quillet-mirror.service ] || fail "the unit is not installed"
    [ -s /usr/share/doc/quillet-mirror/examples/config.ini ] || fail "no example config.ini"
    # A service state as it would be after runs of the service.
    mkdir -p /var/lib/private/quillet-mirror
    ln -sfn private/quillet-mirror /var/lib/quillet-mirror
    echo "[main]" >/var/lib/private/quillet-mirror/config.ini
else
    fail "dpkg -i: $(cat "$tmp/dpkg.log")"
fi
if dpkg_retrying -P "${packages[@]}"; then
    installed_here=0
    for left in /usr/bin/quillet-mirrord /usr/bin/quillet-mirror /lib/systemd/system/quillet-mirror.service \
        /etc/systemd/system/quillet-mirror.service /var/lib/quillet-mirror /var/lib/private/quillet-mirror \
        /var/lib/systemd/deb-systemd-helper-enabled/quillet-mirror.service.dsh-also \
        /var/lib/systemd/deb-systemd-helper-masked/quillet-mirror.service \
        /usr/share/doc/quillet-mirror /usr/share/doc/quillet-mirror-server; do
        [ ! -e "$left" ] && [ ! -L "$left" ] || fail "left behind by the purge: $left"
    done
else
    fail "dpkg -P: $(cat "$tmp/dpkg.log")"
fi
grep -i -e warning -e error "$tmp/dpkg.log" >&2 && fail "dpkg complained: see above"

[ "$failures" -eq 0 ] || exit 1
echo "packages installed and purged cleanly"
