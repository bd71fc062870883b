#!/usr/bin/env bash
# End-to-end check of the main window: starts the real wtsscope.exe under Wine through
# wtsscope-probe, which checks the controls of "Form1" and holds the window open while
# this script saves a screenshot of it.
#
#   form1.sh --arch win64|win32 --app wtsscope.exe --label TEXT --screenshot out.png \
#            --probe ARCH=probe.exe [--probe ARCH=probe.exe ...]
#
# The first listed probe that exists is used: a 64-bit probe can inspect a 32-bit
# program, which spares a second slow start under emulation.
# Exit code: the probe's; 1 if no screenshot was saved; 77 if this Wine cannot run here.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

arguments=("$@")
arch='' app='' label=15 shot='' probes=() timeout=150
while (( $# )); do
    case $1 in
        --arch) arch=$2 ;;
        --app) app=$2 ;;
        --label) label=$2 ;;
        --screenshot) shot=$2 ;;
        --probe) probes+=("$2") ;;
        --timeout) timeout=$2 ;;
        *) echo "form1.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
[[ -n $arch && -n $app && -n $shot && ${#probes[@]} -gt 0 ]] || { echo "form1.sh: missing arguments" >&2; exit 2; }

wine_exec=$WTS_REPO/scripts/wine-exec
"$wine_exec" "$arch" --check || exit $?
wts_need_display "${arguments[@]}"

probe='' probe_arch=''
for entry in "${probes[@]}"; do
    if [[ -f ${entry#*=} ]]; then
        probe_arch=${entry%%=*} probe=${entry#*=}
        break
    fi
done
[[ -n $probe ]] || { echo "form1.sh: no probe built: ${probes[*]}" >&2; exit 1; }

# shellcheck disable=SC2317  # called by the trap
cleanup() {
    if [[ -n ${probe_pid:-} ]] && kill -0 "$probe_pid" 2>/dev/null; then
        kill "$probe_pid" 2>/dev/null || true
        wts_wine_kill
    fi
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

mkdir -p "$(dirname "$shot")"
rm -f "$shot"
echo "probe: $probe_arch $probe, display $DISPLAY"

# wine-exec ends the probe's Wine if it outlives its own time-out well.
WTSSCOPE_WINE_TIMEOUT=${WTSSCOPE_WINE_TIMEOUT:-$((timeout * 3))} \
    "$wine_exec" "$probe_arch" "$probe" --label "$label" --timeout "$timeout" --pause 10 "$app" &
probe_pid=$!

# Wait for the window, give it a moment to paint, then photograph it.
window=
for _ in $(seq $((timeout * 2))); do
    window=$(xdotool search --onlyvisible --name '^Form1$' 2>/dev/null | head -n1 || true)
    [[ -n $window ]] && break
    kill -0 "$probe_pid" 2>/dev/null || break
    sleep 0.5
done
if [[ -n $window ]]; then
    sleep 2
    import -window "$window" "$shot" 2>/dev/null || import -window root "$shot" || true
fi

rc=0
wait "$probe_pid" || rc=$?
probe_pid=
if [[ -s $shot ]]; then
    echo "screenshot: $shot"
else
    echo "FAIL: no screenshot of \"Form1\" was saved"
    (( rc )) || rc=1
fi
exit "$rc"
