# Extracting with kSable's own reader (ksable-probe extract: libarchive into a folder, each file
# under a partial name renamed into place, nothing written outside) against bsdtar extracting
# the same ZIP: 10,000 small files in 100 folders, and one file of 256 MiB.
ex="$KS_BENCH_DIR/extract"
mkdir -p "$ex/src/many" "$ex/src/big" "$ex/to"
perl -e 'for my $d (0..99) { mkdir "$ARGV[0]/d$d";
    for my $f (0..99) { open(my $h, ">", "$ARGV[0]/d$d/f$f.txt") or die; print $h "x" x 2048; } }' \
    "$ex/src/many"
head -c 268435456 /dev/urandom > "$ex/src/big/blob.bin"
(cd "$ex/src/many" && zip -q -r -1 "$ex/many.zip" .)
(cd "$ex/src/big" && zip -q -0 "$ex/big.zip" blob.bin)
measure "extract a ZIP of 10,000 files vs bsdtar" 5 \
    '"$KS_BIN/ksable-probe" extract "$ex/many.zip" "$ex/to"' \
    'bsdtar -xf "$ex/many.zip" -C "$ex/to"' \
    'rm -rf "$ex/to"; mkdir -p "$ex/to"'
measure "extract a 256 MiB stored ZIP entry vs bsdtar" 5 \
    '"$KS_BIN/ksable-probe" extract "$ex/big.zip" "$ex/to"' \
    'bsdtar -xf "$ex/big.zip" -C "$ex/to"' \
    'rm -rf "$ex/to"; mkdir -p "$ex/to"'
rm -rf "$ex"
