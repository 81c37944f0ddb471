# Sourced by tools/setup.sh: its checks and install steps, apart so that tools/tests/setup_test.sh
# can run them against a stand-in apt-get, dpkg-query and binfmt_misc folder. Needs log, die, root,
# packages and packages_i386 from the caller, and i386_native (tools/i386-native.sh).

# qemu-user 8 or later, from bookworm-backports (Debian 12's own 7.2 cannot run 32-bit Wine).
qemu_ok() { dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -Eq '^1:([89]|[1-9][0-9])\.'; }
# Japanese for Wine; German for the test that numbers keep their full stop under a decimal comma.
locale_ok() {
  local all
  all=$(locale -a 2>/dev/null)
  grep -qi '^ja_JP\.utf-\?8$' <<<"$all" && grep -qi '^de_DE\.utf-\?8$' <<<"$all"
}
binfmt_dir=/proc/sys/fs/binfmt_misc
apt_sources=/etc/apt
binfmt_ok() { grep -qs '^enabled' "$binfmt_dir/qemu-i386"; }
# The interpreter qemu-user installs for binfmt_misc (its path moved between versions).
qemu_interpreters=(/usr/libexec/qemu-binfmt/i386-binfmt-P /usr/lib/qemu-binfmt/i386-binfmt-P)

# Whether the 32-bit programs need qemu here: asked once, the kernel tried with a program.
i386_by_qemu=""
needs_qemu() {
  if [ -z "$i386_by_qemu" ]; then
    if i386_native; then i386_by_qemu=0; else i386_by_qemu=1; fi
  fi
  [ "$i386_by_qemu" = 1 ]
}

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

# Says what is missing and how to fix it; fails when anything is. $1 = i386: the 32-bit programs are
# to run, so qemu-user and its registration too, unless the kernel runs them itself.
# needs_install=1 when what is missing is for a root run of setup.sh to put right.
needs_install=0
check() {
  local want_i386=${1:-} lacking=() fix="sudo $root/tools/setup.sh" user status=0
  [ "$(id -u)" != 0 ] || fix="$root/tools/setup.sh"
  mapfile -t lacking < <(missing "${packages[@]}" "${packages_i386[@]}" | sed '/^$/d')
  if [ "$want_i386" = i386 ] && needs_qemu && ! qemu_ok; then
    lacking+=("qemu-user (version 8 or later, from bookworm-backports)")
  fi
  [ "${#lacking[@]}" = 0 ] || log "missing: Debian packages ${lacking[*]}"
  locale_ok || { log "missing: the ja_JP.UTF-8 or de_DE.UTF-8 locale"; lacking+=(locale); }
  if [ "$want_i386" = i386 ] && needs_qemu && ! binfmt_ok; then
    log "missing: the i386 emulation's binfmt_misc registration (lost at every reboot)"
    lacking+=(binfmt)
  fi
  if [ "${#lacking[@]}" -gt 0 ]; then
    log "fix: $fix"
    needs_install=1 status=1
  fi
  # A build folder left by an earlier run as root cannot be written by the user; setup.sh as root
  # does not change it.
  if [ -e "$root/build" ] && ! [ -w "$root/build" ]; then
    user=$(id -un)
    log "build/ cannot be written by $user (made by a run as root; sudo tools/setup.sh leaves it as it is)"
    log "fix: sudo chown -R $user: $root/build   (or remove it: sudo rm -rf $root/build)"
    status=1
  fi
  return $status
}

# qemu-user from bookworm-backports (its source added from the archive the machine already uses),
# where the kernel does not run i386 programs itself.
qemu_install() {
  if ! needs_qemu; then
    log "the kernel runs 32-bit programs itself: no qemu-user, no binfmt_misc registration"
    return 0
  fi
  qemu_ok && return 0
  if ! grep -rqs 'bookworm-backports' "$apt_sources/sources.list" "$apt_sources/sources.list.d/"; then
    local uri
    uri=$(awk '/^URIs:/{u=$2} /^Suites:/{ for (i=2;i<=NF;i++) if ($i=="bookworm") { print u; exit } }' \
          "$apt_sources"/sources.list.d/*.sources 2>/dev/null || true)
    [ -n "$uri" ] || uri=$(awk '$1=="deb" && $3=="bookworm" {print $2; exit}' "$apt_sources/sources.list" 2>/dev/null || true)
    [ -n "$uri" ] || die "cannot find the Debian archive address in the apt sources"
    cat > "$apt_sources/sources.list.d/backports.sources" <<SRC
Types: deb
URIs: $uri
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt_updated=0
  fi
  apt_update
  log "installing qemu-user from bookworm-backports"
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null \
    || install_failed "-t bookworm-backports qemu-user"
}

# i386 ELF files go to qemu through binfmt_misc, where the kernel does not run them itself.
i386_register() {
  needs_qemu || return 0
  local interp="" c
  for c in "${qemu_interpreters[@]}"; do
    [ -x "$c" ] && { interp=$c; break; }
  done
  [ -n "$interp" ] || die "qemu's i386-binfmt-P interpreter is missing"
  if [ ! -e "$binfmt_dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt_dir" 2>/dev/null \
      || die "cannot mount binfmt_misc: the 32-bit program cannot run here"
  fi
  if [ ! -e "$binfmt_dir/qemu-i386" ]; then
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':qemu-i386:M::%s:%s:%s:OPF' "$magic" "$mask" "$interp" > "$binfmt_dir/register" \
      || die "cannot register the i386 emulation with binfmt_misc"
  fi
  grep -q '^enabled' "$binfmt_dir/qemu-i386" || die "the i386 emulation is registered but disabled"
}
