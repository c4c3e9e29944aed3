#!/usr/bin/env bash
# Cross-builds dorvan for one target CPU and runs the tests under qemu-user.
#   bash scripts/cross-test.sh armhf|mipsel [ctest -R regex]
# Needs: g++-arm-linux-gnueabihf or g++-mipsel-linux-gnu, qemu-user,
# libgtest-dev (GoogleTest is built for the target from /usr/src/googletest).
# No binfmt registration is needed: ctest runs the test programs through the
# emulator named in the toolchain file, and the programs that tests start
# (dorvand, dorvan, dorvan-cfg) are reached through wrapper scripts that call
# it too.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:?usage: cross-test.sh armhf|mipsel [ctest -R regex]}
regex=${2:-}
case $arch in
armhf | mipsel) ;;
*) echo "cross-test.sh: unknown target $arch (armhf or mipsel)" >&2; exit 2 ;;
esac

build=build-$arch
start=$(date +%s)
cmake -S . -B "$build" -G Ninja -DDORVAN_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake"
cmake --build "$build" -j2
echo "== $arch build took $(( $(date +%s) - start )) s"

# Emulation slows every pass of a test; allow more time than native runs.
args=(--test-dir "$build" -j2 --output-on-failure --timeout 300)
[ -n "$regex" ] && args+=(-R "$regex")
# CROSS_EXCLUDE: tests that cannot mean anything under user-mode emulation.
[ -n "${CROSS_EXCLUDE:-}" ] && args+=(-E "$CROSS_EXCLUDE")
ctest "${args[@]}"
echo "== $arch build and tests took $(( $(date +%s) - start )) s"
