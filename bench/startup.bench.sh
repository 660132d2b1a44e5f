# Start-up: from starting the program to the first painted frame of both panels (both show the
# home folder) against a minimal Qt window that quits after its first paint. Both are started
# the same way, on a virtual X display of this run's own, with a fresh home folder.
if ! command -v Xvfb >/dev/null 2>&1; then
    echo "start-up: Xvfb is not installed, skipped"
else
    startup_home="$KS_BENCH_DIR/startup-home"
    mkdir -p "$startup_home/.config" "$startup_home/.local/share" "$startup_home/.cache" "$startup_home/run"
    chmod 700 "$startup_home/run"
    # A home folder as people have it: a few folders and some files.
    for startup_folder in Desktop Documents Downloads Music Pictures Projects Videos; do
        mkdir -p "$startup_home/$startup_folder"
    done
    (cd "$startup_home" && seq -f "notes-%g.txt" 1 40 | xargs touch)
    startup_env=("HOME=$startup_home" "XDG_CONFIG_HOME=$startup_home/.config"
        "XDG_DATA_HOME=$startup_home/.local/share" "XDG_CACHE_HOME=$startup_home/.cache"
        "XDG_RUNTIME_DIR=$startup_home/run" "QT_QPA_PLATFORM=xcb" "WAYLAND_DISPLAY=")
    # No splash window and no first-run dialogs: the figure is the way to the panels.
    env "${startup_env[@]}" "$KS_BIN/ksable-probe" reg set 'Software\delta9\[sable!]\graphics' \
        GraphicsShowSplashScreen 0 >/dev/null
    env "${startup_env[@]}" "$KS_BIN/ksable-probe" reg set 'Software\delta9\[sable!]\m_settings' \
        first_run 0 >/dev/null

    # Xvfb writes its display number to descriptor 3 once it accepts clients.
    startup_display_file="$KS_BENCH_DIR/startup-display"
    : >"$startup_display_file"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 -br -noreset 3>"$startup_display_file" \
        >/dev/null 2>&1 &
    startup_xvfb=$!
    for ((startup_i = 0; startup_i < 100; startup_i++)); do
        [ -s "$startup_display_file" ] && break
        sleep 0.1
    done
    startup_display=":$(head -n 1 "$startup_display_file")"
    if [ "$startup_display" = ":" ]; then
        echo "start-up: Xvfb did not start, skipped"
    else
        measure "start-up to both panels painted vs minimal Qt window" 21 \
            'env "${startup_env[@]}" DISPLAY="$startup_display" KSABLE_QUIT_AFTER_PAINT=1 timeout 60 "$KS_BIN/ksable"' \
            'env "${startup_env[@]}" DISPLAY="$startup_display" timeout 60 "$KS_BIN/ks_minimal_window"'
    fi
    kill "$startup_xvfb" 2>/dev/null || true
    wait "$startup_xvfb" 2>/dev/null || true
fi
