# Unpacking a KPL library (ksable-probe kpl unpack) against cp -r of the same tree. The unpack
# flushes its target file system before it reports done; cp leaves that to the kernel, so the
# peer is cp -r followed by the same flush (sync -f).
kpls="$KS_BENCH_DIR/kpl"
mkdir -p "$kpls/tree" "$kpls/to"

# 1 GiB: 15 files of 64 MiB in 3 folders, and 64 MiB more as 4,096 files of 16 KiB.
for d in 0 1 2; do
    mkdir -p "$kpls/tree/big/d$d"
    for f in 0 1 2 3 4; do head -c 67108864 /dev/urandom > "$kpls/tree/big/d$d/f$f"; done
done
mkdir -p "$kpls/tree/small"
perl -e 'for my $d (0..15) { mkdir "$ARGV[0]/d$d";
    for my $f (0..255) { open(my $h, ">", "$ARGV[0]/d$d/f$f") or die; print $h "k" x 16384; } }' \
    "$kpls/tree/small"
"$KS_BIN/ksable-probe" kpl create "$kpls/tree.kpl" "$kpls/tree" >/dev/null
sync
measure "unpack a 1 GiB KPL vs cp -r + sync -f" 3 \
    '"$KS_BIN/ksable-probe" kpl unpack "$kpls/tree.kpl" "$kpls/to"' \
    'cp -r "$kpls/tree" "$kpls/to/" && sync -f "$kpls/to"' \
    'rm -rf "$kpls/to"; mkdir -p "$kpls/to"; sync'
rm -rf "$kpls"
