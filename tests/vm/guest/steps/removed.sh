# A function that the kernel removes while kelvorant runs, the virtio device, taken away while the script
# sleeps; the program's rescan after the sleep shows what it sees. Twice:
#   user/  started for the user kv as sudo does: the function answers as absent from then on, the kernel's
#          own rescan bringing it back only after the program ended;
#   root/  a root login, which keeps root: the kernel adds the function back (its rescan) during the sleep,
#          and the program's rescan finds it again.
. /vm/guest.sh
out=$1
virtio=$(function_of 1af4 1044)
echo $virtio >$out/function.txt
script() {
  echo "dump"
  echo "sleep ${KV_remove_ms:-3000}"
  echo "click 1001"
  echo "dump"
}

# remove WHERE: takes the function away once kelvorant (of dump file WHERE/dump.jsonl, pid $!) has dumped.
remove() {
  wait_lines $1/dump.jsonl 1 $! || { echo "kelvorant did not dump its first view:"; cat $1/stderr.txt; exit 1; }
  echo 1 >/sys/bus/pci/devices/$virtio/remove
  [ -e /sys/bus/pci/devices/$virtio ] && echo "the kernel kept $virtio" >>$out/kept.txt
}
rescan() {
  echo 1 >/sys/bus/pci/rescan
  [ -e /sys/bus/pci/devices/$virtio ] || echo "the rescan did not bring $virtio back" >>$out/lost.txt
}

user=$(user_folder removed)
script >$user/script.txt
kelvorant_for_user $user &
remove $user
[ "$(wc -l <$user/dump.jsonl)" -eq 1 ] || echo "the removal outlasted the script's sleep" >>$out/late.txt
wait
rescan
mkdir $out/user
cp $user/dump.jsonl $user/stdout.txt $user/stderr.txt $user/exit-status.txt $out/user/

mkdir $out/root
script >$out/root/script.txt
kelvorant_in $out/root &
remove $out/root
rescan
[ "$(wc -l <$out/root/dump.jsonl)" -eq 1 ] || echo "the removal outlasted the script's sleep" >>$out/late.txt
wait
