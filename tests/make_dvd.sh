#!/bin/sh
# Makes a DVD-Video folder for the tests in OUT (OUT/VIDEO_TS): three title
# sets authored by dvdauthor from ffmpeg's DVD streams. 1: NTSC 4:3; 2: PAL
# 16:9; 3: NTSC 4:3, whose title VOB is then split at pack boundaries into
# VTS_03_1.VOB to VTS_03_3.VOB, as a disc splits it at 1 GiB.
# Needs: ffmpeg dvdauthor.   Usage: make_dvd.sh OUT
set -eu
out=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
clip() { echo "-f lavfi -i testsrc=duration=$3:size=$1:rate=$2 -f lavfi -i sine=frequency=440:duration=$3"; }
ff $(clip 720x480 30000/1001 2) -target ntsc-dvd -aspect 4:3 -b:v 1500k "$work/ntsc_4x3.mpg"
ff $(clip 720x576 25 2) -target pal-dvd -aspect 16:9 -b:v 1500k "$work/pal_16x9.mpg"
ff $(clip 720x480 30000/1001 4) -target ntsc-dvd -aspect 4:3 -b:v 1500k "$work/ntsc_long.mpg"
cat > "$work/dvd.xml" <<XML
<dvdauthor dest="$out">
  <vmgm />
  <titleset><titles><pgc><vob file="$work/ntsc_4x3.mpg"/></pgc></titles></titleset>
  <titleset><titles><pgc><vob file="$work/pal_16x9.mpg"/></pgc></titles></titleset>
  <titleset><titles><pgc><vob file="$work/ntsc_long.mpg"/></pgc></titles></titleset>
</dvdauthor>
XML
rm -rf "$out"
mkdir -p "$(dirname "$out")"
VIDEO_FORMAT=NTSC dvdauthor -x "$work/dvd.xml" > "$work/dvdauthor.log" 2>&1 ||
  { cat "$work/dvdauthor.log" >&2; exit 1; }
vob=$out/VIDEO_TS/VTS_03_1.VOB
packs=$(($(wc -c < "$vob") / 2048))
part=$((packs / 3))
dd if="$vob" of="$work/1" bs=2048 count=$part 2>/dev/null
dd if="$vob" of="$out/VIDEO_TS/VTS_03_2.VOB" bs=2048 skip=$part count=$part 2>/dev/null
dd if="$vob" of="$out/VIDEO_TS/VTS_03_3.VOB" bs=2048 skip=$((2 * part)) 2>/dev/null
mv "$work/1" "$vob"
