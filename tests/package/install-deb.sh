#!/usr/bin/env bash
# Builds the Debian package from a build folder, installs it with apt-get as a user would,
# runs the installed programs, checks the launcher and the icon, and removes the package.
#   install-deb.sh BUILD_DIR WORK_DIR VERSION
# Exit 0 passed, 1 failed, 77 skipped (not root, no apt-get, or pondwatch installed already).
set -euo pipefail
build=$(realpath "${1:?build folder}")
work=$(realpath -m "${2:?work folder}")
version=${3:?version}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
[ "$(id -u)" -eq 0 ] || { echo "SKIPPED: installing a package needs root" >&2; exit 77; }
command -v apt-get >/dev/null || { echo "SKIPPED: no apt-get" >&2; exit 77; }

# One package installation at a time on this machine.
exec 9>/tmp/pondwatch-deb-test.lock
flock 9
if dpkg -s pondwatch >/dev/null 2>&1; then
    echo "SKIPPED: a pondwatch package is installed already; not touching it" >&2
    exit 77
fi

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/pondwatch_"$version"_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no pondwatch_${version}_*.deb in $work"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libavcodec libavformat libswscale; do
    grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib: $depends"
done

trap 'apt-get remove -y pondwatch >/dev/null 2>&1 || true' EXIT
apt-get install -y "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install failed"; }
[ "$(/usr/bin/pondwatch-cli --version)" = "pondwatch-cli $version" ] \
    || fail "/usr/bin/pondwatch-cli --version says '$(/usr/bin/pondwatch-cli --version)'"
[ "$(/usr/bin/pondwatch --version)" = "pondwatch $version" ] \
    || fail "/usr/bin/pondwatch --version says '$(/usr/bin/pondwatch --version)'"
desktop=/usr/share/applications/pondwatch.desktop
grep -q '^Exec=pondwatch %f$' "$desktop" || fail "$desktop has no Exec line"
grep -q '^MimeType=.*video/mp4;' "$desktop" || fail "$desktop names no video types"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "$desktop is not valid"
fi
[ -f /usr/share/icons/hicolor/32x32/apps/pondwatch.png ] || fail "the icon is not installed"

apt-get remove -y pondwatch >"$work/remove.log" 2>&1 || fail "apt-get remove failed"
trap - EXIT
[ ! -e /usr/bin/pondwatch-cli ] || fail "/usr/bin/pondwatch-cli is still there after removal"
echo "PASS: $(basename "$deb") installed, run and removed"
