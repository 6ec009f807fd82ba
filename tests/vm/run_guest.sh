#!/bin/sh
# Boots the q35 guest once, runs the named steps in it and unpacks what they collected.
#
#   run_guest.sh KERNEL_DIR INITRAMFS OUT STEPS [NAME=VALUE...]
#
# KERNEL_DIR caches the kernel image (guest_kernel.sh); STEPS is a comma-separated list of the guest's
# steps (guest/steps/*.sh: scan, slots, user, bench); NAME=VALUE pairs reach the steps as $KV_NAME. OUT
# receives the serial console (console.log), QEMU's trace of configuration writes (qemu-trace.log), the
# steps' results (results/STEP/...) and their times (results/steps.txt, centiseconds).
# Exit status: 0 when the guest ran every step, 1 when it did not, 77 when QEMU, the static busybox or the
# kernel package cannot be had here.
set -u
here=$(cd "$(dirname "$0")" && pwd)
kernel_dir=$1 initramfs=$2 out=$3 steps=$4
shift 4

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/results" "$out/results.b64" "$out/console.log" "$out/qemu-trace.log" "$out/skipped.txt"

# A skip leaves its reason where the checks of the results find it.
skip() { echo "SKIPPED: $*"; echo "$*" >"$out/skipped.txt"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (Debian: qemu-system-x86)"
[ -s "$initramfs" ] || skip "no initramfs at $initramfs (the build makes it when busybox-static and cpio are installed)"
kernel=$("$here/guest_kernel.sh" "$kernel_dir")
case $? in 0) ;; 77) skip "the kernel package cannot be fetched" ;; *) fail "no guest kernel" ;; esac

# KVM where this process may use it and the processor offers virtualization (a /dev/kvm without it can
# open and then never run the guest), QEMU's TCG otherwise.
accel="-accel tcg"
if [ -r /dev/kvm ] && [ -w /dev/kvm ] && grep -qwE 'vmx|svm' /proc/cpuinfo; then
  accel="-accel kvm -accel tcg"
fi

extra=
for pair in "$@"; do extra="$extra kv.$pair"; done

# The machine: q35's own functions (host bridge, ICH9 LPC, SATA and SMBus) with an ICH9 HD audio function
# in the gap at 1f.1 (kelvorant's scan, like a PCI bus walk, goes on to a device's next function only while
# one answers), a multi-function device of four root ports, behind them an e1000e (AER and serial number capabilities), an NVMe controller, a
# non-transitional virtio device (AER, ATS) and a PCIe-to-PCI bridge with a conventional device behind it.
# Hot-plug is the devices' own (PCI Express native, SHPC), not the firmware's: with ACPI hot-plug of
# bridges, which q35 turns on by default, the kernel cannot register the bridge's SHPC slot.
started=$(date +%s%N)
# shellcheck disable=SC2086
timeout 240 "$qemu" -nodefaults -machine q35 $accel -m 512 -smp 1 -display none -no-reboot \
  -global ICH9-LPC.acpi-pci-hotplug-with-bridge-support=off \
  -kernel "$kernel" -initrd "$initramfs" \
  -append "console=ttyS0 panic=-1 loglevel=4 kv.steps=$steps$extra" \
  -serial "file:$out/console.log" -serial "file:$out/results.b64" \
  -trace pci_cfg_write -D "$out/qemu-trace.log" \
  -device pcie-root-port,id=rp1,bus=pcie.0,addr=1c.0,multifunction=on,chassis=1,slot=1 \
  -device pcie-root-port,id=rp2,bus=pcie.0,addr=1c.1,chassis=1,slot=2 \
  -device pcie-root-port,id=rp3,bus=pcie.0,addr=1c.2,chassis=1,slot=3 \
  -device pcie-root-port,id=rp4,bus=pcie.0,addr=1c.3,chassis=1,slot=4 \
  -device e1000e,bus=rp1 \
  -device nvme,bus=rp2,serial=kelvorant \
  -device virtio-rng-pci-non-transitional,bus=rp3,aer=on,ats=on \
  -device pcie-pci-bridge,id=pcibridge,bus=rp4 \
  -device edu,bus=pcibridge,addr=1.0 \
  -device ich9-intel-hda,bus=pcie.0,addr=1f.1 \
  >"$out/qemu.log" 2>&1
status=$?
echo "guest: QEMU ran $((($(date +%s%N) - started) / 1000000)) ms (status $status)"
[ $status -eq 0 ] || { cat "$out/qemu.log"; tail -30 "$out/console.log"; fail "QEMU ended with status $status"; }
grep -q '^KV-RESULTS-END' "$out/results.b64" || { tail -30 "$out/console.log"; fail "the guest sent no results"; }
mkdir "$out/results"
sed '/^KV-RESULTS-END/,$d' "$out/results.b64" | base64 -d | tar -xz -C "$out/results" ||
  fail "the guest's results do not unpack"
cat "$out/results/steps.txt"
status=0
while read -r step code _; do
  [ "$step" != init ] && [ "$code" != 0 ] || continue
  echo "FAILED: step $step ended with status $code; its log:"
  tail -20 "$out/results/$step/log.txt"
  status=1
done <"$out/results/steps.txt"
exit $status
