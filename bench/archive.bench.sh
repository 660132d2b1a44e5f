# Opening archives until the panel holds the root listing (ksable-probe archive, one process as
# the peers are) against the fastest archive lister installed, on a ZIP of 100,000 entries made
# by zip, a RAR 5 of 20,000 entries and an LZH of 5,000 entries made by lha (against `lha l`
# and lhasa); then moving into a folder of the ZIP and back, and the
# heap the open ZIP holds per entry (ks_bench_archive).
archives="$KS_BENCH_DIR/archives"
mkdir -p "$archives/tree"
for archive_folder in $(seq 0 99); do
    mkdir -p "$archives/tree/folder$archive_folder"
    (cd "$archives/tree/folder$archive_folder" && seq -f "file-%06g.txt" 1 1000 | xargs touch)
done
(cd "$archives/tree" && zip -qr -0 "$archives/big.zip" .)
(cd "$archives/tree" && lha -aq "$archives/big.lzh" folder1 folder2 folder3 folder4 folder5 >/dev/null 2>&1) || true
rm -rf "$archives/tree"
"$KS_BIN/ks_bench_archive" make-rar5 "$archives/big.rar" 20000

# The fastest of the listers on this machine, by the median of three runs each.
fastest_lister() { # ARCHIVE COMMAND...
    local archive=$1 best="" best_us=0 lister us times start end i
    shift
    for lister in "$@"; do
        command -v "${lister%% *}" >/dev/null 2>&1 || continue
        eval "$lister \"$archive\"" >/dev/null 2>&1 || continue
        times=()
        for ((i = 0; i < 3; i++)); do
            start=$(now_ns); eval "$lister \"$archive\"" >/dev/null 2>&1; end=$(now_ns)
            times+=($(((end - start) / 1000)))
        done
        us=$(printf '%s\n' "${times[@]}" | median)
        if [ -z "$best" ] || [ "$us" -lt "$best_us" ]; then
            best=$lister
            best_us=$us
        fi
    done
    echo "$best"
}
zip_peer=$(fastest_lister "$archives/big.zip" "zipinfo -1" "bsdtar -tf" "7z l")
echo "fastest ZIP lister here: $zip_peer"
measure "open a ZIP of 100,000 entries vs $zip_peer" 5 \
    '"$KS_BIN/ksable-probe" archive "$archives/big.zip"' "$zip_peer \"\$archives/big.zip\""
rar_peer=$(fastest_lister "$archives/big.rar" "7z l" "bsdtar -tf")
echo "fastest RAR lister here: $rar_peer"
measure "open a RAR 5 of 20,000 entries vs $rar_peer" 5 \
    '"$KS_BIN/ksable-probe" archive "$archives/big.rar"' "$rar_peer \"\$archives/big.rar\""
if [ -s "$archives/big.lzh" ]; then
    measure "open an LZH of 5,000 entries vs lha l" 3 \
        '"$KS_BIN/ksable-probe" archive "$archives/big.lzh"' 'lha l "$archives/big.lzh"'
    lzh_peer=$(fastest_lister "$archives/big.lzh" "lha l" "lhasa -l")
    measure "open an LZH of 5,000 entries vs $lzh_peer" 3 \
        '"$KS_BIN/ksable-probe" archive "$archives/big.lzh"' "$lzh_peer \"\$archives/big.lzh\""
fi
# A .tar.gz and a .7z of 20,000 entries, read through libarchive, against bsdtar and 7z.
mkdir -p "$archives/tree20k"
for archive_folder in $(seq 0 19); do
    mkdir -p "$archives/tree20k/folder$archive_folder"
    (cd "$archives/tree20k/folder$archive_folder" && seq -f "file-%06g.txt" 1 1000 | xargs touch)
done
tar -czf "$archives/big.tar.gz" -C "$archives/tree20k" .
(cd "$archives/tree20k" && 7z a -bd -mx=1 "$archives/big.7z" . >/dev/null)
rm -rf "$archives/tree20k"
measure "open a .tar.gz of 20,000 entries vs bsdtar -tzf" 5 \
    '"$KS_BIN/ksable-probe" archive "$archives/big.tar.gz"' 'bsdtar -tzf "$archives/big.tar.gz"'
measure "open a .7z of 20,000 entries vs 7z l" 5 \
    '"$KS_BIN/ksable-probe" archive "$archives/big.7z"' '7z l "$archives/big.7z"'
"$KS_BIN/ks_bench_archive" browse "$archives/big.zip" "folder42/"
rm -rf "$archives"
