# Save, the settings lost, Reload, in one kelvorant process whose script sleeps between its Saves and its
# Reloads, started by root for the user kv as sudo does (it opens the functions as root and runs as kv). Five functions are saved into the five slots; then, while the program sleeps, they lose their
# settings:
#   - the e1000e and the NVMe controller by a secondary bus reset from their root ports, the e1000e's AER
#     correctable mask and uncorrectable severity besides by setpci;
#   - the virtio device's BARs, command, cache line size and interrupt line by setpci;
#   - the conventional device by a secondary bus reset from the PCIe-to-PCI bridge above it;
#   - last, the root port above that bridge: its bus numbers, windows and command by setpci, so that nothing
#     behind it answers.
# The Reloads: the root port first, then the device behind it, then the others. lspci's account and a
# register of each function read through its BAR are taken at the Save, after the loss of the devices
# (lost), after the loss of the root port (cut) and at the end (restored); marks in QEMU's trace of
# configuration writes frame the Reloads.
. /vm/guest.sh
out=$1
user=$(user_folder slots)
e1000e=$(function_of 8086 10d3)
nvme=$(function_of 1b36 0010)
virtio=$(function_of 1af4 1044)
edu=$(function_of 1234 11e8)
pcibridge=$(bridge_of $edu)
port=$(bridge_of $pcibridge)

# Function, slot, BAR and a register in it whose value is fixed while the BAR decodes: the e1000e's
# STATUS, the NVMe version, the virtio common configuration's MSI-X vector and queue count, the edu
# device's identification.
cat >$out/functions.txt <<END
$e1000e 1 0 0x8
$nvme 2 0 0x8
$virtio 3 4 0x10
$edu 4 0 0x0
$port 5 - -
END
{
  while read -r fn slot _; do
    echo "click-row 1000 $(row_of $fn)"
    echo "click $((1012 + slot))"
  done <$out/functions.txt
  echo "dump"
  echo "sleep ${KV_loss_ms:-8000}"
  for slot in 5 4 1 2 3; do
    echo "click $((1007 + slot))"
    echo "dump"
  done
} >$user/script.txt
cp $user/script.txt $out/

bars() {
  while read -r fn _ bar offset; do
    [ "$bar" = - ] || echo "$fn $(bar_read $fn $bar $offset)"
  done <$out/functions.txt
}

# The cache line size, as firmware sets it (the kernel leaves it to drivers, and no driver is loaded here).
for fn in $e1000e $nvme $virtio $edu; do
  setpci -s $fn CACHE_LINE_SIZE=10
done

dmesg -r >$out/dmesg-before.txt
kelvorant_for_user $user &
wait_lines $user/dump.jsonl 1 $! || { echo "kelvorant did not dump its Saves:"; cat $user/stderr.txt; exit 1; }
identity_of_kelvorant $out
lspci_all $out/lspci-saved.txt
bars >$out/bars-saved.txt

read -r started _ </proc/uptime
bus_reset $(bridge_of $e1000e)
aer=$(setpci -s $e1000e ECAP_AER+0x14.l)
setpci -s $e1000e ECAP_AER+0x14.l=$(printf %08x $((0x$aer ^ 0x00000041)))
aer=$(setpci -s $e1000e ECAP_AER+0x0c.l)
setpci -s $e1000e ECAP_AER+0x0c.l=$(printf %08x $((0x$aer ^ 0x00001010)))
bus_reset $(bridge_of $nvme)
setpci -s $virtio BASE_ADDRESS_4=0 BASE_ADDRESS_5=0 COMMAND=0 CACHE_LINE_SIZE=0 INTERRUPT_LINE=0
bus_reset $pcibridge
lspci_all $out/lspci-lost.txt
bars >$out/bars-lost.txt
setpci -s $port COMMAND=0 PRIMARY_BUS=0 SECONDARY_BUS=0 SUBORDINATE_BUS=0 IO_BASE=0 IO_LIMIT=0 \
  MEMORY_BASE=0 MEMORY_LIMIT=0 PREF_MEMORY_BASE=0 PREF_MEMORY_LIMIT=0 PREF_BASE_UPPER32=0 PREF_LIMIT_UPPER32=0
lspci_all $out/lspci-cut.txt
bars >$out/bars-cut.txt
trace_mark 0xa1
read -r ended _ </proc/uptime
echo "$started $ended" >$out/loss-uptime.txt
[ "$(wc -l <$user/dump.jsonl)" -eq 1 ] || echo "the loss outlasted the script's sleep" >$out/late.txt

wait
cp $user/dump.jsonl $user/trace.txt $user/stdout.txt $user/stderr.txt $user/exit-status.txt $out/
stat -c '%n %U' $user/dump.jsonl $user/trace.txt /tmp/kelvorant-scm-1000 | sed "s|$user/||" >$out/owners.txt
trace_mark 0xa2
lspci_all $out/lspci-restored.txt
bars >$out/bars-restored.txt
dmesg -r >$out/dmesg-after.txt
