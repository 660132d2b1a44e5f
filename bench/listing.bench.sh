# The file panel's listing: a folder of 100,000 files read and sorted into a panel against
# `ls -l`, the state-keeping re-read after one added file against the full read, and the memory
# held per listed item (ks_bench_panel times the first two in-process, peers in the same run).
list_dir="$KS_BENCH_DIR/listing-100k"
mkdir -p "$list_dir"
(cd "$list_dir" && seq -f "file-%06g.txt" 1 100000 | xargs touch)
"$KS_BIN/ks_bench_panel" "$list_dir" 7
