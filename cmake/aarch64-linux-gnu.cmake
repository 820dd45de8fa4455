# The camera: 64-bit ARM Linux, built with Debian's cross toolchain
# (crossbuild-essential-arm64) against the arm64 multiarch -dev packages
# (libpcap-dev:arm64, libsqlite3-dev:arm64, libgtest-dev:arm64).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

# The cross C and C++ libraries live here; the multiarch packages under
# /usr/lib/aarch64-linux-gnu, which the cross compiler searches by itself.
set(DEBUG_ARM64_SYSROOT /usr/aarch64-linux-gnu)

# Libraries, headers and package files for the camera come from the arm64
# locations only (a host one would link or be found and then fail); programs
# that run during the build (python3, the host compiler) from the PC.
set(CMAKE_FIND_ROOT_PATH ${DEBUG_ARM64_SYSROOT} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Camera programs run on the PC under the user-mode emulator, with the arm64
# multiarch loader and libraries (libc6:arm64, libstdc++6:arm64): under
# qemu 7.2 a forked child hangs with the cross sysroot's own C library.
# "-L /" keeps any /etc/qemu-binfmt prefix of the PC out of it.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
