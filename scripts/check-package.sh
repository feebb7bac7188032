#!/usr/bin/env bash
# Builds the .deb (make package) and checks it as a user's machine takes it: lintian finds no
# error, the menu entry and the AppStream data are valid, the manual pages render without
# warnings, the package depends on every library the programs open by name, and the programs
# run from the unpacked package.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}

fail() {
  echo "check-package: $*" >&2
  exit 1
}

make --no-print-directory package BUILD="$BUILD"
debs=("$BUILD"/vantrel-converter_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $BUILD: ${debs[*]}"
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)

lintian --fail-on error "$deb"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
outside=$(find "$tree" -type f ! -path "$tree/usr/bin/*" ! -path "$tree/usr/share/*")
[ -z "$outside" ] || fail "files outside usr/bin and usr/share: $outside"

desktop-file-validate "$tree"/usr/share/applications/vantrel-converter.desktop
appstreamcli validate --no-net "$tree"/usr/share/metainfo/*.metainfo.xml

for page in "$tree"/usr/share/man/man1/vantrel-convert.1.gz \
            "$tree"/usr/share/man/man1/vantrel-converter.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# Every library named in the programs, linked or opened by name on first use (libtiff and
# libheif, out of dpkg-shlibdeps' sight), is in a package the package depends on.
depends=$(dpkg-deb -f "$deb" Depends)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for soname in $(strings "$tree"/usr/bin/* | grep -oE 'lib[A-Za-z0-9_+-]+\.so\.[0-9]+$' | sort -u); do
  owner=$(dpkg-query -S "*/$multiarch/$soname" | head -n1 | cut -d: -f1)
  [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] ||
    fail "the programs name $soname, but its package $owner is not in Depends: $depends"
done

[ "$("$tree"/usr/bin/vantrel-convert --version)" = "vantrel-convert $version" ] ||
  fail "vantrel-convert --version does not say $version"
[ "$(QT_QPA_PLATFORM=offscreen "$tree"/usr/bin/vantrel-converter --version 2>/dev/null)" = \
  "Vantrel Converter $version" ] || fail "vantrel-converter --version does not say $version"
"$tree"/usr/bin/vantrel-convert tests/data/astronaut.jpg -o "$tree/astronaut.prg"
"$BUILD"/cli/vantrel-convert tests/data/astronaut.jpg -o "$tree/built.prg"
cmp "$tree/astronaut.prg" "$tree/built.prg" || fail "the packaged program converts differently"

echo "check-package: $deb ($version) passed"
