# shellcheck shell=bash
# Helpers shared by the scripts in this directory and by tests/e2e.
# Sourced, never run. Callers use `set -euo pipefail`.

WTS_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WTS_PREFIX=$WTS_REPO/build/wineprefix
# Where the system's files are looked for: the test of scripts/deps sets it to a made-up machine.
WTS_ROOT=${WTS_ROOT:-}
WTS_WINE64=$WTS_ROOT/usr/lib/wine/wine64
WTS_WINE32=$WTS_ROOT/usr/lib/wine/wine
# The 64-bit server serves 32-bit programs too; the 32-bit one would run under emulation.
WTS_WINESERVER=$WTS_ROOT/usr/lib/wine/wineserver64

# Points Wine at the project's prefix, quietly, with no Mono or Gecko prompts.
wts_wine_env() {
    export WINEPREFIX=$WTS_PREFIX WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES='mscoree,mshtml='
}

# Succeeds silently when Wine for the given arch (win64|win32) can run here;
# otherwise prints why not and fails.
wts_wine_ready() {
    case $1 in
        win64)
            [[ -x $WTS_WINE64 && -x $WTS_WINESERVER ]] ||
                { echo "wine64 is not installed (run scripts/deps)"; return 1; } ;;
        win32)
            # Under qemu, 32-bit Wine maps its fixed addresses only with the preloader.
            [[ -x $WTS_WINE32 && -e $WTS_ROOT/usr/lib/wine/wine-preloader ]] ||
                { echo "wine32:i386 or wine32-preloader:i386 is not installed (run scripts/deps)"; return 1; }
            # The 32-bit loader is itself a 32-bit Linux program, which this kernel may run only
            # through a qemu-i386 binfmt handler.
            timeout 60 "$WTS_WINE32" --version >/dev/null 2>&1 || {
                echo "this system cannot execute 32-bit Linux programs (no qemu-i386 binfmt handler; run scripts/deps as root)"
                return 1
            } ;;
        *) echo "unknown Wine arch '$1' (expected win64 or win32)"; return 1 ;;
    esac
}

# Without a display, runs the calling script again on a private virtual display, which goes when
# the script ends; wts_private_display then tells the script that the display is its own.
#   wts_need_display "$@"    (before any cd)
wts_need_display() {
    [[ -n ${DISPLAY:-} ]] ||
        exec env WTS_DISPLAY_OF="${0##*/}" xvfb-run -a -s '-screen 0 2560x1600x24 -nolisten tcp' bash "$0" "$@"
}
wts_private_display() { [[ ${WTS_DISPLAY_OF:-} == "${0##*/}" ]]; }
# The same, even on a display: for scripts that find windows by caption or photograph the screen.
wts_own_display() { wts_private_display || DISPLAY='' wts_need_display "$@"; }

# Ends every Wine process of the project's prefix.
wts_wine_kill() {
    if [[ -x $WTS_WINESERVER && -d $WTS_PREFIX ]]; then
        WINEPREFIX=$WTS_PREFIX timeout -k 5 30 "$WTS_WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    fi
}

# Runs a Wine command for at most the given seconds (0: no limit), so that a wedged Wine fails
# with a message instead of hanging its caller. Its output is appended to OUTPUT (/dev/null drops
# it; - leaves it where the caller's goes). Past the limit it says what timed out on the caller's
# error output, ends every Wine process of the prefix, the server included, and fails with 124.
#   wts_wine_timed SECONDS WHAT OUTPUT COMMAND [ARGS...]
wts_wine_timed() {
    local limit=$1 what=$2 output=$3 start=$SECONDS rc=0
    shift 3
    # In the foreground, so that Ctrl+C still reaches the command; the rest of Wine goes with the
    # server below.
    if [[ $output == - ]]; then
        timeout --foreground -k 10 "$limit" "$@" </dev/null || rc=$?
    else
        timeout --foreground -k 10 "$limit" "$@" </dev/null >>"$output" 2>&1 || rc=$?
    fi
    if (( (rc == 124 || rc == 137) && limit > 0 && SECONDS - start >= limit )); then
        echo "${0##*/}: timed out after $limit s: $what; ending the Wine processes of $WTS_PREFIX" >&2
        wts_wine_kill
        return 124
    fi
    return "$rc"
}
