#!/usr/bin/env bash
# Installs the Debian package into a fresh Debian 12 root made with
# debootstrap, uses it there as a user would, and removes it again:
#
#   scripts/package-smoke-test.sh [PACKAGE.deb] [--keep]
#
# Without PACKAGE.deb it builds one with the `package` preset. Run it by
# hand, as root (debootstrap and chroot need it); it fetches the root's
# packages from the package servers of this machine's apt sources
# (PELVAR_DEBIAN_MIRROR overrides), a few hundred MB, and takes minutes.
# The root is made below $TMPDIR (default /var/tmp) and removed at the end
# unless --keep is given.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"

keep=0
deb=""
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    -h | --help)
      sed -n '2,12s/^# \{0,1\}//p' "$0"
      exit 0
      ;;
    *.deb) deb="$(realpath "$arg")" ;;
    *)
      echo "package-smoke-test.sh: unknown argument: $arg" >&2
      exit 2
      ;;
  esac
done
if [[ $(id -u) -ne 0 ]]; then
  echo "package-smoke-test.sh: run it as root (debootstrap and chroot need it)" >&2
  exit 2
fi

if [[ -z "$deb" ]]; then
  "$repo/scripts/setup.sh"
  rm -f "$repo"/build/package/pelvar_*.deb
  "$repo/scripts/build.sh" package package
  deb="$(ls "$repo"/build/package/pelvar_*.deb)"
fi
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap >&2
fi

# The package servers this machine installs from.
mirror="${PELVAR_DEBIAN_MIRROR:-$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
  awk '$2 == "bookworm" { print $1; exit }')}"
security="$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' |
  awk '$2 == "bookworm-security" { print $1; exit }')"
if [[ -z "$mirror" ]]; then
  echo "package-smoke-test.sh: no bookworm package server in the apt sources; set PELVAR_DEBIAN_MIRROR" >&2
  exit 2
fi

work="$(mktemp -d "${TMPDIR:-/var/tmp}/pelvar-smoke-XXXXXX")"
root="$work/root"
finish() {
  local status=$?
  if mountpoint -q "$root/proc" 2>/dev/null; then umount "$root/proc"; fi
  if [[ "$keep" == 1 ]]; then
    echo "Root kept: $root" >&2
  else
    rm -rf --one-file-system -- "$work"
  fi
  if ((status == 0)); then echo "SMOKE TEST PASSED"; else echo "SMOKE TEST FAILED" >&2; fi
}
trap finish EXIT

step() { echo "== $*" >&2; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# Runs apt in the root, its output in a log shown only when it fails.
apt_in_root() {
  if ! in_root apt-get "$@" >"$work/apt.log" 2>&1; then
    tail -n 30 "$work/apt.log" >&2
    return 1
  fi
}
# Runs a command in the root with a clean environment and without a display.
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

step "Making a Debian 12 root in $root from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  {
    tail -n 20 "$work/debootstrap.log" >&2
    fail "debootstrap"
  }
{
  echo "deb $mirror bookworm main"
  echo "deb $mirror bookworm-updates main"
  [[ -n "$security" ]] && echo "deb $security bookworm-security main"
} >"$root/etc/apt/sources.list"
mount -t proc proc "$root/proc"
apt_in_root update -q || fail "apt update"

step "Installing $(basename "$deb")"
cp "$deb" "$root/tmp/"
apt_in_root install -y -q "/tmp/$(basename "$deb")" || fail "apt install"
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' "$work/apt.log" >&2 || true
in_root dpkg -L pelvar | sort >"$work/files.txt"

step "pelvar --version"
version="$(in_root pelvar --version)" || fail "pelvar --version"
echo "$version"
[[ "$version" == "pelvar "* ]] || fail "unexpected version line: $version"

step "The window module's libraries are all there"
if in_root ldd /usr/lib/pelvar/pelvar-desktop.so | grep 'not found'; then
  fail "the module lacks libraries"
fi

step "A headless run of one script"
cat >"$root/root/smoke.script" <<'EOF'
[main]
title=Smoke test
[process]
echo,1,"Hello from the package"
dirmake,1,"%targetdir%"
dirmake,1,"%targetdir%\Sub Folder"
filecreateblank,1,"%targetdir%\Sub Folder\note.txt"
txtaddline,1,"%targetdir%\Sub Folder\note.txt","written by the smoke test",append
EOF
in_root pelvar /root/smoke.script /TargetDir=/root/target /silent | tee "$work/run.log" ||
  fail "headless run"
grep -q 'Hello from the package' "$work/run.log" || fail "the script's echo is missing"
grep -q 'written by the smoke test' "$root/root/target/Sub Folder/note.txt" ||
  fail "the script's file is missing"
[[ -f "$root/root/.config/pelvar/pelvar.ini" ]] ||
  fail "the user's program folder was not seeded from /usr/share/pelvar"

step "pelvar --batch on the example scripts"
mkdir -p "$root/root/iso"
sed -i 's|^isofile=.*|isofile=/root/iso/example.iso|' "$root/root/.config/pelvar/pelvar.ini"
in_root pelvar --batch Scripts /SourceDir=/usr/share/pelvar/example-source \
  /TargetDir=/root/batch-target | tee "$work/batch.log" || fail "pelvar --batch"
grep -q 'scripts have been processed' "$work/batch.log" || fail "the batch did not finish"
[[ -f "$root/root/batch-target/readme.txt" ]] || fail "the batch's target tree is missing"

step "A script in the command-line window (offscreen)"
in_root env QT_QPA_PLATFORM=offscreen timeout 120 pelvar /root/smoke.script \
  /TargetDir=/root/window-target >"$work/window.log" 2>&1 || {
  cat "$work/window.log" >&2
  fail "the window run"
}
[[ -f "$root/root/window-target/Sub Folder/note.txt" ]] || fail "the window run wrote nothing"

step "pelvar-reg"
in_root pelvar-reg add 'HKCU\Software\Smoke' /v Name /d Value /f >/dev/null || fail "pelvar-reg add"
in_root pelvar-reg query 'HKCU\Software\Smoke' | grep -q 'Name *REG_SZ *Value' ||
  fail "pelvar-reg query"

step "Removing the package"
apt_in_root remove --purge -y -q pelvar || fail "apt remove"
if in_root dpkg -s pelvar >/dev/null 2>&1; then fail "pelvar is still installed"; fi
left=0
while IFS= read -r path; do
  if [[ -f "$root$path" || -L "$root$path" ]]; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$work/files.txt"
((left == 0)) || fail "files of the package are left"
[[ ! -d "$root/usr/share/pelvar" && ! -d "$root/usr/lib/pelvar" ]] ||
  fail "the package's folders are left"
