# kelvorant as an unprivileged user (the kernel gives such a process 64 bytes of each function and no
# writes), with a service database in a folder of its own: the device list and register view of every
# function, then a Save of the e1000e, a change by root while the program sleeps, and a Reload that the
# kernel refuses.
. /vm/guest.sh
out=$1
e1000e=$(function_of 8086 10d3)
home=/home/kv
count=$(listed | wc -l)
{
  walk_list $count
  echo "click-row 1000 $(row_of $e1000e)"
  echo "click 1013"
  echo "dump"
  echo "sleep ${KV_change_ms:-3000}"
  echo "click 1008"
  echo "dump"
} >$home/script.txt
chown 1000:1000 $home/script.txt
echo $e1000e >$out/function.txt

su -s /bin/sh kv -c "lspci -D -nvv -xxxx" >$out/lspci-user.txt
(cd "$KV_BUILD" &&
  su -s /bin/sh kv -c "KELVORANT_UI=headless KELVORANT_UI_SCRIPT=$home/script.txt KELVORANT_UI_DUMP=$home/dump.jsonl \
    KELVORANT_SCM_DIR=$home/scm ./kelvorant >$home/stdout.txt 2>$home/stderr.txt; echo \$? >$home/exit-status.txt") &
wait_lines $home/dump.jsonl $((count + 1)) $! || { echo "kelvorant did not dump its Save"; exit 1; }
line=$(setpci -s $e1000e INTERRUPT_LINE)
setpci -s $e1000e INTERRUPT_LINE=$(printf %02x $((0x$line ^ 0x5a)))
lspci_all $out/lspci-changed.txt
[ "$(wc -l <$home/dump.jsonl)" -eq $((count + 1)) ] || echo "the change outlasted the script's sleep" >$out/late.txt
wait
lspci_all $out/lspci-after.txt
setpci -s $e1000e INTERRUPT_LINE=$line
cp $home/script.txt $home/dump.jsonl $home/stdout.txt $home/stderr.txt $home/exit-status.txt $out/
stat -c '%a %U' $home/scm >$out/scm-folder.txt
