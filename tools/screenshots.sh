#!/bin/sh
# Takes the screenshots of the README under a virtual X display (Xvfb, openbox, xdotool and
# ImageMagick's import): the main window on the samples, and the network drawing of the sample
# network after a run of the engine. Anyone can rerun it after a build:
#   tools/screenshots.sh [BUILD_DIR [OUTPUT_DIR]]     (default: build docs/screenshots)
# The display number is SCREENSHOT_DISPLAY (default :91). The samples are copied to a temporary
# folder first, so the run leaves nothing in samples/; the stored window geometry is a fresh one.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/docs/screenshots}
display=${SCREENSHOT_DISPLAY:-:91}
for tool in Xvfb openbox xdotool import; do
    command -v $tool >/dev/null || { echo "screenshots.sh needs $tool"; exit 1; }
done
mkdir -p "$out"
work=$(mktemp -d)
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

cp "$root"/samples/*.iob "$root"/samples/*.cfg "$work/"
"$build/tavlo-engine" process "$work/reseau.iob" "$work/reseau.cfg" >/dev/null

Xvfb "$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
pids="$pids $!"
sleep 1
export DISPLAY="$display" HOME="$work/home" XDG_CONFIG_HOME="$work/config" LANG=C.UTF-8
openbox >/dev/null 2>&1 &
pids="$pids $!"
sleep 1

TAVLO_ENGINE="$build/libtavlo.so" "$build/tavlo" "$work/reseau.iob" "$work/reseau.cfg" \
    >/dev/null 2>&1 &
pids="$pids $!"
main=$(xdotool search --sync --onlyvisible --name '^Tavlo$' | head -n 1)
sleep 2
# The splash screen stays in front of the main window until it is clicked.
xdotool mousemove 640 430 click 1
sleep 0.5
xdotool windowmove "$main" 0 0 windowsize "$main" 1100 720
sleep 0.5
# The observation file in front, its cursor on its first record of a station.
xdotool windowactivate --sync "$main" key ctrl+Tab
sleep 1
import -window "$main" "$out/fenetre-principale.png"

# "Afficher le réseau" of the "Outils" menu, reached from the keyboard.
xdotool key --delay 150 alt Right Right Right Right Down Up Return
drawing=$(xdotool search --sync --onlyvisible --name '^Dessin' | head -n 1)
sleep 1
xdotool windowmove "$drawing" 60 40 windowsize "$drawing" 900 700
sleep 1.5
import -window "$drawing" "$out/dessin-reseau.png"
echo "screenshots written to $out"
