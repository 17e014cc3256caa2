#!/bin/sh
# Builds the tool and its whole test suite for 32-bit Linux and runs it
# under qemu-user: the place where the shared code meets 32-bit pointers,
# size_t and file offsets, and where files past 2 and 4 GiB must still be
# reached. The tests start the tool as a process of its own, so the
# emulator is registered with binfmt_misc (root only) for every i386
# program. Needs: g++-multilib qemu-user-static googletest.
set -eu
cd "$(dirname "$0")/.."

binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/qemu-i386" ]; then
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  # The i386 ELF header, and the fixed-binary flag so that the emulator
  # keeps working inside any folder.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > "$binfmt/register"
fi

cmake -B build-linux32 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DCMAKE_BUILD_TYPE=Release \
  -DMORVALEN_TESTS=ON
cmake --build build-linux32 -j2
# Byte 4 of an ELF header is its class: 1 for 32-bit programs.
[ "$(od -An -tx1 -j4 -N1 build-linux32/morvalencmd | tr -d ' ')" = 01 ] ||
  { echo "build-linux32/morvalencmd is not a 32-bit program"; exit 1; }
# A machine where 32-bit programs cannot start must fail here, not pass.
build-linux32/morvalencmd > /dev/null || [ $? -eq 1 ] ||
  { echo "32-bit programs do not run here: the 32-bit tests did not run"; exit 1; }
ctest --test-dir build-linux32 --output-on-failure
