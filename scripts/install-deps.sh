#!/usr/bin/env bash
# Installs every package the builds and all test tiers need, on Debian 12, as root.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  # native build
  cmake ninja-build g++ pkg-config git
  googletest libgtest-dev
  liboscpack-dev zlib1g-dev
  libjack-jackd2-dev libx11-dev libxtst-dev libxext-dev
  clang libclang-rt-14-dev llvm-14
  # run time and end-to-end tests
  jackd2 libavahi-compat-libdnssd1 avahi-daemon avahi-utils dbus liblo-tools libnss-mdns
  xvfb xauth xdotool x11-utils procps
  # Windows build and tests under Wine
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine dpkg-dev
  # a real DAW for the interop test
  ardour python3-jack-client
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# oscpack for MinGW is built from Debian's source package; that needs deb-src.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  cat > /etc/apt/sources.list.d/corvello-deb-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -q
fi
