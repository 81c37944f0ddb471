#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine. Safe to run again:
# it installs only what is missing and re-registers the i386 emulation when it is gone.
set -euo pipefail

log() { printf 'setup: %s\n' "$*" >&2; }
die() { printf 'setup: FAILED: %s\n' "$*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "run as root (it installs Debian packages)"
export DEBIAN_FRONTEND=noninteractive

apt_updated=0
apt_update() { [ "$apt_updated" = 1 ] || { apt-get update -qq || die "apt-get update"; apt_updated=1; }; }

missing() {
  local p out=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || out+=("$p")
  done
  printf '%s\n' "${out[@]}"
}

install_pkgs() {
  local want
  mapfile -t want < <(missing "$@" | sed '/^$/d')
  [ "${#want[@]}" -gt 0 ] || return 0
  apt_update
  log "installing ${want[*]}"
  apt-get install -y -qq --no-install-recommends "${want[@]}" >/dev/null || die "apt-get install ${want[*]}"
}

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

install_pkgs cmake ninja-build make g++ clang libclang-rt-14-dev \
  googletest libbenchmark-dev valgrind \
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix \
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
  wine wine64 libwine xvfb x11-apps imagemagick locales fonts-ipafont-gothic file \
  python3-pyvisa python3-pyvisa-py

# qemu-user 10 (Debian 12's own 7.2 cannot run 32-bit Wine).
qemu_ok() { dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -Eq '^1:(1[0-9]|[89])\.'; }
if ! qemu_ok; then
  apt_update
  log "installing qemu-user from bookworm-backports"
  apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null \
    || die "qemu-user from bookworm-backports"
fi
install_pkgs wine32:i386 libc6:i386

# Japanese locale for Wine.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null || die "locale-gen ja_JP.UTF-8"
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
log "ready"
