#!/usr/bin/env bash
# Checks setup's package steps (tools/setup-packages.sh) against a stand-in apt-get and dpkg-query:
# an index that cannot be fetched while the mirror syncs is a warning and the install goes on; an
# install that then fails says that the mirror may be mid-sync and to run setup again; an install
# that fails after a clean update says only what failed. Installs nothing. Prints one line per
# check; fails if any fails.
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

echo "setup_test: $failures failed"
[ "$failures" = 0 ]
