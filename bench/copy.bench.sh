# Copying and moving with the copy engine (ksable-probe copy runs one job as the copy dialog
# makes it) against cp and mv, and the engine's in-process figures (ks_bench_copy).
copies="$KS_BENCH_DIR/copy"
mkdir -p "$copies"

# One 2 GiB file on the same file system. The job flushes its target file system before it
# reports done (nothing it wrote is lost to a power cut after that); cp leaves the flush to the
# kernel, so the peer is cp followed by the same flush (sync -f).
head -c 2147483648 /dev/urandom > "$copies/big"
mkdir -p "$copies/to"
sync
measure "copy one 2 GiB file vs cp + sync -f" 3 \
    '"$KS_BIN/ksable-probe" copy "$copies/big" "$copies/to/"' \
    'cp "$copies/big" "$copies/to/" && sync -f "$copies/to"' \
    'rm -f "$copies/to/big"; sync'
rm -f "$copies/to/big"
"$KS_BIN/ks_bench_copy" progress "$copies/big" "$copies/to"
rm -f "$copies/to/big"

# 20,000 small files of 1 to 64 KiB in 20 folders (perl is part of every Debian system).
mkdir -p "$copies/small"
perl -e 'srand(7); for my $d (0..19) { mkdir "$ARGV[0]/d$d";
    for my $f (0..999) { open(my $h, ">", "$ARGV[0]/d$d/f$f") or die; print $h "s" x (1024 * (1 + int(rand(64)))); } }' \
    "$copies/small"
sync
measure "copy a tree of 20,000 small files vs cp -r + sync -f" 3 \
    '"$KS_BIN/ksable-probe" copy "$copies/small" "$copies/to/"' \
    'cp -r "$copies/small" "$copies/to/" && sync -f "$copies/to"' \
    'rm -rf "$copies/to/small"; sync'
rm -rf "$copies/to/small"

# A 1 GiB tree moved from memory to the disk (16 files of 64 MiB in 4 folders).
mem=$(mktemp -d -p /dev/shm)
make_move_tree() {
    local d
    for d in 0 1 2 3; do
        mkdir -p "$mem/tree/d$d"
        for f in 0 1 2 3; do head -c 67108864 /dev/zero | tr '\0' 'm' > "$mem/tree/d$d/f$f"; done
    done
}
measure "move a 1 GiB tree from memory to the disk vs mv + sync -f" 3 \
    '"$KS_BIN/ksable-probe" copy --move "$mem/tree" "$copies/to/"' \
    'mv "$mem/tree" "$copies/to/" && sync -f "$copies/to"' \
    'rm -rf "$copies/to/tree" "$mem/tree"; make_move_tree; sync'
rm -rf "$mem" "$copies/to/tree"

"$KS_BIN/ks_bench_copy" rename "$copies/rename"
"$KS_BIN/ks_bench_copy" merge "$copies/merge"
rm -rf "$copies"
