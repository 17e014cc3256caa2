#!/bin/sh
# Builds the Windows deliverable (32-bit) and its ZIP, and the 64-bit
# Windows build with its tests, then runs those tests and the comparison
# with the Linux build under wine64. Needs: g++-mingw-w64-i686
# g++-mingw-w64-x86-64 wine64 googletest unzip, and the Linux test build in
# build-test (the README's test command).
set -eu
cd "$(dirname "$0")/.."
wine=/usr/lib/wine/wine64
export WINEDEBUG=-all

cmake -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-win32 -j2
i686-w64-mingw32-objdump -f build-win32/morvalencmd.exe | grep -q 'file format pei-i386' ||
  { echo "build-win32/morvalencmd.exe is not a 32-bit Windows executable"; exit 1; }

# The ZIP for Windows, as the README makes it: the 32-bit program, the
# README and the readme in Japanese, UTF-8 with a BOM and CR LF line ends.
rm -f build-win32/morvalencmd-*.zip
(cd build-win32 && cpack -G ZIP)
unzipped=$(mktemp -d)
unzip -q build-win32/morvalencmd-*-win32.zip -d "$unzipped"
i686-w64-mingw32-objdump -f "$unzipped"/*/morvalencmd.exe | grep -q 'file format pei-i386' ||
  { echo "the ZIP holds no 32-bit Windows program"; exit 1; }
[ -f "$unzipped"/*/README.md ] || { echo "the ZIP holds no README.md"; exit 1; }
readme=$(ls "$unzipped"/*/readme_ja.txt)
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || { echo "readme_ja.txt has no BOM"; exit 1; }
[ "$(grep -c "$(printf '\r')\$" "$readme")" = "$(wc -l < "$readme")" ] ||
  { echo "readme_ja.txt has lines that do not end in CR LF"; exit 1; }
rm -rf "$unzipped"

cmake -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DMORVALEN_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR=$wine \
  -DMORVALEN_LINUX_EXE="$(pwd)/build-test/morvalencmd"
cmake --build build-win64 -j2

# One wine server for the whole run, and wine's own services started once,
# here: a server started afresh by a test's run starts the services again,
# and they print on that run's standard error, where the tests read only
# what the tool printed (a crash of wine's device host was seen there).
trap '/usr/lib/wine/wineserver -k; rm -rf "${dvd:-}" "${cuts:-}"' EXIT
# A fresh machine has no wine prefix yet: the server needs its folder.
mkdir -p "${WINEPREFIX:-$HOME/.wine}"
/usr/lib/wine/wineserver -p
# A machine where wine cannot start must fail here, not pass silently.
"$wine" cmd /c exit 0 || { echo "wine64 cannot start: the Windows tests did not run"; exit 1; }

# The DVD tests' folder, made here: the Windows test runner has no dvdauthor.
# Wine shows the root of the Linux file system as drive Z:.
dvd=$(mktemp -d)
tests/make_dvd.sh "$dvd/disc"
MORVALEN_DVD_FOLDER="Z:$(printf '%s' "$dvd/disc" | tr / '\\')"
export MORVALEN_DVD_FOLDER MORVALEN_DVD_LINUX="$dvd/disc"

# The cut of a file under a mapped view: wine, as Windows, refuses to cut
# a mapped file, so a process outside it cuts the file when the test asks
# (the length in a file "cut", removed once done).
cuts=$(mktemp -d)
( while [ -d "$cuts" ]; do
    if [ -f "$cuts/cut" ]; then truncate -s "$(cat "$cuts/cut")" "$cuts/v.m2v" || true; rm -f "$cuts/cut"; fi
    sleep 0.01
  done ) &
MORVALEN_CUT_FOLDER="Z:$(printf '%s' "$cuts" | tr / '\\')"
export MORVALEN_CUT_FOLDER
ctest --test-dir build-win64 --output-on-failure
