# kv_sysfs_bench on the guest's kernel: kelvorant against lspci -xxx and the floor.
. /vm/guest.sh
"$KV_BUILD/kv_sysfs_bench" ${KV_bench_rounds:-21} >$1/bench.txt 2>&1
