# The painted panel over a folder of 100,000 files, against one frame of a 60 Hz display: one
# full paint pass of a 40-row panel, and holding Down (the time each key press takes on the GUI
# thread until the cursor has moved, median and 99th percentile). Runs offscreen. Then the CPU
# time per Down press with its painting, against mc's CPU per Down press in the same folder
# (in a tmux terminal of 45 lines, past its first page) when mc and tmux are installed.
paint_dir="$KS_BENCH_DIR/paint-100k"
mkdir -p "$paint_dir"
(cd "$paint_dir" && seq -f "file-%06g.txt" 1 100000 | xargs touch)
mkdir -p -m 700 "$KS_BENCH_DIR/paint-run"

# mc's CPU time in clock ticks; waits (bounded) until it stops growing, that is until mc has
# handled every key sent.
mc_ticks_when_still() { # PID
    local last=-1 now i
    for ((i = 0; i < 300; i++)); do
        now=$(awk '{print $14 + $15}' "/proc/$1/stat")
        [ "$now" = "$last" ] && break
        last=$now
        sleep 0.2
    done
    echo "$last"
}
paint_peer=""
if command -v mc >/dev/null 2>&1 && command -v tmux >/dev/null 2>&1; then
    paint_mc_home="$KS_BENCH_DIR/paint-mc-home"
    paint_tmux="$KS_BENCH_DIR/paint-tmux.sock"
    mkdir -p "$paint_mc_home"
    tmux -S "$paint_tmux" new-session -d -x 100 -y 45 \
        "env HOME=$paint_mc_home XDG_CONFIG_HOME=$paint_mc_home/.config XDG_DATA_HOME=$paint_mc_home/.local/share XDG_CACHE_HOME=$paint_mc_home/.cache TERM=xterm mc -u $paint_dir $paint_dir"
    paint_mc_pid=$(tmux -S "$paint_tmux" list-panes -F '#{pane_pid}')
    mc_ticks_when_still "$paint_mc_pid" >/dev/null
    tmux -S "$paint_tmux" send-keys -N 60 Down
    paint_ticks_before=$(mc_ticks_when_still "$paint_mc_pid")
    tmux -S "$paint_tmux" send-keys -N 200 Down
    paint_ticks_after=$(mc_ticks_when_still "$paint_mc_pid")
    paint_hz=$(getconf CLK_TCK)
    paint_peer=$(awk -v a="$paint_ticks_before" -v b="$paint_ticks_after" -v hz="$paint_hz" \
        'BEGIN {printf "%.9f", (b - a) / hz / 200}')
    tmux -S "$paint_tmux" kill-server 2>/dev/null || true
    echo "mc: $paint_peer s of CPU per Down press (200 presses, 100,000 items)"
fi
XDG_RUNTIME_DIR="$KS_BENCH_DIR/paint-run" QT_QPA_PLATFORM=offscreen timeout 300 "$KS_BIN/ks_bench_paint" "$paint_dir" 51 \
    $paint_peer
