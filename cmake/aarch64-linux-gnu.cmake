# Cross-compiling for 64-bit Arm (a small board's Debian) with Debian's cross compiler and the
# arm64 libraries its multiarch packages put under /usr/lib/aarch64-linux-gnu. scripts/setup-arm64
# installs both; the arm64 preset uses this file.
#
# Qt's code generators (moc, rcc) and rpcgen run on the build machine: QT_HOST_PATH names the
# build machine's Qt, whose tools Debian installs under /usr. Programs the build or the tests
# run (the tests themselves) go through qemu-aarch64-static, which loads the arm64 dynamic
# loader and libraries from their multiarch places under / (the -L prefix).

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "arm64 pkg-config")

set(QT_HOST_PATH /usr CACHE PATH "the build machine's Qt, whose moc and rcc run here")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${CMAKE_HOST_SYSTEM_PROCESSOR}-linux-gnu/cmake
    CACHE PATH "its CMake packages")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L /)
