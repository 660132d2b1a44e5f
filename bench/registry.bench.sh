# Changing one value in a settings file of 5,000 values: kSable's store (read under the lock,
# apply, write a temporary file, fsync, rename) against sed -i, which reads the file, changes a
# line and renames a temporary file over it without the fsync.
home="$KS_BENCH_DIR/registry-home"
mkdir -p "$home/ksable"
{
    echo "REGEDIT4"
    for k in $(seq 0 49); do
        echo
        echo "[HKEY_CURRENT_USER\\Software\\delta9\\[sable!]\\bench$k]"
        for v in $(seq 0 99); do echo "\"value$v\"=\"some text of a setting $k $v\""; done
    done
} > "$home/ksable/registry"
cp "$home/ksable/registry" "$home/peer-registry"
n=0
measure "registry: set one of 5000 values vs sed -i" 15 \
    'n=$((n+1)); XDG_CONFIG_HOME="$home" "$KS_BIN/ksable-probe" reg set "Software\\delta9\\[sable!]\\bench7" value3 "v$n"' \
    'sed -i "s/^\"value3\"=.*/\"value3\"=\"v$n\"/" "$home/peer-registry"'

# Loading a settings file of 5 MB (1,000 keys of 100 values) to read one value, against grep
# finding the same line in the same file.
big="$KS_BENCH_DIR/registry-big"
mkdir -p "$big/ksable"
awk 'BEGIN {
    print "REGEDIT4"
    for (k = 0; k < 1000; k++) {
        printf "\n[HKEY_CURRENT_USER\\Software\\delta9\\[sable!]\\big%d]\n", k
        for (v = 0; v < 100; v++) printf "\"value%d\"=\"some longer text of a setting %d %d\"\n", v, k, v
    }
}' > "$big/ksable/registry"
measure "registry: load 5 MB and read one value vs grep" 15 \
    'XDG_CONFIG_HOME="$big" "$KS_BIN/ksable-probe" reg get "Software\\delta9\\[sable!]\\big999" value99' \
    'grep -F "\"value99\"=\"some longer text of a setting 999 99\"" "$big/ksable/registry"'
