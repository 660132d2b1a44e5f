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
