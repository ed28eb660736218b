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
  pipewire pipewire-jack wireplumber dbus-daemon
  xvfb xauth xdotool x11-utils procps
  # the Debian package and its test in a fresh root
  debootstrap systemd
  # Windows build and tests under Wine
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine dpkg-dev
  # the Windows setup program: the 32-bit driver and NSIS (a 64-bit setup
  # program, so 64-bit Wine runs it; no 32-bit Wine is needed)
  g++-mingw-w64-i686-posix nsis
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
# The entry is derived from this machine's own apt sources (the archive it
# already uses for this release), so a local or other mirror stays the one used.
has_deb_src() {
  grep -rqsE '^Types:.*deb-src' /etc/apt/sources.list.d/ || grep -qsE '^deb-src[[:space:]]' /etc/apt/sources.list
}
derive_deb_src() { # prints deb822 deb-src stanzas for the entries of this release
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  # One-line entries: "deb [options] URI SUITE COMPONENTS..."
  if [ -f /etc/apt/sources.list ]; then
    awk -v suite="$codename" '$1 == "deb" {
        i = 2; signed = ""
        if ($2 ~ /^\[/) {
          for (; i <= NF; i++) {
            if ($i ~ /^\[?signed-by=/) { signed = $i; sub(/^\[?signed-by=/, "", signed); sub(/\]$/, "", signed) }
            if ($i ~ /\]$/) { i++; break }
          }
        }
        if ($(i + 1) != suite) next
        comps = ""; for (j = i + 2; j <= NF; j++) comps = comps " " $j
        printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n", $i, suite, comps
        if (signed != "") printf "Signed-By: %s\n", signed
        print ""
      }' /etc/apt/sources.list
  fi
  # deb822 files: stanzas whose Types has deb and whose Suites has this release.
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$codename" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && enabled != "no") {
          printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n", uris, suite, comps
          if (signed != "") printf "Signed-By: %s\n", signed
          print ""
        }
        types = uris = suites = comps = signed = enabled = ""
      }
      /^[[:space:]]*$/ { flush(); next }
      /^#/ { next }
      { key = tolower($1); $1 = ""; sub(/^ /, ""); value = $0 }
      key == "types:" { types = value }
      key == "uris:" { uris = value }
      key == "suites:" { suites = value }
      key == "components:" { comps = value }
      key == "signed-by:" { signed = value }
      key == "enabled:" { enabled = tolower(value) }
      END { flush() }' "$f"
  done
}
ours=/etc/apt/sources.list.d/corvello-deb-src.sources
if [ -f "$ours" ] || ! has_deb_src; then
  stanzas=$(derive_deb_src)
  if [ -z "$stanzas" ]; then
    echo "install-deps: no apt source for this release to derive a deb-src entry from;" \
      "add one for Debian's main archive, then run this again" >&2
    exit 1
  fi
  if [ "$(cat "$ours" 2>/dev/null)" != "$stanzas" ]; then
    printf '%s\n' "$stanzas" > "$ours"
    apt-get update -q
  fi
fi
