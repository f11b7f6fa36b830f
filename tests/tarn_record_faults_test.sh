#!/usr/bin/env bash
# tarn-record when things go wrong: killed with -9 in each container (the file
# plays, and the next start finishes it), a full disk, the X server or the
# sound server gone mid-recording, frame rates out of range, and the time
# from the stop to a complete file.
# Usage: tarn_record_faults_test.sh path/to/tarn-record
set -u
RECORD="$1"
# shellcheck source=tests/support/program_test_support.sh
source "$(dirname "$0")/support/program_test_support.sh"
require_display ffprobe Xvfb
use_private_home tarn-record-faults
unset XDG_DATA_HOME XDG_CONFIG_HOME

duration_of() {  # seconds of the video stream, from its packets (AVI has decoding times only)
  ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,dts_time -of csv=p=0 "$1" 2>/dev/null |
    awk -F, '{ t = ($1 != "N/A" && $1 != "") ? $1 : $2; if (t != "N/A" && t != "") print t }' |
    sort -g | awk 'NR == 1 { first = $1 } { last = $1 } END { printf "%.2f", last - first }'
}
SMALL=(--set global.user-defined-region-check=1 --set global.region-width=320
       --set global.region-height=240 --set global.audio-mute-check=1)

# --- kill -9 five seconds in: every container keeps all but the last 2 s.
for ext in mp4 mov mkv flv wmv avi; do
  out="$WORK/killed-$ext"
  "$RECORD" --seconds 60 --fps 25 --format "$ext" --output-dir "$out" "${SMALL[@]}" \
    >"$WORK/k.out" 2>"$WORK/k.err" &
  pid=$!
  sleep 5
  kill -9 "$pid"
  wait "$pid" 2>/dev/null
  file="$(ls "$out"/*."$ext" 2>/dev/null | head -n 1)"
  d="$(duration_of "$file")"
  check "$ext killed at 5 s plays and holds at least 3 s (got $d)" \
    awk -v d="$d" 'BEGIN { exit !(d >= 3.0) }'
  check "$ext killed is marked unfinished" test -n "$(ls -A "$out" | grep '^\..*\.recording$')"
  # The next start finishes it before it records.
  "$RECORD" --seconds 1 --fps 25 --format "$ext" --output-dir "$out" "${SMALL[@]}" \
    >"$WORK/n.out" 2>"$WORK/n.err"
  check "$ext: the next start finishes the interrupted file" grep -q "finished the interrupted" "$WORK/n.err"
  check "$ext: no marker is left" test -z "$(ls -A "$out" | grep '^\..*\.recording$')"
  d2="$(duration_of "$file")"
  check "$ext: the finished file keeps what it held ($d2 s)" \
    awk -v a="$d" -v b="$d2" 'BEGIN { exit !(b >= a - 0.05) }'
  if [ "$ext" = mp4 ] || [ "$ext" = mov ]; then
    first="$(ffprobe -v trace "$file" 2>&1 | grep -o "type:'mdat'\|type:'moov'" | head -n 1)"
    check "$ext: the finished file has its index in front ($first first)" test "$first" = "type:'moov'"
  fi
done

# --- A full disk ends the recording at once, keeps what was written, exits 1.
if [ "$(id -u)" = 0 ] && mkdir -p "$WORK/full" && mount -t tmpfs -o size=3m tmpfs "$WORK/full" 2>/dev/null; then
  # A still screen makes little data: most of the 3 MB is taken already.
  dd if=/dev/zero of="$WORK/full/filler" bs=1k count=3050 2>/dev/null
  start=$(date +%s)
  "$RECORD" --seconds 60 --fps 30 --format mkv --output-dir "$WORK/full" \
    --set global.audio-mute-check=1 >"$WORK/f.out" 2>"$WORK/f.err"
  code=$?
  took=$(( $(date +%s) - start ))
  check "a full disk exits 1" test "$code" -eq 1
  check "well before the 60 s asked for (took $took s)" test "$took" -lt 40
  check "saying why" grep -qi "no space left" "$WORK/f.err"
  # One error for the failed write, and the lines that say what followed from
  # it (the recording ends, the file is finished as far as it goes): not a
  # line for every packet that could not be written.
  check "a few lines about the full disk, not one per packet" \
    test "$(grep -ci "no space left" "$WORK/f.err")" -le 5
  file="$(ls "$WORK/full"/*.mkv | head -n 1)"
  check "the file keeps what was written and plays" ffprobe -v error "$file"
  # Named on standard output only if it could be finished.
  check "and no other file is named" \
    bash -c "! grep '\.mkv\$' '$WORK/f.out' | grep -qv '^$file\$'"
  umount "$WORK/full"
else
  echo "skipped: the full-disk case needs root to mount a small tmpfs"
fi

# --- The X server killed mid-recording: the file is finished, exit 1, no crash.
XNUM=""
for n in $(seq 150 190); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { XNUM=$n; break; }
done
Xvfb ":$XNUM" -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
XPID=$!
PIDS+=("$XPID")
for _ in $(seq 1 50); do DISPLAY=":$XNUM" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY=":$XNUM" "$RECORD" --seconds 30 --fps 25 --format mp4 --output-dir "$WORK/xlost" \
  --set global.audio-mute-check=1 >"$WORK/x.out" 2>"$WORK/x.err" &
pid=$!
sleep 3
kill -9 "$XPID"
wait_for_exit "$pid"
check "a lost X server ends tarn-record with 1 (got $EXIT_CODE)" test "$EXIT_CODE" = 1
check "and says the display was lost" grep -qi "lost the connection to the X display" "$WORK/x.err"
file="$(tail -n 1 "$WORK/x.out")"
d="$(duration_of "$file")"
check "the file of the first 3 s is finished and plays (got $d s)" \
  awk -v d="$d" 'BEGIN { exit !(d >= 2.5 && d <= 3.6) }'
rm -f "/tmp/.X11-unix/X$XNUM" "/tmp/.X$XNUM-lock"

# --- The sound server killed mid-recording: the recording goes on with
# silence, the file is finished at its time, and the process ends.
if command -v pulseaudio >/dev/null; then
  mkdir -p "$WORK/pulse" "$WORK/pulse-run"
  chmod 700 "$WORK/pulse-run"
  cat >"$WORK/pulse/default.pa" <<'PA'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=speaker
load-module module-null-sink sink_name=mic_feed
load-module module-remap-source source_name=microphone master=mic_feed.monitor
set-default-sink speaker
set-default-source microphone
PA
  XDG_RUNTIME_DIR="$WORK/pulse-run" HOME="$WORK/pulse" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --use-pid-file=no --system=false -F "$WORK/pulse/default.pa" \
    >/dev/null 2>&1 &
  PA_PID=$!
  PIDS+=("$PA_PID")
  server="unix:$WORK/pulse-run/pulse/native"
  for _ in $(seq 1 50); do PULSE_SERVER="$server" pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  PULSE_SERVER="$server" "$RECORD" --seconds 4 --fps 25 --format mkv --output-dir "$WORK/nosound" \
    --set global.voice-source=0 --set global.user-defined-region-check=1 \
    --set global.region-width=320 --set global.region-height=240 >"$WORK/p.out" 2>"$WORK/p.err" &
  pid=$!
  sleep 1.5
  kill -9 "$PA_PID"
  wait_for_exit "$pid"
  check "a killed sound server leaves the recording to end at its time (exit $EXIT_CODE)" \
    test "$EXIT_CODE" = 0
  file="$(tail -n 1 "$WORK/p.out")"
  d="$(duration_of "$file")"
  check "with all its pictures (got $d s)" awk -v d="$d" 'BEGIN { exit !(d > 3.85 && d < 4.1) }'
  a="$(ffprobe -v error -select_streams a:0 -show_entries stream=duration -of csv=p=0 "$file" 2>/dev/null)"
  [ -z "$a" ] || [ "$a" = "N/A" ] && a="$(ffprobe -v error -show_entries format=duration -of csv=p=0 "$file")"
  check "and sound to its end (got $a s)" awk -v d="$a" 'BEGIN { exit !(d > 3.85 && d < 4.2) }'
else
  echo "skipped: the killed sound server case needs pulseaudio"
fi

# --- Frame rates: out of range on the command line is an error; in the
# settings it falls back to the default.
"$RECORD" --fps 121 >/dev/null 2>&1
check "--fps 121 exits 2" test $? -eq 2
"$RECORD" --fps 0 >/dev/null 2>&1
check "--fps 0 exits 2" test $? -eq 2
"$RECORD" --seconds 2 --format mkv --output-dir "$WORK/rate" "${SMALL[@]}" \
  --set global.video-framerate=100000 >"$WORK/r.out" 2>"$WORK/r.err"
check "a frame rate of 100000 in the settings records" test $? -eq 0
check "and says it falls back" grep -q "outside 1 to 120" "$WORK/r.err"
file="$(tail -n 1 "$WORK/r.out")"
rate="$(ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of csv=p=0 "$file")"
check "at the default 24 fps (got $rate)" test "$rate" = "24/1"
d="$(duration_of "$file")"
check "for the 2 s asked (got $d)" awk -v d="$d" 'BEGIN { exit !(d > 1.85 && d < 2.1) }'

finish
