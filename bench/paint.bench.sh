# The painted panel over a folder of 100,000 files, against one frame of a 60 Hz display: one
# full paint pass of a 40-row panel, and holding Down (the time each key press takes on the GUI
# thread until the cursor has moved, median and 99th percentile). Runs offscreen.
paint_dir="$KS_BENCH_DIR/paint-100k"
mkdir -p "$paint_dir"
(cd "$paint_dir" && seq -f "file-%06g.txt" 1 100000 | xargs touch)
mkdir -p -m 700 "$KS_BENCH_DIR/paint-run"
XDG_RUNTIME_DIR="$KS_BENCH_DIR/paint-run" QT_QPA_PLATFORM=offscreen timeout 300 "$KS_BIN/ks_bench_paint" "$paint_dir" 51
