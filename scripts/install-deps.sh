#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Idempotent: packages already present are left alone. Works as root or via sudo.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build make pkg-config
  qt6-base-dev qt6-qpa-plugins libgl-dev fonts-liberation2
  libjpeg-dev libjpeg-turbo-progs libpng-dev
  libgif-dev libtiff-dev libwebp-dev libheif-dev libstb-dev libgdk-pixbuf-2.0-dev
  nlohmann-json3-dev nettle-dev
  64tass acme  # acme: the tests assemble the ACME sources this program writes
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth openbox
  vice
  python3 python3-pil
  librsvg2-bin man-db  # the icon's PNG sizes, the manual pages' check
  dpkg-dev file lintian desktop-file-utils appstream  # make package and its check
  emscripten  # make web (dpkg-dev above unpacks the libraries' Debian sources)
  chromium chromium-driver python3-selenium  # make web-test, make web-bench
)

if [ "$(id -u)" -eq 0 ]; then SUDO=(); else SUDO=(sudo); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# VICE lives in Debian's contrib section; enable contrib (and only that) when it is needed.
if printf '%s\n' "${missing[@]}" | grep -qx vice; then
  if ! grep -rqsE '^[^#]*\bcontrib\b' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
      uri=$(awk '/^URIs:/{print $2; exit}' "$src")
    fi
    uri=${uri:-http://deb.debian.org/debian}
    . /etc/os-release
    printf 'Types: deb\nURIs: %s\nSuites: %s %s-updates\nComponents: contrib\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
      "$uri" "$VERSION_CODENAME" "$VERSION_CODENAME" |
      "${SUDO[@]}" tee /etc/apt/sources.list.d/vantrel-contrib.sources >/dev/null
  fi
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
