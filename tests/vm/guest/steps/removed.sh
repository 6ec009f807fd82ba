# A function that the kernel removes while kelvorant runs (started for the user kv, as sudo does): the
# virtio device goes while the script sleeps, and the rescan after it no longer finds it. The kernel's
# own rescan brings the device back when the program has ended.
. /vm/guest.sh
out=$1
user=$(user_folder removed)
virtio=$(function_of 1af4 1044)
echo $virtio >$out/function.txt
{
  echo "dump"
  echo "sleep ${KV_remove_ms:-3000}"
  echo "click 1001"
  echo "dump"
} >$user/script.txt

kelvorant_for_user $user &
wait_lines $user/dump.jsonl 1 $! || { echo "kelvorant did not dump its first view:"; cat $user/stderr.txt; exit 1; }
echo 1 >/sys/bus/pci/devices/$virtio/remove
[ -e /sys/bus/pci/devices/$virtio ] && echo "the kernel kept $virtio" >$out/kept.txt
[ "$(wc -l <$user/dump.jsonl)" -eq 1 ] || echo "the removal outlasted the script's sleep" >$out/late.txt
wait
echo 1 >/sys/bus/pci/rescan
[ -e /sys/bus/pci/devices/$virtio ] || echo "the rescan did not bring $virtio back" >$out/lost.txt
cp $user/dump.jsonl $user/stdout.txt $user/stderr.txt $user/exit-status.txt $out/
