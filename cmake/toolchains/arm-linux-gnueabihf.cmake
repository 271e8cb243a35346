# 32-bit ARM with hardware floating point (Debian armhf: ARMv7, where NEON is optional, so
# the JPEG core builds its plain code):
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(VELLUMET_CROSS_TRIPLET arm-linux-gnueabihf)
set(VELLUMET_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
