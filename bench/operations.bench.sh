# Panel operations on large trees: counting sizes against du -sb, searching by name mask against
# find -name, by contents against grep -rlF, and deleting a tree directly against rm -rf.
ops="$KS_BENCH_DIR/operations"
mkdir -p "$ops"

# A tree of 200 folders of 1,000 files each (200,000 files, 3 bytes each).
make_tree() { # ROOT FOLDERS FILES_PER_FOLDER
    local root=$1 folders=$2 files=$3 d
    mkdir -p "$root"
    for ((d = 0; d < folders; d++)); do
        mkdir -p "$root/d$d"
        (cd "$root/d$d" && seq -f "f%g.txt" 1 "$files" | xargs touch)
    done
}
make_tree "$ops/count" 200 1000
# sed reads find's whole output: head would close the pipe early, and the SIGPIPE find gets then
# would end the whole run under pipefail.
find "$ops/count/d0" -type f | sed -n 1,100p | xargs -I{} sh -c 'printf abc > {}'

measure "count sizes of 200,000 files vs du -sb" 5 \
    '"$KS_BIN/ksable-probe" count "$ops/count"' \
    'du -sb "$ops/count"'

# The mask must mean the same to both: in kSable's masks a "*" takes the rest of the name part
# and ends it, so "*7.txt" would match every .txt file there (200,000 hits against find's
# 20,000). "f??7.txt" matches the same 18,000 names in both.
measure "search 200,000 names by mask vs find -name" 5 \
    '"$KS_BIN/ksable-probe" find "$ops/count" "f??7.txt"' \
    'find "$ops/count" -name "f??7.txt"'

# Contents: 20,000 files of about 4 kB of text, a few holding the text searched for.
mkdir -p "$ops/text"
(cd "$ops/text" && for d in $(seq 0 19); do
    # awk, not yes | head: yes ends by SIGPIPE, which would end the whole run under pipefail.
    mkdir -p "d$d" && (cd "d$d" &&
        awk 'BEGIN { for (i = 0; i < 80000; i++) print "lorem ipsum dolor sit amet consectetur adipiscing elit" }' |
        split -l 80 -a 4 - part)
done)
printf 'a needle in the hay\n' >> "$ops/text/d3/partaabc"
printf 'a needle in the hay\n' >> "$ops/text/d17/partabcd"
measure "search 20,000 files by contents vs grep -rlF" 5 \
    '"$KS_BIN/ksable-probe" find "$ops/text" "*" --text needle --case' \
    'grep -rlF needle "$ops/text"'

measure "delete a tree of 100,000 files directly vs rm -rf" 3 \
    '"$KS_BIN/ksable-probe" delete --direct "$ops/delete"' \
    'rm -rf "$ops/delete"' \
    'rm -rf "$ops/delete"; make_tree "$ops/delete" 100 1000'
