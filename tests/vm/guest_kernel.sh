#!/bin/sh
# The guest's kernel: the image of Debian's current linux-image-*-amd64 package (the one that
# linux-image-amd64 depends on), fetched with `apt-get download` and unpacked into DIR, never installed.
# Kept in DIR: a later run fetches again only when Debian's current kernel package has changed.
#
#   guest_kernel.sh DIR     prints the path of the kernel image
# Exit status: 0, or 77 when the package cannot be had here (no apt, no Debian archive reachable).
set -u
dir=$1
skip() { echo "guest_kernel: $*" >&2; exit 77; }

command -v apt-get >/dev/null && command -v dpkg-deb >/dev/null || skip "apt-get and dpkg-deb are needed"
current() { apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'; }
package=$(current)
if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq >/dev/null 2>&1
  package=$(current)
fi
[ -n "$package" ] || skip "apt knows no linux-image-amd64 package"

image=$dir/$package.vmlinuz
if [ ! -s "$image" ]; then
  mkdir -p "$dir"
  work=$(mktemp -d "$dir/download.XXXXXX")
  chmod 0755 "$work"  # apt's download user writes here
  if ! (cd "$work" && apt-get download -qq "$package" >/dev/null 2>&1); then
    [ "$(id -u)" -eq 0 ] && apt-get update -qq >/dev/null 2>&1
    (cd "$work" && apt-get download -qq "$package" >/dev/null 2>&1) || { rm -rf "$work"; skip "apt-get download $package failed"; }
  fi
  dpkg-deb --fsys-tarfile "$work"/*.deb | tar -x -C "$work" --wildcards './boot/vmlinuz-*' ||
    { rm -rf "$work"; echo "guest_kernel: no kernel image in $package" >&2; exit 1; }
  mv "$work"/boot/vmlinuz-* "$image"
  rm -rf "$work"
  # Images of earlier packages are left behind by nothing else.
  find "$dir" -maxdepth 1 -name '*.vmlinuz' ! -name "$package.vmlinuz" -delete
fi
echo "$image"
