#!/usr/bin/env bash
# Checks a built Debian package of Pelvar: its file list and dependencies,
# lintian (no errors), the manual pages (man renders them without warnings),
# the desktop entry, the AppStream metadata and the .script file type (an
# INI script is claimed, another file named *.script is not).
#
#   scripts/check-package.sh build/ci/pelvar_VERSION_ARCH.deb
set -euo pipefail
deb="$(realpath "$1")"
work="$(mktemp -d "${TMPDIR:-/tmp}/pelvar-package-XXXXXX")"
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() {
  echo "check-package: $*" >&2
  failures=$((failures + 1))
}

root="$work/root"
dpkg-deb -x "$deb" "$root"

# The files the package must hold.
expected=(
  usr/bin/pelvar
  usr/bin/pelvar-reg
  usr/lib/pelvar/pelvar-desktop.so
  usr/share/pelvar/pelvar.ini
  usr/share/pelvar/Scripts/example.script
  usr/share/pelvar/example-source
  usr/share/man/man1/pelvar.1.gz
  usr/share/man/man1/pelvar-reg.1.gz
  usr/share/man/man5/pelvar-script.5.gz
  usr/share/applications/org.pelvar.Pelvar.desktop
  usr/share/metainfo/org.pelvar.Pelvar.metainfo.xml
  usr/share/mime/packages/pelvar.xml
  usr/share/icons/hicolor/scalable/apps/pelvar.svg
  usr/share/bash-completion/completions/pelvar
  usr/share/bash-completion/completions/pelvar-reg
  usr/share/doc/pelvar/copyright
  usr/share/doc/pelvar/changelog.Debian.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/pelvar.png")
done
for path in "${expected[@]}"; do
  [[ -e "$root/$path" ]] || fail "missing from the package: /$path"
done
for program in usr/bin/pelvar usr/bin/pelvar-reg; do
  [[ -x "$root/$program" ]] || fail "not executable: /$program"
done
# Nothing outside the places the package owns.
while IFS= read -r path; do
  case "$path" in
    usr/bin/pelvar | usr/bin/pelvar-reg | usr/lib/pelvar/* | usr/share/pelvar/* | \
      usr/share/man/man[15]/pelvar* | usr/share/applications/org.pelvar.Pelvar.desktop | \
      usr/share/metainfo/org.pelvar.Pelvar.metainfo.xml | usr/share/mime/packages/pelvar.xml | \
      usr/share/icons/hicolor/*/apps/pelvar.* | usr/share/bash-completion/completions/pelvar* | \
      usr/share/doc/pelvar/*) ;;
    *) fail "unexpected file in the package: /$path" ;;
  esac
done < <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)

# Dependencies: computed from the programs and the module, plus libcurl,
# which is loaded at run time, and xorriso, which Make ISO starts.
depends="$(dpkg-deb -f "$deb" Depends)"
for lib in libc6 libqt6widgets6 libhivex0 libsqlite3-0 libcurl4 xorriso; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

# lintian: no errors (it fails too when it cannot run). The package is only
# read, so running as root is fine.
lintian_out="$work/lintian.txt"
if ! lintian --allow-root --fail-on error "$deb" >"$lintian_out" 2>&1; then
  cat "$lintian_out" >&2
  fail "lintian reports errors"
fi

# Manual pages render without a warning.
for page in "$root"/usr/share/man/man*/*.gz; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [[ -z "$warnings" ]] || fail "man warns on $(basename "$page"): $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q '^NAME' ||
    fail "$(basename "$page") has no NAME section"
done

for completion in "$root"/usr/share/bash-completion/completions/*; do
  bash -n "$completion" || fail "bash cannot read $(basename "$completion")"
done

desktop-file-validate "$root/usr/share/applications/org.pelvar.Pelvar.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/org.pelvar.Pelvar.metainfo.xml" \
  >"$work/appstream.txt" 2>&1 || {
  cat "$work/appstream.txt" >&2
  fail "appstreamcli validate"
}

# The file type, installed into a private data folder: the content decides
# between a Pelvar script and another file named *.script.
mime="$work/share/mime"
mkdir -p "$mime/packages"
cp "$root/usr/share/mime/packages/pelvar.xml" "$mime/packages/"
update-mime-database "$mime" >/dev/null 2>&1 || fail "update-mime-database rejects the type"
printf '[main]\r\ntitle=One\r\n[process]\r\necho,1,hi\r\n' >"$work/plain-ini.script"
printf '; written by hand\n\n[process]\necho,1,hi\n' >"$work/commented.script"
printf '\xef\xbb\xbf[main]\ntitle=BOM\n' >"$work/bom.script"
printf 'SECTIONS\n{\n  .text : { *(.text) } [x]\n}\n' >"$work/linker.script"
type_of() {
  XDG_DATA_HOME="$work/share" XDG_DATA_DIRS="$work/share:/usr/share" \
    gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
for name in plain-ini commented bom; do
  got="$(type_of "$work/$name.script")"
  [[ "$got" == application/x-pelvar-script ]] || fail "$name.script is $got"
done
got="$(type_of "$work/linker.script")"
[[ "$got" == text/plain ]] || fail "a text file named *.script without a section header is $got"

if ((failures)); then
  echo "check-package: $failures problem(s) in $(basename "$deb")" >&2
  exit 1
fi
echo "check-package: $(basename "$deb") is fine ($(grep -c '^W: ' "$lintian_out" || true) lintian warnings)"
