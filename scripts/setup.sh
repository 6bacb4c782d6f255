#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need, from Debian's registry
# only, and generates the locales. Idempotent: a second run changes nothing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev binutils-mingw-w64-x86-64
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 python3
  wine wine64 wine32:i386 xvfb xauth x11-apps x11-utils xdotool imagemagick fonts-wqy-microhei fonts-wine locales
  googletest libgtest-dev libgmock-dev
  nlohmann-json3-dev zlib1g-dev libcpp-httplib-dev libsqlite3-dev libssl-dev openssl
  nginx-light iproute2 procps curl tinyproxy
  libmicrohttpd-dev libpq-dev postgresql wrk
  libcli11-dev
  iptables
)

# The 32-bit Wine runs the 32-bit build, the program that ships.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup: adding the i386 architecture"
  dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine takes the ANSI code page from the process locale: zh_CN.UTF-8 gives 936 (GBK),
# but only when glibc has the locale generated.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i -E 's/^# *(zh_CN.UTF-8 UTF-8)/\1/; s/^# *(en_US.UTF-8 UTF-8)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup: packages and locales ready"
