# Sourced by tools/setup.sh and tools/wine-run.sh: whether the kernel runs 32-bit x86 (i386)
# programs itself. A 64-bit Debian kernel does (IA32 emulation); some kernels are built without it
# or have it switched off, and there the 32-bit Wine runs through qemu-user, registered with
# binfmt_misc by tools/setup.sh.

# Writes FILE: an i386 program of 120 bytes that writes "i386" and exits 0. The last byte of its
# identification (padding, which the kernel's loader ignores) is 1, so that no binfmt_misc
# registration of i386 programs (which match zeros there, as qemu-i386's does) takes it: it runs only
# where the kernel runs it itself.
i386_probe_write() {
  local elf='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x01'
  elf+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  elf+='\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # One loadable segment: the whole file at 0x08048000, read and execute.
  elf+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x78\x00\x00\x00\x78\x00\x00\x00'
  elf+='\x05\x00\x00\x00\x00\x10\x00\x00'
  # write(1, "i386\n", 5); exit(0)
  elf+='\xb8\x04\x00\x00\x00\xbb\x01\x00\x00\x00\xb9\x73\x80\x04\x08\xba\x05\x00\x00\x00\xcd\x80'
  elf+='\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
  elf+='i386\n'
  printf "$elf" >"$1" && chmod +x "$1"
}

# True when the kernel runs the probe itself. A temporary folder where programs cannot run (noexec)
# counts as no: setup then takes the emulation, which works either way.
i386_native() {
  local dir out=""
  dir=$(mktemp -d "${TMPDIR:-/tmp}/qx7316-i386.XXXXXX") || return 1
  i386_probe_write "$dir/probe" && out=$("$dir/probe" 2>/dev/null)
  rm -rf "$dir"
  [ "$out" = i386 ]
}
