#!/usr/bin/env bash
# Builds the page (make web): the static site in $OUT/site (index.html, its scripts, its .wasm).
#
# The library is built for WebAssembly with Debian's emscripten, over the same libraries the
# desktop links, built here from Debian's own source packages: libjpeg-turbo (with the float
# IDCT of its x86-64 build, web/jpeg/jidctflt.c, so JPEGs decode to the desktop's pixels),
# libpng and zlib, and the SHA-256 of nettle. The sources come through apt from Debian's
# archive (a private apt state under $OUT, the machine's own apt settings untouched) and are
# kept in $OUT/sources, so later builds need no network.
#
#   scripts/build-web.sh [OUT]     OUT defaults to build-web
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=$(realpath -m "${1:-build-web}")
SOURCES=$OUT/sources
PREFIX=$OUT/prefix
JOBS=${JOBS:-2}
# Debian's emcc runs its JavaScript tools with node and needs Debian's node modules.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

# Debian's source packages, unpacked with Debian's patches, once.
fetch_sources() {
  [ -f "$SOURCES/.fetched" ] && return
  local apt=$OUT/apt
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts" "$SOURCES"
  local uri
  uri=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  uri=${uri:-http://deb.debian.org/debian}
  . /etc/os-release
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$VERSION_CODENAME" >"$apt/parts/debian-src.sources"
  local options=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
  apt-get "${options[@]}" -qq update
  (cd "$SOURCES" && apt-get "${options[@]}" -qq source libjpeg-turbo libpng1.6 zlib nettle >/dev/null)
  touch "$SOURCES/.fetched"
}

source_dir() { find "$SOURCES" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | sort | tail -1; }

# One CMake project of the sources, static, into $PREFIX.
build_cmake() {
  local name=$1 dir=$2
  shift 2
  [ -f "$PREFIX/.$name" ] && return
  echo "Building $name for WebAssembly"
  emcmake cmake -S "$dir" -B "$OUT/deps/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_FIND_ROOT_PATH="$PREFIX" \
    -DCMAKE_C_FLAGS="-O3 -ffp-contract=off" "$@" >"$OUT/deps/$name.log"
  cmake --build "$OUT/deps/$name" -j"$JOBS" >>"$OUT/deps/$name.log"
  cmake --install "$OUT/deps/$name" >>"$OUT/deps/$name.log"
  touch "$PREFIX/.$name"
}

build_dependencies() {
  mkdir -p "$PREFIX/include" "$PREFIX/lib" "$OUT/deps"
  # zlib's own CMake project insists on a shared library too: its sources compiled directly.
  if [ ! -f "$PREFIX/.zlib" ]; then
    echo "Building zlib for WebAssembly"
    local zlib objects=()
    zlib=$(source_dir zlib)
    mkdir -p "$OUT/deps/zlib"
    [ -f "$zlib/zconf.h" ] || cp "$zlib/zconf.h.in" "$zlib/zconf.h"
    for file in adler32 compress crc32 deflate inffast inflate inftrees trees uncompr zutil; do
      emcc -O3 -I"$zlib" -c "$zlib/$file.c" -o "$OUT/deps/zlib/$file.o"
      objects+=("$OUT/deps/zlib/$file.o")
    done
    emar rcs "$PREFIX/lib/libz.a" "${objects[@]}"
    cp "$zlib/zlib.h" "$zlib/zconf.h" "$PREFIX/include/"
    touch "$PREFIX/.zlib"
  fi
  build_cmake libpng "$(source_dir libpng1.6)" -DPNG_SHARED=OFF -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF -DZLIB_ROOT="$PREFIX" -DM_LIBRARY=
  local jpeg
  jpeg=$(source_dir libjpeg-turbo)
  cp "$ROOT/web/jpeg/jidctflt.c" "$jpeg/jidctflt.c"
  # (its size_t probe misreads WebAssembly: size_t has 4 bytes there)
  build_cmake libjpeg-turbo "$jpeg" -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    -DSIZE_T=4 -DHAVE_SIZE_T=TRUE
  # nettle: only its SHA-256, the one thing the library takes from it.
  if [ ! -f "$PREFIX/.nettle" ]; then
    echo "Building nettle's SHA-256 for WebAssembly"
    local nettle
    nettle=$(source_dir nettle)
    mkdir -p "$OUT/deps/nettle" "$PREFIX/include/nettle"
    printf '#define HAVE_ALLOCA 1\n#define HAVE_ALLOCA_H 1\n' >"$OUT/deps/nettle/config.h"
    local objects=()
    for file in sha256.c sha256-compress.c write-be32.c; do
      emcc -O3 -I"$OUT/deps/nettle" -I"$nettle" -DHAVE_CONFIG_H -c "$nettle/$file" \
        -o "$OUT/deps/nettle/${file%.c}.o"
      objects+=("$OUT/deps/nettle/${file%.c}.o")
    done
    emar rcs "$PREFIX/lib/libnettle.a" "${objects[@]}"
    cp "$nettle/sha2.h" "$nettle/nettle-types.h" "$PREFIX/include/nettle/"
    touch "$PREFIX/.nettle"
  fi
  # nlohmann's JSON is headers only: Debian's, as the desktop uses.
  if [ ! -d "$PREFIX/include/nlohmann" ]; then
    cp -r /usr/include/nlohmann "$PREFIX/include/"
  fi
}

fetch_sources
build_dependencies
emcmake cmake -S . -B "$OUT/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVANTREL_WEB_PREFIX="$PREFIX" -DCMAKE_FIND_ROOT_PATH="$PREFIX" >"$OUT/configure.log"
cmake --build "$OUT/build" --target vantrel-site -j"$JOBS"
echo "The page: $OUT/build/site (serve it with: python3 -m http.server -d $OUT/build/site)"
