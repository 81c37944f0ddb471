#!/usr/bin/env bash
# Static checks of the program file: check-program-file.sh OBJDUMP MACHINE PROGRAM.exe
# MACHINE is i386 or x86-64. Checks the machine, the GUI subsystem, that the program imports only
# from KERNEL32.dll, USER32.dll, msvcrt.dll and TAVERIX.dll, that it takes exactly the ten bus
# functions from TAVERIX.dll by their undecorated names, and that its resources are dialog 101 in
# Japanese (language 1041), group icon 102 with its images and the version resource, and nothing else.
set -uo pipefail
usage() { echo "usage: tests/driver/check-program-file.sh OBJDUMP i386|x86-64 PROGRAM.exe"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 3 ] || { usage >&2; exit 2; }
objdump=$1 machine=$2 program=$3
. "$(dirname "${BASH_SOURCE[0]}")/../support/pe-file-checks.sh"

pe_read "$objdump" "$machine" "$program"
pe_subsystem 2 "Windows GUI"
pe_imports "kernel32.dll msvcrt.dll taverix.dll user32.dll " "KERNEL32.dll, USER32.dll, msvcrt.dll and TAVERIX.dll"

# Resources: the directory tree printed by objdump, one "Entry: ID: 0x..." per node, indented by
# level (type, name, language).
resources=$(awk '
  function hex(text,   value, i) {
    value = 0
    for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", tolower(substr(text, i, 1))) - 1
    return value
  }
  /Resource Directory section/ { inside = 1; next }
  inside && /Entry: ID:/ {
    match($0, /^[0-9a-f]+ +/); indent = RLENGTH
    id = $0; sub(/.*ID: 0x/, "", id); sub(/,.*/, "", id); id = hex(id)
    if (level_of[indent] == "") level_of[indent] = ++levels
    level = level_of[indent]
    if (level == 1) type = id; else if (level == 2) name = id; else print type "/" name "/" id
  }
  inside && /^$/ && levels > 0 { inside = 0 }' <<<"$headers")
grep -qx '5/101/1041' <<<"$resources" && pass "dialog 101 in language 1041" \
  || fail "no dialog 101 in language 1041; resources (type/name/language): $(tr '\n' ' ' <<<"$resources")"
grep -q '^14/102/' <<<"$resources" && pass "group icon 102" \
  || fail "no group icon 102; resources (type/name/language): $(tr '\n' ' ' <<<"$resources")"

grep -qx '16/1/1041' <<<"$resources" && pass "version resource 1 in language 1041" \
  || fail "no version resource 1 in language 1041; resources (type/name/language): $(tr '\n' ' ' <<<"$resources")"
# Nothing else: the icon images (type 3) of the group icon, one dialog, one group icon, one version.
others=$(awk -F/ '$1 != 3 && !($1 == 5 && $2 == 101) && !($1 == 14 && $2 == 102) && !($1 == 16 && $2 == 1)' <<<"$resources" | tr '\n' ' ')
[ -z "$others" ] && pass "no other resources" || fail "other resources (type/name/language): $others"
grep -q '^3/' <<<"$resources" && pass "icon images" || fail "no icon images (type 3)"
kinds=$(cut -d/ -f1,2 <<<"$resources" | grep -v '^3/' | sort | uniq -d | tr '\n' ' ')
[ -z "$kinds" ] && pass "one language each" || fail "resources in more than one language: $kinds"

pe_done "$program"
