#!/usr/bin/env bash
# Builds the panel and runs it under Wine against the simulated instrument's TAVERIX.dll beside it.
#
#   tools/run-panel.sh [--x86]
#
# 64-bit build by default, the 32-bit deliverable with --x86. With DISPLAY set the panel opens there
# and the script waits until it is closed. Without it the script starts an Xvfb of its own, waits
# for the panel, saves a screenshot, names the file, and ends the program and the Xvfb.
# The panel runs in a Wine prefix of its own (QX_PANEL_WINEPREFIX, by default QX_WINEPREFIX's path
# with -panel appended), which no test uses. On every way out (panel closed, Ctrl+C, kill) the
# panel ends, and so do the prefix's Wine processes unless another run-panel.sh still uses them.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

preset=windows-x64
usage() {
  echo "usage: tools/run-panel.sh [--x86]"
  echo "Builds the panel (64-bit; --x86: the 32-bit deliverable) and opens it under Wine beside the simulator."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  "") ;;
  --x86) preset=windows-x86 ;;
  *) usage >&2; exit 2 ;;
esac
[ $# -le 1 ] || { usage >&2; exit 2; }

log() { printf 'run-panel: %s\n' "$*" >&2; }

if [ "$preset" = windows-x86 ]; then
  bash tools/setup.sh --check i386 || exit 1
else
  bash tools/setup.sh --check || exit 1
fi
export QX_WINEPREFIX="${QX_PANEL_WINEPREFIX:-${QX_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/qx7316/wineprefix}-panel}"

# The simulated instrument shows its front beside the panel (TAVERIX_SIM_DISPLAY=0: it does not).
export TAVERIX_SIM_DISPLAY=${TAVERIX_SIM_DISPLAY:-1}
build_dir="build/$preset"
cmake --preset "$preset" >/dev/null
cmake --build "$build_dir" --target qx7316
program="$build_dir/bin/qx7316.exe"
[ -f "$build_dir/bin/TAVERIX.dll" ] || { log "no TAVERIX.dll beside $program: the simulator did not build"; exit 1; }

. tools/wine-env.sh
. tools/process-group.sh
if [ ! -f "$WINEPREFIX/.qx-ready" ]; then
  log "making the Wine prefix $WINEPREFIX (once)"
  made=$SECONDS
  qx_wine_prefix
  log "Wine prefix made in $((SECONDS - made)) s"
fi
# Prefixes made before the font replacement was part of their creation get it here.
if ! grep -q '"IPAPGothic"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$WINELOADER" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
fi

xvfb="" fifo=""
# Every run-panel.sh notes itself beside the prefix while its panel runs; the last one out ends
# the prefix's Wine processes.
panel_note="$WINEPREFIX.panel.$$"
other_panels() {
  local note
  for note in "$WINEPREFIX".panel.*; do
    [ -e "$note" ] && [ "$note" != "$panel_note" ] || continue
    if kill -0 "${note##*.}" 2>/dev/null; then return 0; fi
    rm -f "$note"   # left by a run that was killed hard
  done
  return 1
}
end_all() {
  qx_stop_group
  rm -f "$panel_note"
  other_panels || qx_wine_end
  if [ -n "$xvfb" ]; then
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
    rm -f "$QX_RUN_DIR/xvfb.$xvfb"
  fi
  [ -z "$fifo" ] || rm -f "$fifo"
}
qx_on_exit end_all
touch "$panel_note"

if [ -n "${DISPLAY:-}" ]; then
  log "opening the panel on $DISPLAY (Wine prefix $WINEPREFIX); the script ends when the panel is closed"
  qx_run tools/wine-run.sh "$program"
  exit 0
fi

# No display: an Xvfb of our own, a screenshot, then an end to both.
fifo=$(mktemp -u)
mkfifo "$fifo"
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 </dev/null &
xvfb=$!
echo Xvfb >"$QX_RUN_DIR/xvfb.$xvfb"
read -r -t 30 number <"$fifo" || { log "Xvfb did not start"; exit 1; }
export DISPLAY=":$number"
log "no DISPLAY: started Xvfb on $DISPLAY for a screenshot"

# Wine's messages, and its complaint when the Xvfb goes away at the end, go to a log.
wine_log="$root/$build_dir/qx7316-wine.log"
setsid tools/wine-run.sh "$program" 2>"$wine_log" </dev/null &
qx_group=$!
echo "tools/wine-run.sh $program" >"$QX_RUN_DIR/group.$qx_group"

# The panel is shown once X knows a window with its caption.
shot="$root/build/$preset/qx7316-panel.png"
window=""
for _ in $(seq 1 120); do
  window=$(xwininfo -display "$DISPLAY" -name "QX7316 SAMPLE" 2>/dev/null | awk '/Window id:/ {print $4; exit}') || true
  [ -z "$window" ] || break
  qx_group_alive "$qx_group" || break
  sleep 0.5
done
[ -n "$window" ] || { log "the panel did not show (Wine's messages: $wine_log)"; exit 1; }
# The program paints from its own process some time later: a picture is taken once two captures in
# a row agree (raw pixels, which carry no time stamps), at most 30 s on. $1: the window to capture.
settled_picture() {
  local target=$1 capture="$root/$build_dir/qx7316-capture" settled=""
  rm -f "$capture".*.ppm
  for _ in $(seq 1 100); do
    sleep 0.3
    import -display "$DISPLAY" -window "$target" "ppm:$capture.new.ppm" 2>/dev/null || continue
    if cmp -s "$capture.new.ppm" "$capture.last.ppm" 2>/dev/null; then settled=1; break; fi
    mv -f "$capture.new.ppm" "$capture.last.ppm"
  done
  [ -n "$settled" ] || { rm -f "$capture".*.ppm; log "the picture did not settle"; return 1; }
  convert "$capture.new.ppm" "$shot"
  rm -f "$capture".*.ppm
}
# GPIB初期化 and ON pressed, and waited for until the panel shows the read-back and the instrument
# its waveform; then the whole screen, panel and instrument side by side.
if cmake --build "$build_dir" --target press_for_picture >/dev/null &&
   tools/wine-run.sh "$build_dir/bin/press_for_picture.exe" 2>>"$wine_log" >&2; then
  settled_picture root || exit 1
else
  log "GPIB初期化 and ON could not be pressed (see $wine_log): the panel as it opened"
  settled_picture "$window" || exit 1
fi
log "screenshot saved"
echo "$shot"

# The program, its Wine processes and the Xvfb end in end_all.
