# The main window while two copy jobs run in the background (ks_bench_jobs, offscreen): holding
# Down in a panel of 100,000 items with no job and with two jobs and the background strip, against
# one 60 Hz frame, and the GUI thread's CPU share of the strip's and of the progress window's
# polling, against 2% of a core. Each job copies 320 MiB of files under ten copy buffers with the
# smallest buffer setting, one system call per 64 bytes, so both keep a core busy for the whole
# run; the program cancels them at its end.
jobs_dir="$KS_BENCH_DIR/jobs"
mkdir -p "$jobs_dir/panel" "$jobs_dir/a" "$jobs_dir/b" "$jobs_dir/to"
(cd "$jobs_dir/panel" && seq -f "file-%06g.txt" 1 100000 | xargs touch)
for jobs_source in a b; do
    for jobs_file in $(seq 1 40); do
        head -c 8388608 /dev/zero > "$jobs_dir/$jobs_source/f$jobs_file"
    done
done
sync
mkdir -p -m 700 "$KS_BENCH_DIR/jobs-run"
XDG_RUNTIME_DIR="$KS_BENCH_DIR/jobs-run" QT_QPA_PLATFORM=offscreen timeout 300 "$KS_BIN/ks_bench_jobs" \
    "$jobs_dir/panel" "$jobs_dir/a" "$jobs_dir/b" "$jobs_dir/to" 3
rm -rf "$jobs_dir"
