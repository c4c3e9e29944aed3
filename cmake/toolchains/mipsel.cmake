# 32-bit little-endian MIPS, with Debian's cross compiler:
#   apt-get install g++-mipsel-linux-gnu qemu-user
#   cmake -S . -B build-mipsel -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mipsel.cmake
set(DORVAN_TARGET_TRIPLE mipsel-linux-gnu)
set(DORVAN_QEMU qemu-mipsel)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
