# Shared part of the cross toolchain files beside it: Debian's cross compiler for the triplet
# VELLUMET_CROSS_TRIPLET (crossbuild-essential-ARCH) and the libraries of that architecture
# installed next to the build machine's own (dpkg --add-architecture ARCH, then libfoo-dev:ARCH;
# scripts/install-deps.sh --cross ARCH installs both).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VELLUMET_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VELLUMET_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${VELLUMET_CROSS_TRIPLET})

# pkg-config reads only the target's .pc files; the headers and libraries they name are in
# the multiarch folders that Debian's cross compiler searches by itself.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${VELLUMET_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Programs the build runs (the skin's table maker) and the tests run under QEMU's user-mode
# emulation, which loads the target's libraries from the same multiarch folders.
find_program(VELLUMET_CROSS_EMULATOR NAMES ${VELLUMET_CROSS_QEMU}-static ${VELLUMET_CROSS_QEMU})
if(VELLUMET_CROSS_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELLUMET_CROSS_EMULATOR})
endif()
