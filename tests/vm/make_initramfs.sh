#!/bin/sh
# Builds the guest's initramfs: busybox, lspci and setpci, the guest's /init and steps, and the programs
# of the build with the shared libraries that ldd names for them.
#
#   make_initramfs.sh OUT GUEST_DIR BUILD_DIR FILE...
#
# Each FILE of the build is carried at its own absolute path (so that a program finds its companions where
# it was built to look: the benchmarks name kelvorant and the floor by their paths in BUILD_DIR), without
# its debugging sections. OUT is an uncompressed newc cpio archive (the kernel unpacks it faster than a
# compressed one, which matters under TCG); every file in it belongs to root.
set -eu
umask 022  # every folder on the way to the build folder open to the guest's unprivileged user
out=$1 guest=$2 build=$3
shift 3

stage=$out.d
rm -rf "$stage"
mkdir -p "$stage"
for dir in bin sbin usr/bin usr/sbin etc proc sys dev run tmp root home vm "$build"; do
  mkdir -p "$stage/$dir"
done

# A file at its own path in the archive, with every shared library it needs.
carry() {
  mkdir -p "$stage$(dirname "$1")"
  if [ "${2:-}" = strip ]; then
    objcopy --strip-debug "$1" "$stage$1"
  else
    cp -L "$1" "$stage$1"
  fi
  ldd "$1" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' |
    while read -r lib; do
      [ -e "$stage$lib" ] && continue
      mkdir -p "$stage$(dirname "$lib")"
      cp -L "$lib" "$stage$lib"
    done
}

busybox=/bin/busybox
if ldd "$busybox" >/dev/null 2>&1; then
  echo "make_initramfs: $busybox is not the static busybox (Debian: busybox-static)" >&2
  exit 1
fi
cp "$busybox" "$stage/bin/busybox"
for applet in $("$busybox" --list); do
  [ -e "$stage/bin/$applet" ] || ln -s busybox "$stage/bin/$applet"
done

for tool in lspci setpci; do
  path=$(command -v $tool) || { echo "make_initramfs: $tool is not installed (Debian: pciutils)" >&2; exit 1; }
  carry "$path"
done
for file in "$@"; do
  carry "$file" strip
done

cp "$guest/init" "$stage/init"
cp -R "$guest/steps" "$stage/vm/steps"
cp "$guest/guest.sh" "$stage/vm/guest.sh"
chmod 0755 "$stage/init"
echo "KV_BUILD=$build" >"$stage/vm/build"
printf 'root:x:0:0:root:/root:/bin/sh\nkv:x:1000:1000:unprivileged user:/home/kv:/bin/sh\n' >"$stage/etc/passwd"
printf 'root:x:0:\nkv:x:1000:\n' >"$stage/etc/group"

(cd "$stage" && find . | LC_ALL=C sort | cpio --quiet -o -H newc -R 0:0) >"$out.new"
mv "$out.new" "$out"
rm -rf "$stage"
