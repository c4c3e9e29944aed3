#!/bin/sh
# Installs the Debian packages a fresh machine lacks, for
#   build: the daemon and tools (a compiler, CMake, Ninja);
#   test:  the test suite as well (GoogleTest, and what the tests run:
#          bash, man, hostapd, the regulatory database, the packaging tools,
#          strace);
#   vm:    the test set and what the VM test runs (qemu-system-x86_64; it
#          fetches its Debian packages itself, see tests/vm/run.sh).
# Only what is missing is installed. Run as root, or where sudo works.
set -eu
build="g++ cmake ninja-build"
case "${1:-}" in
build) want=$build ;;
test | vm)
    want="$build libgtest-dev bash man-db groff-base hostapd wireless-regdb dpkg-dev fakeroot lintian systemd busybox strace"
    [ "$1" = vm ] && want="$want qemu-system-x86 binutils" ;;
*) echo "usage: $0 build|test|vm" >&2; exit 2 ;;
esac
missing=
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
# shellcheck disable=SC2086 # one word a package
$sudo apt-get install -y --no-install-recommends $missing
