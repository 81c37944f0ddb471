# Sourced by the static checks of the Windows files: helpers over objdump's view of a PE file.
# objdump's own words ("file format") are translated in other locales.
export LC_ALL=C

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# The ten bus functions, sorted, space-separated (with a trailing space).
bus_function_names=$(printf '%s\n' gp_init gp_cli gp_ren gp_tmout gp_clr gp_wait gp_llo gp_wrt gp_red gp_lcl | sort | tr '\n' ' ')

# pe_read OBJDUMP MACHINE FILE: reads FILE's headers into $headers and checks that it is a PE file
# for MACHINE (i386 or x86-64).
pe_read() {
  local objdump=$1 machine=$2 file=$3 format
  headers=$("$objdump" -p "$file") || { echo "cannot read $file" >&2; exit 1; }
  format=$("$objdump" -f "$file" | sed -n 's/.*file format //p')
  [ "$format" = "pei-$machine" ] && pass "file format $format" || fail "file format '$format', wanted pei-$machine"
}

# pe_subsystem NUMBER NAME: the subsystem in $headers (2: Windows GUI, 3: console).
pe_subsystem() {
  local subsystem
  subsystem=$(awk '$1 == "Subsystem" { print $2 + 0 }' <<<"$headers")
  [ "$subsystem" = "$1" ] && pass "$2 subsystem" || fail "subsystem '$subsystem', wanted $1 ($2)"
}

# pe_imports "DLL ..." "what to say": the imported DLLs (lower case, sorted, each followed by a
# space) must be exactly the given ones, and the functions taken from TAVERIX.dll, if it is among
# them, exactly the ten bus functions by their undecorated names.
pe_imports() {
  local wanted_dlls=$1 named=$2 imports dlls bus_functions
  # "DLL Name: X" starts a block; its member lines are "vma hint name".
  imports=$(awk '
    /DLL Name:/ { dll = $3; print "dll " dll; next }
    dll != "" && /^\t[0-9a-f]+\t/ { print "fn " dll " " $NF; next }' <<<"$headers")
  dlls=$(awk '$1 == "dll" { print tolower($2) }' <<<"$imports" | sort -u | tr '\n' ' ')
  [ "$dlls" = "$wanted_dlls" ] && pass "imported DLLs: $dlls" || fail "imported DLLs: '$dlls', wanted $named"
  case "$wanted_dlls" in *taverix.dll*) ;; *) return ;; esac
  bus_functions=$(awk '$1 == "fn" && tolower($2) == "taverix.dll" { print $3 }' <<<"$imports" | sort | tr '\n' ' ')
  [ "$bus_functions" = "$bus_function_names" ] && pass "bus functions: $bus_functions" \
    || fail "functions from TAVERIX.dll: '$bus_functions', wanted '$bus_function_names'"
}

# pe_done FILE: exits 1 when any check failed.
pe_done() {
  [ "$failures" = 0 ] || { echo "$failures check(s) failed for $1" >&2; exit 1; }
}
