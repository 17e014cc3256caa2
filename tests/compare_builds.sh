#!/bin/sh
# Runs the Linux build and the Windows build (through an emulator such as
# wine64) on copies of every sample stream with the same options, and checks
# that both leave the same: exit code, console output (the progress line's
# time text aside), video bytes, marker file and list file.
# Usage: compare_builds.sh LINUX_EXE WINDOWS_EXE EMULATOR
set -u
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
linux=$(absolute "$1")
windows=$(absolute "$2")
emulator=$3
data=$(cd "$(dirname "$0")/data" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all
# The code page 932 bytes as stored: the C locale keeps them on Linux.
export LC_ALL=C
failures=0

# Console output as UTF-8 with the elapsed and remaining time taken out, and
# the folder separator in the names of a batch's files made one.
normalise() {
  iconv -f CP932 -t UTF-8 < "$1" | sed -e 's#経過/残り時間 [0-9]*:[0-9]*/約[0-9]*[分秒]#TIME#g' \
    -e '/^ファイル:\|^失敗:/ s#\\#/#g' > "$1.cmp"
  rm "$1"
}

# Wine's own client complains on a run's standard error now and then
# ("wine client error:138: sendmsg: Bad file descriptor"). The tool never
# prints such a line; it is shown in the test log and left out of the
# comparison, while every other byte the tool printed or wrote must match.
emulator_lines_drop() {  # file
  grep -q '^wine client error:' "$1" || return 0
  echo "the emulator's own complaint, left out of the comparison:" >&2
  grep '^wine client error:' "$1" >&2
  sed -i '/^wine client error:/d' "$1"
}

# Every copy gets the same last-write time, which a marker file records,
# whole to the 100 ns that Windows keeps.
stamp() {  # folder
  find "$1" -type f -exec touch -d '2020-01-02 03:04:05.1234567' {} +
}

run_side() {  # side, sample, options...
  side=$1; sample=$2; shift 2
  dir=$work/$side
  name=$(basename "$sample")
  (
    cd "$dir" || exit 1
    run=$((run + 1))
    if [ "$side" = linux ]; then
      "$linux" "$@" "$name" > "out.$run" 2> "err.$run"
      echo $? > "code.$run"
    else
      # The tool opens every run with its banner: a run that printed nothing
      # never started (the emulator failed to start it now and then), changed
      # nothing, and is tried again, twice at most.
      for attempt in 1 2 3; do
        "$emulator" "$windows" "$@" "$name" > "out.$run" 2> "err.$run"
        echo $? > "code.$run"
        [ -s "out.$run" ] && break
        echo "the emulator did not start the tool (attempt $attempt, exit code $(cat "code.$run")):" >&2
        cat "err.$run" >&2
      done
      emulator_lines_drop "err.$run"
    fi
    normalise "out.$run"
  )
}

# Joined recordings, a cut copy with the whole stream after it: without -r
# the walk stops at the joint, with it the walk goes on.
joined=$work/joined
mkdir -p "$joined"
head -c 149483 "$data/dvd_ntsc_4x3.mpg" | cat - "$data/dvd_ntsc_4x3.mpg" > "$joined/joined_dvd.mpg"
head -c 100001 "$data/vcd_pal.mpg" | cat - "$data/vcd_pal.mpg" > "$joined/joined_vcd.mpg"

# Each case is two runs, "first|second": the second finds the marker file
# of the first.
for sample in "$data"/*.mpg "$data"/*.m2v "$data"/*.m1v "$data"/*.ts "$data"/*.m2ts "$data"/*.hevc "$data"/*.mp4 "$data"/*.mov "$data"/*.mkv "$data"/*.avi "$joined"/*.mpg; do
  for options in "|" "-l|-l" "-o3|-o3" "-r|-r" "-l -r|-l -r" "-o16|-o16" "-o12 -r|-o12 -r" "|-u" \
                 "-o2|-o3" "-u|-u"; do
    first=${options%%|*}
    second=${options#*|}
    for side in linux windows; do
      rm -rf "${work:?}/$side"
      mkdir -p "$work/$side"
      cp "$sample" "$work/$side/"
      stamp "$work/$side"
      run=0; run_side "$side" "$sample" $first
      run=1; run_side "$side" "$sample" $second
    done
    if ! diff -r "$work/linux" "$work/windows" > "$work/diff.txt"; then
      echo "DIFFERENT: $(basename "$sample") with options '$options'"
      head -60 "$work/diff.txt"
      failures=$((failures + 1))
    fi
  done
done
# A batch of named files, one of them missing, and a DVD-Video folder
# (made by the Windows test script; without it only the batch).
compare_sides() {  # case
  if ! diff -r "$work/linux" "$work/windows" > "$work/diff.txt"; then
    echo "DIFFERENT: $1"
    head -60 "$work/diff.txt"
    failures=$((failures + 1))
  fi
}
for side in linux windows; do
  rm -rf "${work:?}/$side"
  mkdir -p "$work/$side"
  cp "$data/dvd_ntsc_4x3.mpg" "$data/es_mpeg1.m1v" "$data/ts_sd_4x3.ts" "$work/$side/"
  stamp "$work/$side"
  run=0; run_side "$side" ts_sd_4x3.ts -r dvd_ntsc_4x3.mpg missing.mpg es_mpeg1.m1v
  run=1; run_side "$side" ts_sd_4x3.ts -u dvd_ntsc_4x3.mpg es_mpeg1.m1v
done
compare_sides "a batch"
if [ -n "${MORVALEN_DVD_LINUX:-}" ]; then
  for side in linux windows; do
    rm -rf "${work:?}/$side"
    mkdir -p "$work/$side"
    cp -r "$MORVALEN_DVD_LINUX" "$work/$side/disc"
    stamp "$work/$side"
    run=0; run_side "$side" disc
    run=1; run_side "$side" disc
    run=2; run_side "$side" disc -u
  done
  compare_sides "a DVD-Video folder"
fi
echo "compared the Linux and the Windows build: $failures differences"
[ "$failures" -eq 0 ]
