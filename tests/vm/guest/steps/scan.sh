# The device list and the register view of every function: kelvorant steps through the list with the
# arrow keys and dumps the dialog at each row; lspci's account of the functions is taken before and after.
. /vm/guest.sh
out=$1
lspci_all $out/lspci-before.txt
count=$(listed | wc -l)
walk_list $count >$out/script.txt
kelvorant_in $out
lspci_all $out/lspci-after.txt
