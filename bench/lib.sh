# Shared by the benchmark scripts: timing of kSable against a peer tool in the same run.
#
#   measure NAME ROUNDS "KSABLE COMMAND" "PEER COMMAND" [PREPARE COMMAND]
#
# Runs both commands ROUNDS times, alternating so that both see the same machine state (the
# optional PREPARE command runs before each timed command, untimed), and prints one line:
#   NAME  ksable=<median s>  peer=<median s>  ratio=<ksable/peer>
# Medians make the figures stable on a busy machine; only the ratio is worth comparing.

now_ns() { date +%s%N; }

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

measure() {
    local name=$1 rounds=$2 ours=$3 peer=$4 prepare=${5:-true}
    local ours_times=() peer_times=() start end i
    for ((i = 0; i < rounds; i++)); do
        eval "$prepare" >/dev/null 2>&1
        start=$(now_ns); eval "$ours" >/dev/null 2>&1; end=$(now_ns)
        ours_times+=($(((end - start) / 1000)))
        eval "$prepare" >/dev/null 2>&1
        start=$(now_ns); eval "$peer" >/dev/null 2>&1; end=$(now_ns)
        peer_times+=($(((end - start) / 1000)))
    done
    local ours_us peer_us
    ours_us=$(printf '%s\n' "${ours_times[@]}" | median)
    peer_us=$(printf '%s\n' "${peer_times[@]}" | median)
    awk -v n="$name" -v a="$ours_us" -v b="$peer_us" \
        'BEGIN {printf "%-48s ksable=%.4fs  peer=%.4fs  ratio=%.2f\n", n, a/1e6, b/1e6, (b > 0 ? a/b : 0)}'
}
