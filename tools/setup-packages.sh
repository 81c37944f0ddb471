# Sourced by tools/setup.sh: the Debian package steps, apart so that tools/tests/setup_test.sh can
# run them against a stand-in apt-get. Needs log and die from the caller.

# Says which of the given packages are not installed, one a line.
missing() {
  local p out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || out+=("$p")
  done
  printf '%s\n' "${out[@]}"
}

# A package index that cannot be fetched (a mirror in the middle of a sync answers "File has
# unexpected size ... Mirror sync in progress?") is only a warning: apt keeps the index it had,
# and most often every package is still to be had. Only a failed install fails setup.
apt_updated=0 apt_update_failed=0 apt_target=()
apt_update() {
  [ "$apt_updated" = 0 ] || return 0
  apt_updated=1
  local out
  if ! out=$(apt-get update -qq 2>&1); then
    apt_update_failed=1
    printf '%s\n' "$out" | grep -E '^(E|W|Err):' | sed 's/^/setup: apt-get update: /' >&2
    log "warning: apt-get update did not fetch every package index (above); going on with the indexes apt has"
    # A stale index of one architecture (most often the security suite's i386 one) would pair a
    # 64-bit library from the security suite with an older 32-bit twin, which multiarch refuses:
    # take the release's own versions, whose indexes agree, for this run.
    log "installing from the release (bookworm) rather than its security updates this time; apt upgrade later"
    apt_target=(-t bookworm)
  fi
}

# Installs the packages of the list that are missing.
install_pkgs() {
  local want
  mapfile -t want < <(missing "$@" | sed '/^$/d')
  [ "${#want[@]}" -gt 0 ] || return 0
  apt_update
  log "installing ${want[*]}"
  apt-get install -y -qq --no-install-recommends "${apt_target[@]}" "${want[@]}" >/dev/null \
    || install_failed "${want[*]}"
}

install_failed() {
  if [ "$apt_update_failed" = 1 ]; then
    log "apt-get update had failed before this install: the package mirror may be in the middle of a sync."
    log "Run tools/setup.sh again later. Where the i386 (32-bit) index is the stale one, wine32:i386"
    log "cannot match the version of the 64-bit wine packages until the mirror has caught up."
  fi
  die "apt-get install $1"
}
