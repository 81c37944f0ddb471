#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine: sudo tools/setup.sh, once. Where the
# kernel does not run 32-bit x86 programs itself (it tries one), it also installs qemu-user and
# registers it for them with binfmt_misc, which a reboot loses: run it again after one. Safe to run
# again: it installs only what is missing and re-registers the i386 emulation when it is gone. This
# is the only script that needs root; the others check, as the user, with
#   tools/setup.sh --check [i386]
# which names what is missing and the command that fixes it, and fails when anything is (i386: the
# 32-bit programs are to run, so where the kernel needs it the emulation must be registered too).
# Run without --check by a user other than root, it does the same check and installs nothing. Either
# way it ends with "setup: ready" when nothing is missing.
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
. "$root/tools/i386-native.sh"
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
# The 32-bit part of Wine (and, where the kernel does not run i386 programs itself, qemu-user from
# bookworm-backports: tools/setup-packages.sh).
packages_i386=(wine32:i386 libc6:i386)

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

# 32-bit packages for the 32-bit Wine.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  apt_updated=0
fi

install_pkgs "${packages[@]}"
qemu_install
install_pkgs "${packages_i386[@]}"

# The two locales.
if ! locale_ok; then
  for l in ja_JP de_DE; do
    sed -i "s/^# *\($l.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >> /etc/locale.gen
  done
  locale-gen >/dev/null || die "locale-gen ja_JP.UTF-8 de_DE.UTF-8"
fi

i386_register
# A build/ that a run as root left behind stays root's: say so to the user who ran sudo.
if [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ] && [ -e "$root/build" ] && [ "$(stat -c %U "$root/build")" != "$SUDO_USER" ]; then
  log "note: build/ belongs to $(stat -c %U "$root/build"), so $SUDO_USER cannot build there: sudo chown -R $SUDO_USER: $root/build   (or remove it)"
fi
log "ready"
