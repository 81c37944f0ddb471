#!/usr/bin/env bash
# Checks setup's steps (tools/setup-packages.sh) against a stand-in apt-get and dpkg-query: an index
# that cannot be fetched while the mirror syncs is a warning and the install goes on; an install
# that then fails says that the mirror may be mid-sync and to run setup again; an install that fails
# after a clean update says only what failed; qemu-user and its registration are asked for and made
# only for the 32-bit programs and only where the kernel does not run i386 programs itself.
# Installs nothing and changes nothing outside its own folder. Prints one line per check; fails if
# any fails.
set -uo pipefail
case "${1:-}" in
  -h|--help) echo "usage: tools/tests/setup_test.sh   (no arguments)"; exit 0 ;;
  ?*) echo "usage: tools/tests/setup_test.sh   (no arguments)" >&2; exit 2 ;;
esac
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/setup-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {   # check NAME COMMAND...: passes when the command succeeds
  local name=$1; shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}

# The stand-ins: no package is installed; apt-get update and install exit with the codes given.
mkdir -p "$work/bin"
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
exit 1
STUB
cat >"$work/bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_CALLS"
case " $* " in
  *" update "*)
    [ "$STUB_UPDATE" = 0 ] && exit 0
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100 ;;
  *" install "*) exit "$STUB_INSTALL" ;;
esac
STUB
chmod +x "$work/bin/dpkg-query" "$work/bin/apt-get"

# Runs install_pkgs as setup.sh does, with the update and install exit codes given; its output
# goes to $work/out, the apt-get calls to $work/calls.
run() {
  : >"$work/calls"
  STUB_UPDATE=$1 STUB_INSTALL=$2 STUB_CALLS=$work/calls PATH="$work/bin:$PATH" bash -c '
    log() { printf "setup: %s\n" "$*" >&2; }
    die() { printf "setup: FAILED: %s\n" "$*" >&2; exit 1; }
    . "$0/setup-packages.sh"
    install_pkgs wine xvfb
    install_pkgs lxi-tools
    log "ready"' "$tools" >"$work/out" 2>&1
}
has() { grep -qF -- "$1" "$work/out"; }

run 100 0; status=$?
check "a failed update is a warning: setup goes on and ends ready" test "$status" = 0
check "the warning names the index that failed" has "Mirror sync in progress?"
check "the warning says setup goes on" has "warning: apt-get update did not fetch every package index"
check "both lists are installed after one update" test "$(grep -c 'install' "$work/calls") $(grep -c 'update' "$work/calls")" = "2 1"
check "both from the release, whose indexes agree (-t bookworm)" test "$(grep -c 'install.* -t bookworm wine xvfb$\|install.* -t bookworm lxi-tools$' "$work/calls")" = 2

run 100 100; status=$?
check "an install that fails after a failed update fails setup" test "$status" = 1
check "it says that the mirror may be mid-sync and to run setup again" has "mirror may be in the middle of a sync"
check "it names the 32-bit index's version skew" has "wine32:i386"
check "it names what failed to install" has "FAILED: apt-get install wine xvfb"

run 0 100; status=$?
check "an install that fails after a clean update fails setup" test "$status" = 1
check "then without the mirror note" eval '! has "mirror may be"'
check "and from the suites as apt ranks them (no -t)" eval '! grep -q -- "-t bookworm" "$work/calls"'

# Where the kernel runs i386 programs itself, neither qemu-user nor its registration is asked for or
# made; elsewhere only runs of the 32-bit programs (check i386) ask for them, and the root steps add
# the backports source, install qemu-user from it and register it. KERNEL: native or not; the
# probe stands in for the kernel, and the apt sources and binfmt_misc are folders of the test's own.
# Runs STEPS (shell text) with the output in $work/out and the apt-get calls in $work/calls.
run_i386() {
  local kernel=$1 steps=$2
  : >"$work/calls"
  rm -rf "$work/apt" "$work/binfmt"
  mkdir -p "$work/apt/sources.list.d" "$work/binfmt"
  printf 'Types: deb\nURIs: http://deb.example/debian\nSuites: bookworm bookworm-updates\n' \
    >"$work/apt/sources.list.d/debian.sources"
  : >"$work/binfmt/register"
  printf '#!/bin/sh\n' >"$work/interpreter" && chmod +x "$work/interpreter"
  KERNEL=$kernel STUB_UPDATE=0 STUB_INSTALL=0 STUB_CALLS=$work/calls PATH="$work/bin:$PATH" bash -c '
    log() { printf "setup: %s\n" "$*" >&2; }
    die() { printf "setup: FAILED: %s\n" "$*" >&2; exit 1; }
    root=/nonexistent packages=(wine) packages_i386=(wine32:i386)
    . "$0/setup-packages.sh"
    i386_native() { [ "$KERNEL" = native ]; }
    binfmt_dir=$1/binfmt apt_sources=$1/apt qemu_interpreters=("$1/interpreter")
    '"$steps" "$tools" "$work" >"$work/out" 2>&1
}
run_i386 emulated 'check'
check "64-bit runs (check): qemu-user is not asked for" eval '! has qemu'
check "64-bit runs (check): the packages still are" has "missing: Debian packages wine wine32:i386"
run_i386 emulated 'check i386'
check "32-bit runs, a kernel without i386: qemu-user is asked for" has "wine32:i386 qemu-user (version 8"
check "32-bit runs, a kernel without i386: and its registration" has "binfmt_misc registration"
run_i386 native 'check i386'
check "32-bit runs, a kernel with i386: neither" eval '! grep -q "qemu\|binfmt" "$work/out"'
run_i386 native 'qemu_install; i386_register; log done'
check "root steps, a kernel with i386: say so and go on" has "the kernel runs 32-bit programs itself"
check "root steps, a kernel with i386: no qemu-user, no backports source, no registration" \
  test "$(cat "$work/calls")$(ls "$work/apt/sources.list.d")$(wc -c <"$work/binfmt/register") $(tail -n 1 "$work/out")" \
  = "debian.sources0 setup: done"
run_i386 emulated 'qemu_install; i386_register'
check "root steps, a kernel without i386: qemu-user from the backports source it adds" \
  test "$(grep -c 'install.*-t bookworm-backports qemu-user' "$work/calls") $(grep -h '^URIs:\|^Suites:' "$work/apt/sources.list.d/backports.sources" | tr '\n' ' ')" \
  = "1 URIs: http://deb.example/debian Suites: bookworm-backports "
check "root steps, a kernel without i386: qemu registered for i386 programs" \
  grep -qF ":qemu-i386:M::\x7fELF\x01\x01\x01" "$work/binfmt/register"
check "root steps, a kernel without i386: through qemu's interpreter" grep -qF ":$work/interpreter:OPF" "$work/binfmt/register"

# The probe is a working i386 program: qemu-i386 runs it where qemu-user is installed.
. "$tools/i386-native.sh"
i386_probe_write "$work/probe"
if command -v qemu-i386 >/dev/null; then
  check "the kernel's probe is an i386 program that says i386" test "$(qemu-i386 "$work/probe")" = i386
fi

echo "setup_test: $failures failed"
[ "$failures" = 0 ]
