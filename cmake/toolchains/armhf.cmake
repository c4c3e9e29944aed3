# 32-bit ARM, hard float (Debian armhf), with Debian's cross compiler:
#   apt-get install g++-arm-linux-gnueabihf qemu-user
#   cmake -S . -B build-armhf -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/armhf.cmake
set(DORVAN_TARGET_TRIPLE arm-linux-gnueabihf)
set(DORVAN_QEMU qemu-arm)
set(CMAKE_SYSTEM_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
