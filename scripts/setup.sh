#!/usr/bin/env bash
# Installs the Debian packages and builds the static dependencies (OpenSSL,
# libcurl, GoogleTest) for i686-w64-mingw32. Quick when all is already there.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/env.sh"

need_root() { if [ "$(id -u)" -ne 0 ]; then echo "setup: run as root (apt-get)" >&2; exit 1; fi; }

PKGS=(build-essential cmake ninja-build make perl python3 git pkg-config dpkg-dev
      mingw-w64 wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick
      msitools wixl osslsigncode openssl curl microsocks tinyproxy googletest patch fonts-dejavu-extra)

# deb-src entries mirroring the machine's own deb entries (same URIs/suites).
add_deb_src() {
  local out=/etc/apt/sources.list.d/vt-deb-src.sources
  [ -f "$out" ] && return 0
  local f tmp; tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "$f" != "$out" ] || continue
    awk 'BEGIN{RS="";ORS="\n\n"} /(^|\n)Types:[^\n]*deb([ \n]|$)/ && !/deb-src/ {
           sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' >/etc/apt/sources.list.d/vt-deb-src.list || true
  fi
  if [ -s "$tmp" ]; then mv "$tmp" "$out"; else rm -f "$tmp"; fi
  APT_UPDATED=0
}

missing_pkgs() {
  local p out=()
  for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || out+=("$p")
  done
  echo "${out[@]:-}"
}

APT_UPDATED=0
apt_update() { [ "$APT_UPDATED" = 1 ] || { apt-get update -qq; APT_UPDATED=1; }; }

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root; dpkg --add-architecture i386; APT_UPDATED=0
  fi
  local miss; miss=$(missing_pkgs)
  if [ -n "$miss" ]; then
    need_root; apt_update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $miss
  fi
}

fetch_source() { # $1 = source package; leaves the upstream tarball in $SRC_DIR
  local pkg=$1
  mkdir -p "$SRC_DIR"
  if ! ls "$SRC_DIR"/${pkg}_*.orig.tar.* >/dev/null 2>&1; then
    need_root; add_deb_src; apt_update
    # The Debian part has been seen to 404 while the upstream tarball arrives.
    (cd "$SRC_DIR" && apt-get source --download-only -qq "$pkg" || true)
    ls "$SRC_DIR"/${pkg}_*.orig.tar.* >/dev/null 2>&1 || { echo "setup: no source for $pkg" >&2; exit 1; }
  fi
}

tarball() { ls "$SRC_DIR"/$1_*.orig.tar.* | grep -v '\.asc$' | head -1; }
version_of() { basename "$(tarball "$1")" | sed -E "s/^$1_([^_]+)\.orig\.tar\..*/\1/"; }

# OpenSSL without what the client never uses: engines and loadable modules,
# configuration files, protocols and algorithms TLS does not offer here (the
# ClientHello stays as the full build made it: tests/net/clienthello-*.txt),
# one section per function so the linker drops the rest. The cache folder is
# named after the version and these options, so a second run finds it.
OPENSSL_OPTIONS=(mingw no-shared no-tests no-module no-engine no-dso no-autoload-config no-comp
  no-dtls no-srp no-srtp no-psk no-ct no-cms no-cmp no-ts no-ocsp no-gost no-sm2 no-sm3 no-sm4
  no-idea no-seed no-rc2 no-rc4 no-rc5 no-md4 no-mdc2 no-whirlpool no-bf no-cast no-blake2
  no-siphash no-siv no-ocb no-scrypt no-rfc3779 no-nextprotoneg no-ui-console no-filenames no-legacy
  no-camellia no-aria no-des no-ec2m no-rmd160
  -Os -ffunction-sections -fdata-sections)
options_key() { printf '%s\n' "$@" | sha256sum | cut -c1-10; }

build_openssl() {
  fetch_source openssl
  local v; v=$(version_of openssl)
  local prefix="$DEPS_DIR/openssl-$v-$(options_key "${OPENSSL_OPTIONS[@]}")"
  if [ ! -f "$prefix/lib/libssl.a" ] && [ ! -f "$prefix/lib64/libssl.a" ]; then
    local b; b=$(mktemp -d); tar -xf "$(tarball openssl)" -C "$b"
    (cd "$b"/openssl-* && ./Configure "${OPENSSL_OPTIONS[@]}" \
        --cross-compile-prefix=i686-w64-mingw32- --prefix="$prefix" --libdir=lib >/dev/null \
      && make -j"$(nproc)" build_libs >/dev/null && make install_dev >/dev/null)
    rm -rf "$b"
  fi
  OPENSSL_PREFIX=$prefix
}

# Debian's part of a source package (its security fixes), when it arrived.
debian_tarball() { ls "$SRC_DIR"/$1_*.debian.tar.* 2>/dev/null | head -1; }
debian_version_of() { basename "$1" | sed -E "s/^$2_([^_]+)\.debian\.tar\..*/\1/"; }

# Applies debian/patches/series of the Debian tarball $2 to the source tree $1.
apply_debian_patches() {
  local src=$1 deb=$2 p
  tar -xf "$deb" -C "$src"
  [ -f "$src/debian/patches/series" ] || return 0
  while read -r p _; do
    case "$p" in ''|'#'*) continue ;; esac
    patch -d "$src" -p1 -s --forward <"$src/debian/patches/$p" || { echo "setup: patch $p does not apply" >&2; exit 1; }
  done <"$src/debian/patches/series"
}

# libcurl: HTTP with Basic proxy authentication and SOCKS, nothing else.
CURL_OPTIONS=(-DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=ON -DCURL_USE_OPENSSL=ON
  -DOPENSSL_USE_STATIC_LIBS=ON -DHTTP_ONLY=ON -DCURL_USE_LIBSSH2=OFF
  -DUSE_LIBIDN2=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF
  -DENABLE_UNICODE=ON -DBUILD_TESTING=OFF -DCURL_DISABLE_LDAP=ON -DCURL_WINDOWS_SSPI=OFF
  -DCURL_DISABLE_OPENSSL_AUTO_LOAD_CONFIG=ON -DCURL_DISABLE_COOKIES=ON -DCURL_DISABLE_ALTSVC=ON
  -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_NETRC=ON
  -DCURL_DISABLE_NTLM=ON -DCURL_DISABLE_CRYPTO_AUTH=ON -DCURL_DISABLE_GETOPTIONS=ON
  -DCURL_DISABLE_SHUFFLE_DNS=ON -DENABLE_UNIX_SOCKETS=OFF
  "-DCMAKE_C_FLAGS=-ffunction-sections -fdata-sections" "-DCMAKE_C_FLAGS_RELEASE=-Os -DNDEBUG"
  "-DCMAKE_EXE_LINKER_FLAGS=-static -Wl,--gc-sections")

build_curl() {
  fetch_source curl
  local v; v=$(version_of curl)
  local deb; deb=$(debian_tarball curl)
  [ -n "$deb" ] && v=$(debian_version_of "$deb" curl)
  local prefix="$DEPS_DIR/curl-$v-$(basename "$OPENSSL_PREFIX")-$(options_key "${CURL_OPTIONS[@]}")"
  if [ ! -f "$prefix/lib/libcurl.a" ] || [ ! -f "$prefix/bin/curl.exe" ]; then
    local b; b=$(mktemp -d); tar -xf "$(tarball curl)" -C "$b"
    [ -n "$deb" ] && apply_debian_patches "$(echo "$b"/curl-*)" "$deb"
    local tc="$b/tc.cmake"
    sed "s|@FIND_ROOT@|$OPENSSL_PREFIX|" "$here/cmake/deps-toolchain.cmake.in" >"$tc"
    cmake -S "$b"/curl-* -B "$b/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$tc" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${CURL_OPTIONS[@]}" >/dev/null
    cmake --build "$b/build" -j"$(nproc)" >/dev/null
    cmake --install "$b/build" >/dev/null
    rm -rf "$b"
  fi
  CURL_PREFIX=$prefix
}

build_gtest() {
  local v; v=$(dpkg-query -W -f='${Version}' googletest)
  local prefix="$DEPS_DIR/gtest-$v"
  if [ ! -f "$prefix/lib/libgtest.a" ]; then
    local b; b=$(mktemp -d)
    sed "s|@FIND_ROOT@||" "$here/cmake/deps-toolchain.cmake.in" >"$b/tc.cmake"
    cmake -S /usr/src/googletest -B "$b/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$b/tc.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=ON \
      -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$b/build" -j"$(nproc)" >/dev/null
    cmake --install "$b/build" >/dev/null
    rm -rf "$b"
  fi
  GTEST_PREFIX=$prefix
}

install_packages
mkdir -p "$DEPS_DIR"
build_openssl
build_curl
build_gtest
# What this checkout builds with (scripts/build.sh reads it): the cache may
# hold other builds of the same libraries, for other checkouts.
build="${VT_BUILD_DIR:-$here/build}"
mkdir -p "$build"
printf 'VT_OPENSSL_ROOT=%s\nVT_CURL_ROOT=%s\nVT_GTEST_ROOT=%s\n' "$OPENSSL_PREFIX" "$CURL_PREFIX" "$GTEST_PREFIX" \
  >"$build/deps.env"
echo "setup: dependencies ready in $DEPS_DIR"
