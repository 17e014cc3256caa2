#!/bin/sh
# Makes the Debian package from the release build, as the README says, and
# checks what it holds: the program, its manual page (which man renders
# without a warning) and the README. Needs: cmake g++ dpkg-dev man-db.
set -eu
cd "$(dirname "$0")/.."

cmake -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
rm -f build/morvalencmd_*.deb
(cd build && cpack -G DEB)
deb=$(ls build/morvalencmd_*.deb)
listing=$(dpkg-deb -c "$deb")
for path in ./usr/bin/morvalencmd ./usr/share/man/man1/morvalencmd.1.gz ./usr/share/doc/morvalencmd/README.md; do
  printf '%s\n' "$listing" | grep -q " $path\$" || { echo "$deb lacks $path"; exit 1; }
done

# The page as installed, rendered as man would: a warning fails.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
warnings=$(man --warnings -l "$unpacked/usr/share/man/man1/morvalencmd.1.gz" 2>&1 > "$unpacked/page.txt")
[ -z "$warnings" ] || { echo "the manual page renders with warnings: $warnings"; exit 1; }
grep -q 'EXIT STATUS' "$unpacked/page.txt" || { echo "the manual page did not render"; exit 1; }
"$unpacked/usr/bin/morvalencmd" --version | tr -d '\r' | grep -qx "morvalencmd $(dpkg-deb -f "$deb" Version)" ||
  { echo "the packaged program's --version is not the package's"; exit 1; }
echo "package checks passed: $deb"
