#!/usr/bin/env bash
# Makes the README's picture: kSable on a private Xvfb display showing a small made-up home
# folder (three files marked) beside a project folder.
#
#   tests/e2e/readme-shot.sh BUILD_DIR OUT.png
#
# Needs Xvfb, xdotool and the build's ksable, ksable-probe and ks-e2e-shot.
set -euo pipefail
bin=$(cd "$1" && pwd)/bin
out=$2
top=$(cd "$(dirname "$0")/../.." && pwd)
# The panels show their paths, so the made-up home has a plain one; it must not exist yet.
shown=/tmp/home
if [ -e "$shown" ]; then
    echo "readme-shot: $shown exists; move it away first" >&2
    exit 1
fi
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work" "$shown"
}
trap cleanup EXIT

home="$shown/alex"
mkdir -p "$home"/{Desktop,Documents,Downloads,Music,Pictures,Videos,.config,.cache,.local/share}
project="$home/Projects/ksable"
mkdir -p "$project"/{bench,data,docs,fuzz,scripts,src,tests,tools} "$work/run"
chmod 700 "$work/run"
cp "$top/README.md" "$top/CMakeLists.txt" "$top/.clang-format" "$project/"
make_file() { head -c "$2" /dev/zero >"$home/$1"; }
make_file notes.txt 1830
make_file budget-2024.ods 48213
make_file holiday.jpg 2411520
make_file ksable-0.1.tar.gz 18874368
make_file todo.md 734
make_file report.pdf 391200
make_file .bashrc 220
make_file setup.sh 4096
chmod +x "$home/setup.sh"

export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb WAYLAND_DISPLAY=
key='Software\delta9\[sable!]'
"$bin/ksable-probe" reg set "$key\\graphics" GraphicsShowSplashScreen 0 >/dev/null
"$bin/ksable-probe" reg set "$key\\m_settings" first_run 0 >/dev/null
"$bin/ksable-probe" reg set "$key\\m_lpanel" ppath "$home/" >/dev/null
"$bin/ksable-probe" reg set "$key\\m_rpanel" ppath "$project/" >/dev/null

# Bounded wait: up to 10 s.
wait_for() {
    local i
    for ((i = 0; i < 100; i++)); do
        if eval "$1"; then return 0; fi
        sleep 0.1
    done
    echo "readme-shot: timed out waiting for: $1" >&2
    return 1
}

: >"$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 -br -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for '[ -s "$work/display" ]'
export DISPLAY=":$(head -n 1 "$work/display")"

state="$work/state.json"
KSABLE_STATE_FILE="$state" "$bin/ksable" >"$work/ksable.log" 2>&1 &
pids+=($!)
wait_for 'grep -q "\"Ready\":true" "$state" 2>/dev/null'
win=$(grep -o '"WinId":[0-9]*' "$state" | cut -d: -f2)
# The main window's own values: the nested objects (panels, buttons) are taken out first.
geometry() { sed -E 's/"[A-Za-z]+":\{[^{}]*\}//g' "$state" | grep -o "\"$1\":[0-9-]*" | cut -d: -f2; }
xdotool windowfocus --sync "$win"
# .bashrc, budget-2024.ods and the archive marked; the cursor on notes.txt.
xdotool key --delay 30 Home $(printf 'Down %.0s' $(seq 12)) Insert Insert Down Insert
wait_for 'grep -q "\"CursorName\":\"notes.txt\"" "$state"'
"$bin/ks-e2e-shot" "$out" "$(geometry X)" "$(geometry Y)" "$(geometry Width)" "$(geometry Height)"
echo "readme-shot: wrote $out"
