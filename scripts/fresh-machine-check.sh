#!/bin/sh
# Tries the README's two commands as a newcomer would: on a fresh Debian 12
# (bookworm) made by debootstrap in a folder, as root, with nothing but the
# base system, on a clean clone of this repository's HEAD. Needs root and
# the debootstrap package; takes a few minutes and about 1.5 GB.
#   scripts/fresh-machine-check.sh [folder, default /tmp/morvalen-fresh]
set -eu
cd "$(dirname "$0")/.."
root=${1:-/tmp/morvalen-fresh}
[ -e "$root/etc/debian_version" ] ||
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian
rm -rf "$root/root/morvalencmd"
git clone -q "$(pwd)" "$root/root/morvalencmd"
for fs in proc sys dev; do mountpoint -q "$root/$fs" || mount --bind "/$fs" "$root/$fs"; done
mountpoint -q "$root/tmp" || mount -t tmpfs tmpfs "$root/tmp"
trap 'umount "$root/tmp" "$root/dev" "$root/sys" "$root/proc"' EXIT

# The two commands, as the README gives them.
readme_command() {
  sed -n "/^$1/,/^\`\`\`\$/p" README.md | sed -n '/^```sh$/,/^```$/p' | sed '1d;$d'
}
for heading in "Build the tool and run it" "Build and run every test"; do
  command=$(readme_command "$heading")
  echo "== $command"
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    sh -c "cd /root/morvalencmd && $command"
done
echo "both README commands worked on a fresh Debian 12"
