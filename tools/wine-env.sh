# Sourced by the scripts that run Windows programs here: one Wine prefix of the project's own, the
# 64-bit loader (it starts 32-bit programs too, through the i386 emulation), Japanese texts, and no
# Mono or Gecko prompts. QX_WINEPREFIX chooses another prefix. Tests and tools use this prefix;
# tools/run-panel.sh uses a second one beside it (QX_PANEL_WINEPREFIX, by default the same path
# with -panel appended), so that a test run never touches an open panel.
qx_default_wineprefix=${XDG_CACHE_HOME:-$HOME/.cache}/qx7316/wineprefix
: "${QX_WINEPREFIX:=$qx_default_wineprefix}"
export WINEPREFIX="$QX_WINEPREFIX"
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Creates the prefix once (its time: the README's Times), serialised so that parallel tests wait
# for one another.
qx_wine_prefix() {
  [ -f "$WINEPREFIX/.qx-ready" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.qx-ready" ]; then
      [ -x "$WINELOADER" ] || { echo "wine64 is not installed: run sudo tools/setup.sh" >&2; exit 1; }
      rm -rf "$WINEPREFIX"
      WINEARCH=win64 DISPLAY= "$WINELOADER" wineboot -i >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
      # Without a window manager every program that showed a window would wait 2 s at exit.
      "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      # The panel's font ＭＳ Ｐゴシック is not here: IPA's proportional Gothic stands in for it.
      "$WINELOADER" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
      # A crash ends the process with its code instead of opening a dialog.
      "$WINELOADER" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      "$WINESERVER" -w
      [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "the Wine prefix has no 32-bit part: is wine32:i386 installed?" >&2; exit 1; }
      touch "$WINEPREFIX/.qx-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Wine's background processes (the server, services, devices, the desktop) outlive the program that
# started them. Started here with no standard streams, they hold no caller's output pipe open, so a
# test runner waiting for a program's output to end is not kept waiting by them.
qx_wine_services() {
  "$WINESERVER" -p30 </dev/null >/dev/null 2>&1 || true
  "$WINELOADER" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Wine's desktop lives on the X display it was started on, and a prefix's programs share it: a
# program started for another display while it still runs (or is dying with its display) cannot
# open its windows. So when the display changes, the prefix's Wine processes are ended first.
qx_wine_display() {
  local marker="$WINEPREFIX/.qx-display" want="${DISPLAY:-none}"
  if [ "$(cat "$marker" 2>/dev/null)" != "$want" ]; then
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    echo "$want" >"$marker"
  fi
}

# The Wine processes of the prefix: Windows programs and Wine's own, by the prefix in their
# environment.
qx_wine_pids() {
  local file pid
  for file in $(grep -lzx "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
    pid=${file#/proc/}; pid=${pid%/environ}
    grep -Eq '\.exe$|^wine' "/proc/$pid/comm" 2>/dev/null && echo "$pid"
  done
}

# Ends every Wine process of the prefix (programs, services, the server) and waits until they are
# gone, at most 10 s.
qx_wine_end() {
  [ -d "$WINEPREFIX" ] || return 0
  local pids i
  pids=$(qx_wine_pids)
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  timeout 10 "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
  for i in $(seq 1 100); do
    [ -n "$pids" ] && ps -o stat= -p "$(echo $pids | tr ' ' ,)" 2>/dev/null | grep -qv '^Z' || break
    sleep 0.1
  done
}

# The same, only when the prefix's processes live on display $1 (they are no use once it is gone).
qx_wine_end_on_display() {
  [ "$(cat "$WINEPREFIX/.qx-display" 2>/dev/null)" = "$1" ] || return 0
  qx_wine_end
}

# Notes the prefix in the user's run folder, so that tools/cleanup.sh finds it after a hard kill.
qx_wine_note_prefix() {
  local list="${QX_RUN_DIR:-${TMPDIR:-/tmp}/qx7316-$(id -u)}/wineprefixes"
  mkdir -p "$(dirname "$list")" 2>/dev/null || return 0
  grep -qxF "$WINEPREFIX" "$list" 2>/dev/null || echo "$WINEPREFIX" >>"$list"
}
