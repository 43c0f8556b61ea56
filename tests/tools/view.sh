#!/bin/sh
# Runs `oxsg view` on a virtual X server with a script and compares the screenshots it takes
# with the reference images (as the reference-image tests do; OXSG_UPDATE_GOLDEN=1 makes
# them the references). Exits 77, which CTest reports as skipped, with the reason when the
# machine has no Xvfb or the server's OpenGL cannot open a window.
#
# usage: view.sh OXSG WORKDIR SCRIPT [SHOT=REFERENCE.png ...] -- VIEW-ARGUMENTS...
# With VIEW_EXPECT set, the viewer's output must also hold a line matching it (grep).
set -u
oxsg=$1 work=$2 script=$3
shift 3
pairs=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do pairs="$pairs $1"; shift; done
[ $# -gt 0 ] && shift

command -v Xvfb >/dev/null 2>&1 || { echo "skipped: no Xvfb on this machine (Debian package xvfb)"; exit 77; }
mkdir -p "$work" && cd "$work" || exit 1
rm -f displayfd
# Xvfb chooses a free display and writes its number to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>displayfd 2>xvfb.log &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null' EXIT
for i in $(seq 100); do [ -s displayfd ] && break; sleep 0.1; done
[ -s displayfd ] || { echo "skipped: Xvfb did not start: $(tail -n 1 xvfb.log)"; exit 77; }
export DISPLAY=":$(head -n 1 displayfd)"
export LIBGL_ALWAYS_SOFTWARE=1
# Under LeakSanitizer: the window system's GL driver is loaded and unloaded by the GL
# dispatch library, and what it keeps cannot be told from a leak of ours once it is gone.
# The viewer's own objects are checked for leaks by the viewer tests without a window.
if [ -n "${ASAN_OPTIONS:-}" ]; then export ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0"; fi

"$oxsg" view --script "$script" "$@" >view.out 2>view.err
status=$?
cat view.out
if [ $status -eq 3 ]; then
    echo "skipped: $(cat view.err)"
    exit 77
fi
[ $status -eq 0 ] || { cat view.err; echo "oxsg view exited with $status"; exit 1; }
if [ -n "${VIEW_EXPECT:-}" ] && ! grep -q "$VIEW_EXPECT" view.out; then
    echo "nothing in the output matches '$VIEW_EXPECT'"
    exit 1
fi

failed=0
for pair in $pairs; do
    shot=${pair%%=*} reference=${pair#*=}
    case "$reference" in
    */tests/data/*) if [ -n "${OXSG_UPDATE_GOLDEN:-}" ]; then
                        cp "$shot" "$reference" && echo "updated $reference"
                        continue
                    fi ;;
    esac
    printf '%s against %s: ' "$shot" "$reference"
    "$oxsg" compare "$shot" "$reference" || failed=1
done
exit $failed
