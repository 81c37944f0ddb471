#!/usr/bin/env bash
# Builds the panel and runs it under Wine against the simulated instrument's TAVERIX.dll beside it.
#
#   tools/run-panel.sh [--x86]
#
# 64-bit build by default, the 32-bit deliverable with --x86. With DISPLAY set the panel opens there
# and the script waits until it is closed. Without it the script starts an Xvfb of its own, waits
# for the panel, saves a screenshot, names the file, and ends the program and the Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

preset=windows-x64
case "${1:-}" in
  "") ;;
  --x86) preset=windows-x86 ;;
  *) echo "usage: tools/run-panel.sh [--x86]" >&2; exit 2 ;;
esac

log() { printf 'run-panel: %s\n' "$*" >&2; }

bash tools/setup.sh
# xwininfo tells when the panel is shown.
command -v xwininfo >/dev/null || apt-get install -y -qq --no-install-recommends x11-utils >/dev/null
build_dir="build/$preset"
cmake --preset "$preset" >/dev/null
cmake --build "$build_dir" --target qx7316
program="$build_dir/bin/qx7316.exe"
[ -f "$build_dir/bin/TAVERIX.dll" ] || { log "no TAVERIX.dll beside $program: the simulator did not build"; exit 1; }

. tools/wine-env.sh
qx_wine_prefix
# Prefixes made before the font replacement was part of their creation get it here.
if ! grep -q '"IPAPGothic"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  "$WINELOADER" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1 || true
fi

if [ -n "${DISPLAY:-}" ]; then
  log "opening the panel on $DISPLAY; the script ends when the panel is closed"
  tools/wine-run.sh "$program"
  exit 0
fi

# No display: an Xvfb of our own, a screenshot, then an end to both.
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
panel=""
cleanup() {
  if [ -n "$panel" ]; then
    kill "$panel" 2>/dev/null || true
    wait "$panel" 2>/dev/null || true
  fi
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -f "$fifo"
}
trap cleanup EXIT
read -r -t 30 number <"$fifo" || { log "Xvfb did not start"; exit 1; }
export DISPLAY=":$number"
log "no DISPLAY: started Xvfb on $DISPLAY for a screenshot"

# Wine's messages, and its complaint when the Xvfb goes away at the end, go to a log.
wine_log="$root/$build_dir/qx7316-wine.log"
tools/wine-run.sh "$program" 2>"$wine_log" &
panel=$!

# The panel is shown once X knows a window with its caption.
shot="$root/build/$preset/qx7316-panel.png"
window=""
for _ in $(seq 1 120); do
  window=$(xwininfo -display "$DISPLAY" -name "QX7316 SAMPLE" 2>/dev/null | awk '/Window id:/ {print $4; exit}') || true
  [ -z "$window" ] || break
  kill -0 "$panel" 2>/dev/null || break
  sleep 0.5
done
[ -n "$window" ] || { log "the panel did not show (Wine's messages: $wine_log)"; exit 1; }
# The program paints from its own process some time later: the picture is taken once two captures in
# a row agree (raw pixels, which carry no time stamps), at most 30 s on.
capture="$root/$build_dir/qx7316-capture"
rm -f "$capture".*.ppm
settled=""
for _ in $(seq 1 100); do
  sleep 0.3
  import -display "$DISPLAY" -window "$window" "ppm:$capture.new.ppm" 2>/dev/null || continue
  if cmp -s "$capture.new.ppm" "$capture.last.ppm" 2>/dev/null; then settled=1; break; fi
  mv -f "$capture.new.ppm" "$capture.last.ppm"
done
[ -n "$settled" ] || { rm -f "$capture".*.ppm; log "the panel's picture did not settle"; exit 1; }
convert "$capture.new.ppm" "$shot"
rm -f "$capture".*.ppm
log "screenshot saved"
echo "$shot"

# The program and the Xvfb end by the process ids started here (see cleanup).
