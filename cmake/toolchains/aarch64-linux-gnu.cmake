# 64-bit ARM (Debian arm64), with NEON in the JPEG core:
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(VELLUMET_CROSS_TRIPLET aarch64-linux-gnu)
set(VELLUMET_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
