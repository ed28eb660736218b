#!/usr/bin/env bash
# Builds the Debian package and tries it as a user of a fresh machine would:
# installs it with apt into a new minimal Debian 12 root (debootstrap
# --variant=minbase, from the archive this machine's apt already uses),
# checks the systemd user units, starts corvello from the installed files
# there, reaches it with the installed corvello-remote, and removes the
# package again, checking that nothing of it is left.
# Run as root after the native build (scripts/test.sh does both).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/linux
(cd "$build" && cpack -G DEB >/dev/null 2>&1)
deb=$(ls -t "$build"/corvello_*_amd64.deb | head -1)
echo "package: $deb"

codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
archive_uri() { # the first archive URI this machine's apt uses for this release
  { grep -hsE "^deb[[:space:]]" /etc/apt/sources.list |
      awk -v s="$codename" '{i = ($2 ~ /^\[/) ? 3 : 2; while ($i !~ /:\/\//) i++; if ($(i + 1) == s) print $i}'
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && awk -v s="$codename" 'BEGIN { RS = "" }
        $0 ~ ("Suites:[^\n]*[ \t]" s "([ \t\n]|$)") && $0 ~ /Types:[^\n]*deb([ \t\n]|$)/ {
          if (match($0, /URIs:[ \t]*[^ \t\n]+/)) { u = substr($0, RSTART, RLENGTH); sub(/URIs:[ \t]*/, "", u); print u }
        }' "$f"
    done; } | head -1
}
mirror=$(archive_uri)
[ -n "$mirror" ] || { echo "no apt source for $codename to bootstrap from" >&2; exit 1; }

# A pristine root is bootstrapped once per machine and kept as a tarball;
# every run unpacks a fresh copy of it.
cache=/var/cache/corvello/minbase-$codename.tar
if [ ! -f "$cache" ]; then
  seed=$(mktemp -d /tmp/corvello-minbase-XXXXXX)
  debootstrap --variant=minbase "$codename" "$seed" "$mirror" >/tmp/corvello-debootstrap.log 2>&1 ||
    { tail -20 /tmp/corvello-debootstrap.log; exit 1; }
  mkdir -p "$(dirname "$cache")"
  tar -C "$seed" -cf "$cache.part" . && mv "$cache.part" "$cache"
  rm -rf "$seed"
fi
root=$(mktemp -d /tmp/corvello-root-XXXXXX)
corvello_pid=
cleanup() {
  [ -n "$corvello_pid" ] && kill "$corvello_pid" 2>/dev/null || true
  for m in dev/pts dev proc; do umount -l "$root/$m" 2>/dev/null || true; done
  # Never into a mount that is still there: it would be the machine's own /dev.
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
tar -C "$root" -xf "$cache"
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

echo "installing with apt into a fresh $codename root"
in_root apt-get update -q >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "./tmp/$(basename "$deb")" >/tmp/corvello-package-install.log 2>&1 ||
  { tail -20 /tmp/corvello-package-install.log; exit 1; }
in_root dpkg -L corvello > "$root/tmp/corvello-files"

echo "checking the systemd user units"
units=$(grep '\.service$' "$root/tmp/corvello-files")
[ "$(echo "$units" | wc -l)" -eq 2 ] || { echo "expected two user units, found: $units" >&2; exit 1; }
# systemd-analyze runs inside the root, where the units' programs are installed.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends systemd \
  >/tmp/corvello-package-systemd.log 2>&1 || { tail -20 /tmp/corvello-package-systemd.log; exit 1; }
mkdir -p "$root/tmp/units-runtime" && chmod 700 "$root/tmp/units-runtime"
in_root env XDG_RUNTIME_DIR=/tmp/units-runtime systemd-analyze verify --user $units

echo "starting the installed corvello"
mkdir -p "$root/run/user/0" && chmod 700 "$root/run/user/0"
chroot "$root" env -i PATH=/usr/bin:/bin XDG_RUNTIME_DIR=/run/user/0 /usr/bin/corvello \
  2>"$root/tmp/corvello.err" &
corvello_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/^Corvello is listening for the remote on TCP port \([0-9]*\)$/\1/p' "$root/tmp/corvello.err")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { cat "$root/tmp/corvello.err"; echo "corvello printed no port" >&2; exit 1; }
answer=$(in_root corvello-remote --drain 300 "127.0.0.1:$port" "186 1 1" "wait 100" "216 0 0")
echo "$answer" | grep -q '^main 217 ' || { echo "no version answer: $answer" >&2; exit 1; }
kill -TERM "$corvello_pid"; wait "$corvello_pid"; corvello_pid=

echo "removing the package"
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q corvello >/dev/null
left=$(while read -r f; do [ -f "$root$f" ] || [ -L "$root$f" ] && echo "$f"; done < "$root/tmp/corvello-files" || true)
[ -z "$left" ] || { echo "left after removal: $left" >&2; exit 1; }
echo "package test passed"
