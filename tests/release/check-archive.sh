#!/usr/bin/env bash
# Builds the release archive and checks what it holds:
#   check-archive.sh CMAKE BUILD_DIR PACKAGE_NAME FOLDER VERSION_READER WINE_RUN OBJDUMP
# The archive BUILD_DIR/PACKAGE_NAME.zip must hold exactly, under FOLDER/, the program, the gateway,
# the simulator's and the bus monitor's TAVERIX.dll each in its own folder, all as built, stripped of
# their symbols (OBJDUMP reads them), and each with its version resource saying what it is (read
# back under Wine by VERSION_READER), and the
# read-me as Notepad must get it: UTF-8 with a byte order mark, CR LF line ends, the Japanese texts
# intact, no line over 100 characters (Notepad does not wrap them), no table left in Markdown, no
# source file named, and its examples in the folder the archive unpacks to.
set -uo pipefail
usage() { echo "usage: tests/release/check-archive.sh CMAKE BUILD_DIR PACKAGE_NAME FOLDER VERSION_READER WINE_RUN OBJDUMP"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 7 ] || { usage >&2; exit 2; }
cmake=$1 build=$2 name=$3 folder=$4 reader=$5 wine_run=$6 objdump=$7
zip=$build/$name.zip
version=${name#qx7316-}
version=${version%-win*}

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# Each file: its path in the archive, the build's file, the description of its version resource.
files=$(cat <<'TABLE'
qx7316.exe              bin/qx7316.exe          QX-7316 function generator control panel
taverix-gateway.exe     bin/taverix-gateway.exe QX-7316 network gateway (the instrument on the GPIB bus over TCP)
simulator/TAVERIX.dll   bin/TAVERIX.dll         QX-7316 simulator (not the real TAVERIX library)
bus-monitor/TAVERIX.dll bin/monitor/TAVERIX.dll TAVERIX bus monitor (forwards to the real library)
TABLE
)

rm -f "$zip"
"$cmake" --build "$build" --target package >"$build/package.log" 2>&1 \
  || { cat "$build/package.log" >&2; echo "FAILED: building the package" >&2; exit 1; }
[ -s "$zip" ] || { echo "FAILED: the package build made no $zip" >&2; exit 1; }
pass "built $zip"

# The listing, folders left out.
listing=$("$cmake" -E tar tf "$zip") || { echo "FAILED: cannot list $zip" >&2; exit 1; }
held=$(grep -v '/$' <<<"$listing" | LC_ALL=C sort | tr '\n' ' ')
wanted=$( (echo README.txt; awk '{ print $1 }' <<<"$files") | sed "s|^|$folder/|" | LC_ALL=C sort | tr '\n' ' ')
[ "$held" = "$wanted" ] && pass "holds $held" || fail "holds '$held', wanted '$wanted'"

unpacked=$(mktemp -d "${TMPDIR:-/tmp}/check-archive.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && "$cmake" -E tar xf "$zip") || { echo "FAILED: cannot unpack $zip" >&2; exit 1; }
top=$unpacked/$folder

reader_arguments=()
while read -r path built description; do
  cmp -s "$top/$path" "$build/$built" && pass "$path is $built" || fail "$path differs from $build/$built"
  symbols=$(LC_ALL=C "$objdump" -t "$top/$path" 2>&1 | grep -c '^\[ *[0-9]*\]')
  [ "$symbols" = 0 ] && pass "$path is stripped" || fail "$path holds $symbols symbols: not stripped"
  reader_arguments+=("$path" "$description")
done <<<"$files"

# The version resources as Explorer's Properties show them, read from the archive's own files.
cp "$reader" "$top/version_resource_reader.exe"
if "$wine_run" "$top/version_resource_reader.exe" "QX7316 SAMPLE" "$version" "${reader_arguments[@]}" \
    >"$unpacked/versions.txt" 2>&1; then
  pass "version resources: $(grep -c '^ok' "$unpacked/versions.txt") values as wanted"
else
  cat "$unpacked/versions.txt" >&2
  fail "version resources"
fi

readme=$top/README.txt
if [ -s "$readme" ]; then
  [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] && pass "README.txt starts with a byte order mark" \
    || fail "README.txt does not start with UTF-8's byte order mark"
  lines=$(wc -l <"$readme")
  crlf=$(grep -c $'\r$' "$readme")
  [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] && [ "$(tail -c 2 "$readme" | od -An -tx1 | tr -d ' ')" = 0d0a ] \
    && pass "README.txt: $lines lines, each ending in CR LF" || fail "README.txt: $crlf of $lines lines end in CR LF"
  # Decoded as Notepad does: the byte order mark says UTF-8.
  if text=$(tail -c +4 "$readme" | iconv -f UTF-8 -t UTF-8 | tr -d '\r'); then
    pass "README.txt is valid UTF-8"
  else
    fail "README.txt is not valid UTF-8"
  fi
  # The title, and Japanese texts of each kind: status line, labels, the font's name (full width).
  for wanted_text in "QX7316 SAMPLE $version" 初期化正常終了 'gp_init() error [N]' GPIB初期化 '【 NG 】' 電圧 \
      'ＭＳ Ｐゴシック' TAVERIX_SIM_DISPLAY "cd /d C:\\$folder"; do
    grep -qF -- "$wanted_text" <<<"$text" && pass "README.txt holds $wanted_text" \
      || fail "README.txt lacks $wanted_text"
  done
  # Markdown's links and code fences do not reach the plain text.
  grep -qE '\]\(#|^ *```' <<<"$text" && fail "README.txt holds Markdown links or code fences" \
    || pass "README.txt holds no Markdown links or code fences"
  # Notepad does not wrap: every line fits in 100 characters, and no table is left in Markdown.
  long=$(LC_ALL=C.UTF-8 bash -c 'n=0; while IFS= read -r l; do n=$((n + 1)); [ "${#l}" -le 100 ] || echo "$n: $l"; done' \
    <<<"$text" | head -n 3)
  [ -z "$long" ] && pass "README.txt: every line at most 100 characters" \
    || fail "README.txt has lines over 100 characters: $long"
  grep -qE '^ *\|' <<<"$text" && fail "README.txt holds a Markdown table: $(grep -m1 -E '^ *\|' <<<"$text")" \
    || pass "README.txt holds no Markdown table"
  # The developer's side stays in README.md: no source file is named.
  sources=$(grep -oE '[a-z_]+/[a-z_/]+\.(cpp|h|cmake|sh|py)\b' <<<"$text" | head -n 3 | tr '\n' ' ')
  [ -z "$sources" ] && pass "README.txt names no source file" || fail "README.txt names source files: $sources"
  # The examples' folder is the one the archive unpacks to: C:\FOLDER or below it.
  others=$(grep -oE 'C:\\qx7316[^\\ `"]*' <<<"$text" | grep -vxF "C:\\$folder" | sort -u | tr '\n' ' ')
  [ -z "$others" ] && pass "README.txt's examples are in C:\\$folder" \
    || fail "README.txt's examples name folders the archive does not make: $others"
else
  fail "README.txt is missing or empty"
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed for $zip" >&2; exit 1; }
