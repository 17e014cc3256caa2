#!/bin/sh
# Regenerates the sample streams in this folder from ffmpeg's built-in test
# patterns. The tests and the demo use the committed copies; ffmpeg is needed
# only to run this script again.
set -eu
cd "$(dirname "$0")"
ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
pattern() { echo "-f lavfi -i testsrc=duration=2:size=$1:rate=$2"; }
tone="-f lavfi -i sine=frequency=440:duration=2"

# MPEG-2 program stream of the DVD kind, 4:3, AC-3 audio in private stream 1.
ff $(pattern 720x480 30000/1001) $tone -target ntsc-dvd -aspect 4:3 -b:v 1200k -maxrate 1500k -g 15 dvd_ntsc_4x3.mpg
# MPEG-2 video elementary stream, 16:9.
ff $(pattern 720x576 25) -c:v mpeg2video -aspect 16:9 -b:v 1000k -g 12 -f mpeg2video es_mpeg2_16x9.m2v
# MPEG-1 video elementary stream.
ff $(pattern 352x240 30000/1001) -c:v mpeg1video -b:v 800k -g 15 -f mpeg1video es_mpeg1.m1v
# MPEG-1 program stream of the Video CD kind (zero padding between packs).
ff $(pattern 352x288 25) $tone -target pal-vcd vcd_pal.mpg
# MPEG-2 program stream of the Super Video CD kind.
ff $(pattern 480x576 25) $tone -target pal-svcd -aspect 4:3 -b:v 1000k svcd_pal.mpg
# MPEG-1 system stream carrying MPEG-2 video: ffmpeg's default for .mpg.
ff $(pattern 720x576 25) $tone -c:v mpeg2video -aspect 4:3 -b:v 1000k -g 12 -c:a mp2 mpeg1sys_mpeg2video.mpg
