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

# Transport streams. ffmpeg 5.1 writes the tables first, video on PID 0x100.
clip() { echo "-f lavfi -i testsrc=duration=$3:size=$1:rate=$2"; }
sine() { echo "-f lavfi -i sine=frequency=440:duration=$1"; }
# A digital TV recording: MPEG-2 video at SD size, MP2 audio, 4:3.
ff $(clip 720x480 30000/1001 2) $(sine 2) -c:v mpeg2video -aspect 4:3 -b:v 1000k -g 18 -c:a mp2 -b:a 128k -f mpegts ts_sd_4x3.ts
# An HDV/Blu-ray-style file: 1440x1080, AC-3, 192-byte packets, 16:9.
ff $(clip 1440x1080 30000/1001 1) $(sine 1) -c:v mpeg2video -aspect 16:9 -b:v 2500k -g 15 -c:a ac3 -b:a 128k -f mpegts -mpegts_m2ts_mode 1 hdv_16x9.m2ts
# MPEG-1 video in a transport stream.
ff $(clip 352x240 30000/1001 2) -c:v mpeg1video -b:v 600k -g 15 -f mpegts ts_mpeg1.ts
# H.264 video, square samples.
ff $(clip 160x120 25 1) -c:v libx264 -preset ultrafast -b:v 100k -f mpegts ts_h264.ts
# An HEVC elementary stream, 10:11 samples of 4:3 at 704 samples across.
ff $(clip 704x480 25 1) -vf setsar=10/11 -c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=10 -b:v 100k -f hevc es_hevc.hevc
# Two programs with video of the same size: only the first one's changes.
ff -f lavfi -i testsrc=duration=1.5:size=352x288:rate=25 -f lavfi -i testsrc2=duration=1.5:size=352x288:rate=25 $(sine 1.5) \
  -map 0:v -map 1:v -map 2:a -c:v mpeg2video -aspect 4:3 -b:v 500k -g 12 -c:a mp2 \
  -program title=A:st=0:st=2 -program title=B:st=1 -f mpegts ts_two_programs.ts

# MP4 and MOV files.
# H.264 at SD size, 4:3, with AAC audio, remuxed from a transport stream so
# that its keyframes keep their parameter sets in the samples.
ff $(clip 720x576 25 2) $(sine 2) -c:v libx264 -preset ultrafast -b:v 150k -g 10 -aspect 4:3 -c:a aac -b:a 64k -f mpegts mp4_h264.ts
ff -i mp4_h264.ts -c copy -f mp4 mp4_h264.mp4
rm mp4_h264.ts
# MPEG-2 video in a QuickTime file, 16:9: its apertures (tapt) hold the display size.
ff $(clip 352x288 25 1) -c:v mpeg2video -aspect 16:9 -b:v 400k -g 12 -f mov mov_mpeg2.mov

# A Matroska file remuxed from a transport stream, 4:3: its keyframes keep
# their parameter sets in the blocks, and ffmpeg writes CRC-32 elements.
ff $(clip 720x576 25 2) -c:v libx264 -preset ultrafast -b:v 150k -g 10 -aspect 4:3 -f mpegts mkv_h264.ts
ff -i mkv_h264.ts -c copy -f matroska mkv_h264.mkv
rm mkv_h264.ts

# An AVI file with MP2 audio, 16:9: ffmpeg writes its vprp and a JUNK in
# the video's header list, and repeats the parameter sets at each keyframe.
ff $(clip 720x576 25 1) $(sine 1) -c:v libx264 -preset ultrafast -b:v 150k -g 10 -aspect 16:9 -c:a mp2 -b:a 64k avi_h264.avi
# An FLV file with AAC audio, 16:9, its parameter sets repeated at each
# key frame after the sequence header's.
ff $(clip 720x576 25 1) $(sine 1) -c:v libx264 -preset ultrafast -b:v 150k -g 10 -aspect 16:9 -bsf:v dump_extra -c:a aac -b:a 64k flv_h264.flv
# ASF (Windows Media Video 8, WMA), MXF (MPEG-2, a sequence header every
# five frames) and Ogg (Theora), 16:9, for the container fuzzer.
ff $(clip 320x240 25 1) $(sine 1) -c:v wmv2 -b:v 200k -aspect 16:9 -c:a wmav2 -b:a 64k asf_wmv2.wmv
ff $(clip 352x288 25 0.4) -c:v mpeg2video -b:v 200k -g 5 -aspect 16:9 -f mxf mxf_mpeg2.mxf
ff $(clip 320x240 25 1) -c:v libtheora -q:v 3 -g 10 -aspect 16:9 ogg_theora.ogv
# DV: two PAL frames, 16:9, as a raw DV file; one NTSC frame, 4:3, in a
# QuickTime file (dvc ), remuxed from a raw one.
ff $(clip 720x576 25 0.08) -target pal-dv -aspect 16:9 -an dv_pal.dv
ff $(clip 720x480 30000/1001 0.04) -target ntsc-dv -aspect 4:3 -an -f dv mov_dv.dv
ff -i mov_dv.dv -c copy -f mov mov_dv.mov
rm mov_dv.dv
