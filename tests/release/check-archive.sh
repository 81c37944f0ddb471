#!/usr/bin/env bash
# Builds the release archive and checks what it holds: check-archive.sh CMAKE BUILD_DIR PACKAGE_NAME
# The archive BUILD_DIR/PACKAGE_NAME.zip must hold exactly, under PACKAGE_NAME/, the program as built,
# a read-me in plain ASCII text with CR LF line ends, and the simulator's TAVERIX.dll as built, in the
# folder simulator/ and nowhere else.
set -uo pipefail
usage() { echo "usage: tests/release/check-archive.sh CMAKE BUILD_DIR PACKAGE_NAME"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 3 ] || { usage >&2; exit 2; }
cmake=$1 build=$2 name=$3
zip=$build/$name.zip

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

rm -f "$zip"
"$cmake" --build "$build" --target package >"$build/package.log" 2>&1 \
  || { cat "$build/package.log" >&2; echo "FAILED: building the package" >&2; exit 1; }
[ -s "$zip" ] || { echo "FAILED: the package build made no $zip" >&2; exit 1; }
pass "built $zip"

# The listing, folders left out.
listing=$("$cmake" -E tar tf "$zip") || { echo "FAILED: cannot list $zip" >&2; exit 1; }
files=$(grep -v '/$' <<<"$listing" | LC_ALL=C sort | tr '\n' ' ')
wanted="$name/README.txt $name/qx7316.exe $name/simulator/TAVERIX.dll "
[ "$files" = "$wanted" ] && pass "holds $files" || fail "holds '$files', wanted '$wanted'"

unpacked=$(mktemp -d "${TMPDIR:-/tmp}/check-archive.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && "$cmake" -E tar xf "$zip") || { echo "FAILED: cannot unpack $zip" >&2; exit 1; }
top=$unpacked/$name

cmp -s "$top/qx7316.exe" "$build/bin/qx7316.exe" && pass "qx7316.exe is the program as built" \
  || fail "qx7316.exe differs from $build/bin/qx7316.exe"
cmp -s "$top/simulator/TAVERIX.dll" "$build/bin/TAVERIX.dll" && pass "simulator/TAVERIX.dll is the simulator as built" \
  || fail "simulator/TAVERIX.dll differs from $build/bin/TAVERIX.dll"

readme=$top/README.txt
if [ -s "$readme" ]; then
  LC_ALL=C grep -q $'[^\t\r -~]' "$readme" && fail "README.txt holds bytes other than printable ASCII" \
    || pass "README.txt is plain ASCII"
  lines=$(wc -l <"$readme")
  crlf=$(grep -c $'\r$' "$readme")
  [ "$lines" -gt 0 ] && [ "$crlf" = "$lines" ] && [ "$(tail -c 2 "$readme" | od -An -tx1 | tr -d ' ')" = 0d0a ] \
    && pass "README.txt: $lines lines, each ending in CR LF" || fail "README.txt: $crlf of $lines lines end in CR LF"
  version=${name#qx7316-}
  version=${version%-win*}
  grep -q "QX7316 SAMPLE $version" "$readme" && pass "README.txt names version $version" \
    || fail "README.txt does not name version $version"
else
  fail "README.txt is missing or empty"
fi

[ "$failures" = 0 ] || { echo "$failures check(s) failed for $zip" >&2; exit 1; }
