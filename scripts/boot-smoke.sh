#!/usr/bin/env bash
# BIOS boot smoke test of Make ISO, outside CI (it needs qemu-system-x86,
# which scripts/setup.sh does not install): a target folder whose
# boot\etfsboot.com is a tiny boot program of our own (it writes "OK" to the
# first serial port and makes QEMU exit through its debug-exit port) becomes
# an image with pelvar --make-iso, and QEMU's BIOS boots it from the CD.
# Usage: scripts/boot-smoke.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/release}"
pelvar="$build/program/pelvar"
if ! command -v qemu-system-x86_64 >/dev/null; then
  echo "boot-smoke: skipped, qemu-system-x86_64 is missing (apt-get install qemu-system-x86)" >&2
  exit 0
fi
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-boot-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/target/Boot" "$work/target/sources"
cp "$root/example/pelvar.ini" "$work/home/"
echo "a file beside the boot program" >"$work/target/sources/readme.txt"
# 16-bit real mode, loaded by the BIOS at 0000:7C00 (no emulation, 8 sectors):
#   mov dx,0x3f8 / mov al,'O' / out dx,al / mov al,'K' / out dx,al /
#   mov al,10 / out dx,al / mov al,0x10 / out 0xf4,al / cli / hlt / jmp $-1
# The image is 4096 bytes, the size of a real etfsboot.com.
python3 - "$work/target/Boot/etfsboot.com" <<'PY'
import sys
code = bytes([0xBA, 0xF8, 0x03, 0xB0, ord("O"), 0xEE, 0xB0, ord("K"), 0xEE, 0xB0, 0x0A, 0xEE,
              0xB0, 0x10, 0xE6, 0xF4, 0xFA, 0xF4, 0xEB, 0xFD])
open(sys.argv[1], "wb").write(code + bytes(4096 - len(code)))
PY
PELVAR_HOME="$work/home" "$pelvar" --make-iso "/TargetDir=$work/target" "/IsoFile=$work/smoke.iso"
# The debug-exit port ends QEMU with status (0x10 << 1) | 1 = 33.
status=0
serial="$(timeout 120 qemu-system-x86_64 -cdrom "$work/smoke.iso" -boot d -m 64 -display none \
  -monitor none -serial stdio -no-reboot -device isa-debug-exit,iobase=0xf4,iosize=0x04)" ||
  status=$?
if [[ "$serial" == *OK* && $status -eq 33 ]]; then
  echo "boot-smoke: the BIOS booted the image's boot entry (serial: OK)"
else
  echo "boot-smoke: FAILED (status $status, serial: $serial)" >&2
  exit 1
fi
