# Shared by the toolchain files: Debian's cross compilers, their sysroot under
# /usr/<triple>, and qemu-user to run target programs (tests) on the build host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${DORVAN_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DORVAN_TARGET_TRIPLE}-g++)
set(CMAKE_STRIP ${DORVAN_TARGET_TRIPLE}-strip CACHE FILEPATH "strip for the target")

set(DORVAN_SYSROOT /usr/${DORVAN_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${DORVAN_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest, gtest discovery and build steps run target programs through this.
find_program(DORVAN_QEMU_PATH ${DORVAN_QEMU})
if(DORVAN_QEMU_PATH)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${DORVAN_QEMU_PATH} -L ${DORVAN_SYSROOT})
endif()
