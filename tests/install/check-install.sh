#!/usr/bin/env bash
# Checks of Ferrit installed into a prefix, one per call: check-install.sh CHECK PREFIX [BUILD CMAKE]
#   install  installs the build into PREFIX anew with `CMAKE --install BUILD`
#   cleanup  removes PREFIX
#   program, desktop-entry, metainfo, icons, manual  check what was installed
set -euo pipefail
check=$1 prefix=$2
share=$prefix/share

fail() {
  echo "$*" >&2
  exit 1
}

need() { # tool, Debian package
  command -v "$1" >/dev/null || fail "$1 is missing: install the Debian package $2 (scripts/deps does)"
}

# Fails with the tool's messages when it gave any: warnings count as failures too.
silent() {
  local out
  out=$("$@" 2>&1) || fail "$* failed:"$'\n'"$out"
  [ -z "$out" ] || fail "$* warned:"$'\n'"$out"
}

png_size() { # "W H" from a PNG's header
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $3 * 256 + $4, $7 * 256 + $8 }'
}

case $check in
install)
  rm -rf "$prefix"
  "$4" --install "$3" --prefix "$prefix" >/dev/null
  ;;
cleanup)
  rm -rf "$prefix"
  ;;
program)
  [ -x "$prefix/bin/ferrit" ] || fail "no program at $prefix/bin/ferrit"
  ;;
desktop-entry)
  need desktop-file-validate desktop-file-utils
  entry=$share/applications/ferrit.desktop
  [ -f "$entry" ] || fail "no desktop entry at $entry"
  silent desktop-file-validate "$entry"
  # The desktop hands ftp:// and ftps:// links to the program as its one argument.
  grep -qx 'Exec=ferrit %u' "$entry" || fail "$entry: Exec does not pass the link (%u)"
  for scheme in ftp ftps; do
    grep -Eq "^MimeType=(.*;)?x-scheme-handler/$scheme;" "$entry" ||
      fail "$entry: not registered for $scheme:// links"
  done
  ;;
metainfo)
  need appstreamcli appstream
  files=("$share"/metainfo/*.metainfo.xml)
  [ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || fail "no single metainfo file in $share/metainfo"
  # The tree as a whole: the metadata and the desktop entry it names.
  appstreamcli validate-tree --no-net "$prefix" >/dev/null ||
    fail "appstreamcli validate-tree:"$'\n'"$(appstreamcli validate-tree --no-net --explain "$prefix")"
  grep -q '<image>https://[^<]*\.png</image>' "${files[0]}" || fail "${files[0]}: no screenshot"
  ;;
icons)
  for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x$size/apps/ferrit.png
    [ -f "$png" ] || fail "no icon at $png"
    [ "$(png_size "$png")" = "$size $size" ] || fail "$png is $(png_size "$png"), not $size x $size"
  done
  svg=$share/icons/hicolor/scalable/apps/ferrit.svg
  grep -q '<svg' "$svg" || fail "no scalable icon at $svg"
  ;;
manual)
  need man man-db
  page=$share/man/man1/ferrit.1.gz
  [ -f "$page" ] || fail "no manual page at $page"
  gzip -t "$page" || fail "$page is no gzip file"
  # As lintian reads manual pages: every groff warning counts.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
    fail "man could not format $page:"$'\n'"$warnings"
  [ -z "$warnings" ] || fail "$page:"$'\n'"$warnings"
  ;;
*)
  fail "unknown check: $check"
  ;;
esac
