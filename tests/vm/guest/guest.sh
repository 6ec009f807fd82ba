# What the guest's steps share. Sourced by each step; $KV_BUILD is the folder of kelvorant and KELVORANT.sys.
. /vm/build
export PATH=/bin:/usr/bin
[ -x "$KV_BUILD/kelvorant" ] && [ -f "$KV_BUILD/KELVORANT.sys" ] || { echo "no kelvorant in $KV_BUILD"; exit 1; }

# The sysfs entry of the first function with these vendor and device IDs (DDDD:BB:DD.F).
function_of() {
  for dir in /sys/bus/pci/devices/*; do
    if [ "$(cat $dir/vendor)" = "0x$1" ] && [ "$(cat $dir/device)" = "0x$2" ]; then
      basename $dir
      return 0
    fi
  done
  echo "no function $1:$2" >&2
  return 1
}

# The bridge above a function.
bridge_of() { basename "$(dirname "$(readlink -f /sys/bus/pci/devices/$1)")"; }

# Domain 0000's functions that kelvorant's scan reaches, in its order (bus, device, function): function 0
# of a device, and each further one while the function before it answers.
listed() {
  ls /sys/bus/pci/devices | grep '^0000:' | sort |
    awk -F. '$2 == 0 || ($1 == device && $2 == last + 1) { print; device = $1; last = $2 }'
}

# The device list row of a function, counted from 0.
row_of() { echo $(($(listed | grep -n "^$1\$" | cut -d: -f1) - 1)); }

# Script lines that step through the whole device list with the arrow keys, a dump at every row.
walk_list() {
  echo "focus 1000"
  echo "dump"
  i=1
  while [ $i -lt "$1" ]; do
    echo "key Down"
    echo "dump"
    i=$((i + 1))
  done
}

# lspci's account of every function: its capabilities and its bytes as this user may read them.
lspci_all() { lspci -D -nvv -xxxx >"$1"; }

# kelvorant headless, as a person would start it in the folder of its driver, with a script; what it writes
# goes to the folder OUT (script.txt must be there). The machine is the default: this computer's sysfs.
kelvorant_in() {
  (cd "$KV_BUILD" &&
    KELVORANT_UI=headless KELVORANT_UI_SCRIPT="$1/script.txt" KELVORANT_UI_DUMP="$1/dump.jsonl" \
      ./kelvorant >"$1/stdout.txt" 2>"$1/stderr.txt"
    echo $? >"$1/exit-status.txt")
}

# kelvorant as sudo starts it for the user kv (root, with SUDO_UID and SUDO_GID), in the folder of its
# driver, under a descriptor limit lower than this computer's functions need (root raises it before it
# becomes the user). The script, the dump, the trace and the service database (the user's default) are the
# user's: the folder USER (script.txt must be there) belongs to kv.
kelvorant_for_user() {
  (cd "$KV_BUILD" && ulimit -n 20 &&
    SUDO_UID=1000 SUDO_GID=1000 KELVORANT_UI=headless KELVORANT_UI_SCRIPT="$1/script.txt" \
      KELVORANT_UI_DUMP="$1/dump.jsonl" KELVORANT_TRACE="$1/trace.txt" ./kelvorant >"$1/stdout.txt" 2>"$1/stderr.txt"
    echo $? >"$1/exit-status.txt")
}

# A folder of the user kv for a step's run.
user_folder() {
  mkdir -p "/home/kv/$1"
  chown 1000:1000 "/home/kv/$1"
  echo "/home/kv/$1"
}

# What a running kelvorant is (its ids, capabilities and limits), into OUT.
identity_of_kelvorant() {
  pid=$(pidof kelvorant)
  cat /proc/$pid/status >"$1/status.txt"
  cat /proc/$pid/limits >"$1/limits.txt"
}

# Waits until FILE holds at least N lines; false when the process PID has ended first.
wait_lines() {
  while [ "$(cat "$1" 2>/dev/null | wc -l)" -lt "$2" ]; do
    kill -0 "$3" 2>/dev/null || return 1
    usleep 20000
  done
}

# A secondary bus reset from a bridge: every function below it returns to its power-on settings.
bus_reset() {
  setpci -s "$1" BRIDGE_CONTROL=0x40:0x40
  usleep 10000
  setpci -s "$1" BRIDGE_CONTROL=0x00:0x40
  usleep 100000
}

# A mark in QEMU's trace of configuration writes: the host bridge's revision ID, which no write changes.
trace_mark() { setpci -s 0000:00:00.0 REVISION=$1; }

# One register through a memory BAR's resource file, or "none" when it cannot be mapped.
bar_read() { $KV_BUILD/kv_resource_read /sys/bus/pci/devices/$1/resource$2 $3 2>/dev/null || echo none; }
