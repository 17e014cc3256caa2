#!/bin/sh
# Installs from Debian's packages what one kind of build needs, when it is
# missing, so that a fresh Debian 12 machine (as root) needs nothing else:
#   scripts/install-deps.sh build     the tool
#   scripts/install-deps.sh test      the tool and its tests
#   scripts/install-deps.sh windows   the Windows builds and wine
#   scripts/install-deps.sh linux32   the 32-bit Linux build and qemu-user
#   scripts/install-deps.sh package   the Debian package and its checks
#   scripts/install-deps.sh fuzz      the fuzz targets
set -eu
case "${1:-build}" in
  build) packages="cmake g++" ;;
  test) packages="cmake g++ libgtest-dev ffmpeg dvdauthor lsdvd genisoimage mediainfo gstreamer1.0-tools gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav mkvtoolnix python3 man-db" ;;
  windows) packages="cmake g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 googletest unzip" ;;
  package) packages="cmake g++ dpkg-dev man-db" ;;
  linux32) packages="cmake g++-multilib qemu-user-static googletest" ;;
  fuzz) packages="cmake clang libclang-rt-14-dev" ;;
  *) echo "usage: $0 build|test|windows|linux32|package|fuzz"; exit 2 ;;
esac
missing=""
for package in $packages; do
  dpkg -s "$package" > /dev/null 2>&1 || missing="$missing $package"
done
[ -z "$missing" ] && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update
# shellcheck disable=SC2086  # one word a package
apt-get install -y $missing
