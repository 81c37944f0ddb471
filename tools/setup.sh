#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine: sudo tools/setup.sh, once (and
# again after a reboot, which loses the i386 emulation's registration). Safe to run again: it
# installs only what is missing and re-registers the i386 emulation when it is gone. This is the
# only script that needs root; the others check, as the user, with
#   tools/setup.sh --check [i386]
# which names what is missing and the command that fixes it, and fails when anything is (i386: the
# 32-bit programs are to run, so the emulation must be registered too). Run without --check by a
# user other than root, it does the same check and installs nothing. Either way it ends with
# "setup: ready" when nothing is missing.
set -euo pipefail
usage() {
  echo "usage: tools/setup.sh [--check [i386]]"
  echo "As root: installs what is missing and registers the i386 emulation. --check: says what is"
  echo "missing and the command that fixes it (i386: the emulation's registration too); installs nothing."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  --check) case "${2:-}" in ""|i386) [ $# -le 2 ] || { usage >&2; exit 2; } ;; *) usage >&2; exit 2 ;; esac ;;
  "") ;;
  *) usage >&2; exit 2 ;;
esac

log() { printf 'setup: %s\n' "$*" >&2; }
die() { printf 'setup: FAILED: %s\n' "$*" >&2; exit 1; }
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/tools/setup-packages.sh"

# Debian packages of the machine's own architecture; one a line is welcome when adding.
packages=(
  cmake ninja-build make g++ clang libclang-rt-14-dev
  googletest libbenchmark-dev valgrind
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 libwine xvfb x11-apps x11-utils imagemagick locales fonts-ipafont-gothic file
  python3-pyvisa python3-pyvisa-py
  lxi-tools iproute2
  libboost-dev
  chromium chromium-driver python3-selenium
)
# The 32-bit part of Wine (beside qemu-user from bookworm-backports, see below).
packages_i386=(wine32:i386 libc6:i386)

# qemu-user 8 or later, from bookworm-backports (Debian 12's own 7.2 cannot run 32-bit Wine).
qemu_ok() { dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -Eq '^1:([89]|[1-9][0-9])\.'; }
# Japanese for Wine; German for the test that numbers keep their full stop under a decimal comma.
locale_ok() {
  local all
  all=$(locale -a 2>/dev/null)
  grep -qi '^ja_JP\.utf-\?8$' <<<"$all" && grep -qi '^de_DE\.utf-\?8$' <<<"$all"
}
binfmt_ok() { grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; }

# Says what is missing and how to fix it; fails when anything is. $1 = i386: the emulation too.
# needs_install=1 when what is missing is for a root run of setup.sh to put right.
needs_install=0
check() {
  local want_i386=${1:-} lacking=() fix="sudo $root/tools/setup.sh" user status=0
  [ "$(id -u)" != 0 ] || fix="$root/tools/setup.sh"
  mapfile -t lacking < <(missing "${packages[@]}" "${packages_i386[@]}" | sed '/^$/d')
  qemu_ok || lacking+=("qemu-user (version 8 or later, from bookworm-backports)")
  [ "${#lacking[@]}" = 0 ] || log "missing: Debian packages ${lacking[*]}"
  locale_ok || { log "missing: the ja_JP.UTF-8 or de_DE.UTF-8 locale"; lacking+=(locale); }
  if [ "$want_i386" = i386 ] && ! binfmt_ok; then
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

if [ "${1:-}" = --check ]; then
  check "${2:-}" && log "ready"
  exit
fi
if [ "$(id -u)" != 0 ]; then
  check i386 && { log "ready: nothing to install"; exit 0; }
  [ "$needs_install" = 0 ] || die "installing needs root"
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive

# 32-bit packages for the emulated Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_updated=0
fi

# The backports suite, from the same archive the machine already uses.
if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  uri=$(awk '/^URIs:/{u=$2} /^Suites:/{ for (i=2;i<=NF;i++) if ($i=="bookworm") { print u; exit } }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '$1=="deb" && $3=="bookworm" {print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  [ -n "$uri" ] || die "cannot find the Debian archive address in the apt sources"
  cat > /etc/apt/sources.list.d/backports.sources <<SRC
Types: deb
URIs: $uri
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt_updated=0
fi

install_pkgs "${packages[@]}"

if ! qemu_ok; then
  apt_update
  log "installing qemu-user from bookworm-backports"
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null \
    || install_failed "-t bookworm-backports qemu-user"
fi
install_pkgs "${packages_i386[@]}"

# The two locales.
if ! locale_ok; then
  for l in ja_JP de_DE; do
    sed -i "s/^# *\($l.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null || die "locale-gen ja_JP.UTF-8 de_DE.UTF-8"
fi

# i386 ELF files go to qemu through binfmt_misc.
interp=""
for c in /usr/libexec/qemu-binfmt/i386-binfmt-P /usr/lib/qemu-binfmt/i386-binfmt-P; do
  [ -x "$c" ] && { interp=$c; break; }
done
[ -n "$interp" ] || die "qemu's i386-binfmt-P interpreter is missing"
if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null \
    || die "cannot mount binfmt_misc: the 32-bit program cannot run here"
fi
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf ':qemu-i386:M::%s:%s:%s:OPF' "$magic" "$mask" "$interp" > /proc/sys/fs/binfmt_misc/register \
    || die "cannot register the i386 emulation with binfmt_misc"
fi
grep -q '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386 || die "the i386 emulation is registered but disabled"
# A build/ that a run as root left behind stays root's: say so to the user who ran sudo.
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ] && [ -e "$root/build" ] && [ "$(stat -c %U "$root/build")" != "$SUDO_USER" ]; then
  log "note: build/ belongs to $(stat -c %U "$root/build"), so $SUDO_USER cannot build there: sudo chown -R $SUDO_USER: $root/build   (or remove it)"
fi
log "ready"
