# shellcheck shell=bash
# Wine harness: run the Windows build on Linux, in a Wine virtual desktop on
# its own Xvfb display, and drive and inspect it from bash.
#
# Source it, then:
#
#   ks_harness_start [--size WxH] [--dpi 96|144] [--name NAME] [--display current]
#                    [--sound]
#       Starts Xvfb (a free display, 24-bit, at DPI), a private Wine prefix
#       for this session and a virtual desktop NAME of WxH. Installs an EXIT
#       trap that calls ks_harness_stop. --sound also starts a private
#       PulseAudio server whose only device is a null sink, "Null Output":
#       Wine plays to it, and records what it plays from its monitor ("Monitor
#       of Null Output", the default capture device). KS_PULSE_SINK names the
#       sink for pactl (PULSE_SERVER is exported).
#   ks_wine_run [--timeout S] [--cwd DIR] EXE [ARGS...]
#       Runs EXE in the desktop, waits, returns its exit code (124: timed out).
#       EXE is a Unix path, or a Windows network path (\\server\share\x.exe).
#   ks_wine_start [--timeout S] [--cwd DIR] EXE [ARGS...]; ks_wine_wait [JOB]
#       The same in two steps; ks_wine_start sets KS_WINE_JOB.
#   ks_wine_close TITLE            post WM_CLOSE to the windows titled TITLE
#   ks_wait_window [--timeout S] [--class] [--any] REGEX
#                                  print the X window ids that match, polling
#   ks_wait_window_gone [--timeout S] [--class] REGEX
#   ks_window_geometry WID         print "X Y WIDTH HEIGHT" (absolute)
#   ks_close_window WID            Alt+F4 through real input (XTEST)
#   ks_screenshot FILE [WID]       PNG of the screen, or of one window
#   ks_wine_set_dpi DPI            HKCU\Control Panel\Desktop LogPixels
#   ks_wine_pids                   pids of this session's Wine processes
#   ks_harness_stop                kill what the session started; idempotent
#
# Every Wine command runs with WINEDEBUG=-all, WINEDLLOVERRIDES="mscoree,mshtml="
# (no Mono/Gecko prompts) and a timeout. The template prefix under
# build/wine/template is created once with `wineboot -i` and reused; each
# session works on a hard-linked clone of it, so sessions never share a
# wineserver, registry or DPI, and `wineserver -k` only ends our own.
#
# Tunables (environment): KS_WINE_TIMEOUT (default per-program timeout, 600 s),
# KS_SESSION_TIMEOUT (life of the desktop, 7200 s), KS_KEEP_SESSION=1 (keep
# the session folder for inspection), KS_HARNESS_VERBOSE=1.

if [[ -n "${KS_HARNESS_LOADED:-}" ]]; then
    return 0
fi
KS_HARNESS_LOADED=1

KS_ROOT="${KS_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
KS_BUILD="${KS_BUILD:-$KS_ROOT/build}"
KS_WINE_DIR="${KS_WINE_DIR:-$KS_BUILD/wine}"

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine maps file names and arguments through the Unix locale: make it UTF-8 so
# that any characters survive.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
    *UTF-8* | *utf8* | *UTF8* | *utf-8*) ;;
    *) export LC_ALL=C.UTF-8 ;;
esac

KS__STARTED=""
KS__JOBS=0
declare -gA KS__JOB_STARTER=() KS__JOB_DEADLINE=()

ks_log() { printf 'wine-harness: %s\n' "$*" >&2; }
ks__debug() { [[ -z "${KS_HARNESS_VERBOSE:-}" ]] || ks_log "$@"; }
ks__now_ms() { echo $(($(date +%s%N) / 1000000)); }
ks__seconds_since() { # MS_START -> "S.S"
    local ms=$(($(ks__now_ms) - $1))
    printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}

# Windows path of a Unix path, through drive Z: (which maps to /).
ks_winpath() {
    local p
    p="$(realpath -m -- "$1")"
    printf 'Z:%s' "${p//\//\\}"
}

# ---------------------------------------------------------------------------
# Template prefix and the launcher

ks__template_stamp() {
    printf '%s|fonts:%s|v5' "$(wine --version 2>/dev/null)" \
        "$(find /usr/share/wine/fonts -type f -printf '%f %s\n' 2>/dev/null | sort | md5sum | cut -c1-12)"
}

# Ensures build/wine/template exists; prints its path. Concurrent callers
# wait on a lock, so the prefix is initialised once.
ks_wine_template() {
    local tpl="$KS_WINE_DIR/template" stamp lockfd rc=0
    mkdir -p "$KS_WINE_DIR"
    stamp="$(ks__template_stamp)"
    exec {lockfd}>"$KS_WINE_DIR/template.lock"
    if ! flock -w 900 "$lockfd"; then
        ks_log "timed out waiting for another run to create $tpl"
        exec {lockfd}>&-
        return 1
    fi
    if [[ -f "$tpl/.ks-ready" && "$(cat "$tpl/.ks-ready")" == "$stamp" ]]; then
        exec {lockfd}>&-
        printf '%s\n' "$tpl"
        return 0
    fi
    ks__create_template "$tpl" "$stamp" || rc=$?
    exec {lockfd}>&-
    [[ $rc -eq 0 ]] && printf '%s\n' "$tpl"
    return "$rc"
}

ks__create_template() {
    local tpl="$1" stamp="$2" new="$1.new" t0 t1 boot_s stop_s rc=0
    rm -rf "$tpl" "$new"
    ks_log "creating Wine prefix $tpl (once; later runs reuse it)"
    t0=$(ks__now_ms)
    # No display: the first boot then shows no dialogs anywhere.
    (unset DISPLAY; export WINEPREFIX="$new"; exec timeout -k 10 600 wineboot -i) \
        >"$KS_WINE_DIR/template-init.log" 2>&1 || rc=$?
    boot_s=$(ks__seconds_since "$t0")
    # Report Windows 10, the system the program targets. A crash prints a
    # backtrace and ends the program instead of waiting for someone to close
    # Wine's "Program Error" dialog.
    if [[ $rc -eq 0 ]]; then
        (unset DISPLAY; export WINEPREFIX="$new"
         timeout -k 5 60 wine winecfg /v win10 &&
         exec timeout -k 5 60 wine reg add 'HKCU\Software\Wine\WineDbg' \
             /v ShowCrashDialog /t REG_DWORD /d 0 /f) \
            >>"$KS_WINE_DIR/template-init.log" 2>&1 || rc=$?
    fi
    # Waiting for the services of the first boot to wind down takes 5 to 20
    # seconds; ending them is quick, and the server saves the registry as it
    # goes.
    t1=$(ks__now_ms)
    (export WINEPREFIX="$new"
     timeout -k 5 60 wineboot -s || true
     timeout -k 5 60 wineserver -k || true) >>"$KS_WINE_DIR/template-init.log" 2>&1
    local deadline=$(($(ks__now_ms) + 20000))
    while [[ -n "$(ks__prefix_pids "$new")" ]] && (($(ks__now_ms) < deadline)); do
        sleep 0.1
    done
    stop_s=$(ks__seconds_since "$t1")
    if [[ $rc -ne 0 || ! -f "$new/system.reg" ]]; then
        ks_log "wineboot -i failed (exit $rc); see $KS_WINE_DIR/template-init.log"
        return 1
    fi
    # Wine 8 as packaged by Debian looks for its own fonts (Tahoma, Marlett
    # for the caption buttons, ...) only in C:\windows\Fonts.
    cp -f /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$new/drive_c/windows/Fonts/" 2>/dev/null ||
        ks_log "warning: no Wine fonts found in /usr/share/wine/fonts (install fonts-wine)"
    mkdir -p "$new/drive_c/ks"
    printf 'wineboot -i %s s, server shutdown %s s, total %s s\n' "$boot_s" "$stop_s" \
        "$(ks__seconds_since "$t0")" >"$new/.ks-init-seconds"
    printf '%s\n' "$stamp" >"$new/.ks-ready"
    mv "$new" "$tpl"
    ks_log "prefix ready: $(cat "$tpl/.ks-init-seconds")"
}

# Builds the launcher once (and again when its source changes).
ks__launcher() {
    local src="$KS_ROOT/scripts/wine/ks_launch.cpp" out="$KS_WINE_DIR/ks_launch.exe" cxx
    if [[ -f "$out" && "$out" -nt "$src" ]]; then
        printf '%s\n' "$out"
        return 0
    fi
    cxx="$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)"
    if [[ -z "$cxx" ]]; then
        ks_log "no MinGW-w64 compiler to build the launcher (run scripts/deps)"
        return 1
    fi
    mkdir -p "$KS_WINE_DIR"
    "$cxx" -std=c++20 -O2 -Wall -Wextra -municode -static -o "$out.tmp.$$" "$src" || return 1
    mv -f "$out.tmp.$$" "$out"
    printf '%s\n' "$out"
}

# A session prefix: hard links for the large files Wine only reads (DLLs,
# fonts, NLS tables), real copies for the ones it may rewrite in place.
ks__clone_prefix() {
    local src="$1" dst="$2"
    cp -al "$src" "$dst" || return 1
    local f
    while IFS= read -r -d '' f; do
        cp -p --remove-destination "$src/${f#"$dst"/}" "$f" || return 1
    done < <(find "$dst" -type f ! -iregex \
        '.*\.\(dll\|exe\|nls\|fon\|ttf\|sys\|drv\|ocx\|cpl\|acm\|tlb\|ds\|ax\|com\|msstyles\|icm\|manifest\)' -print0)
}

# Sessions whose owner died without cleaning up (SIGKILL, machine reset):
# end their Wine processes and remove them.
ks__reap_stale_sessions() {
    local dir owner pid
    for dir in "$KS_WINE_DIR"/sessions/*/; do
        [[ -d "$dir" ]] || continue
        dir="${dir%/}"
        owner="$(cat "$dir/owner" 2>/dev/null || true)"
        if [[ -n "$owner" ]] && kill -0 "$owner" 2>/dev/null; then
            continue
        fi
        for pid in $(ks__prefix_pids "$dir/prefix"); do
            kill -KILL "$pid" 2>/dev/null || true
        done
        pid="$(cat "$dir/pulse-run/pulse/pid" 2>/dev/null || true)"
        if [[ "$pid" =~ ^[0-9]+$ && "$(cat "/proc/$pid/comm" 2>/dev/null)" == pulseaudio ]]; then
            kill -KILL "$pid" 2>/dev/null || true
        fi
        rm -rf "$dir"
    done
}

# ---------------------------------------------------------------------------
# Processes

# Pids of processes whose environment has WINEPREFIX=PREFIX exactly: the
# wineserver, the desktop and every program of that prefix.
ks__prefix_pids() {
    local want="WINEPREFIX=$1" f pid entry
    local -a env
    for f in /proc/[0-9]*/environ; do
        pid="${f#/proc/}"
        pid="${pid%/environ}"
        [[ "$pid" == "$$" || "$pid" == "$BASHPID" ]] && continue
        # Read with a builtin: a helper process would carry WINEPREFIX itself.
        { mapfile -d '' env <"$f"; } 2>/dev/null || continue
        for entry in "${env[@]}"; do
            if [[ "$entry" == "$want" ]]; then
                printf '%s\n' "$pid"
                break
            fi
        done
    done
}

ks_wine_pids() {
    [[ -n "${KS_SESSION_DIR:-}" ]] || return 0
    ks__prefix_pids "$WINEPREFIX"
}

ks__wait_pid_gone() { # PID SECONDS
    local deadline=$(($(ks__now_ms) + $2 * 1000))
    while kill -0 "$1" 2>/dev/null; do
        (($(ks__now_ms) > deadline)) && return 1
        sleep 0.1
    done
}

# Ends every Wine process of this session: wineserver -k for our prefix, then
# by pid whatever is still there.
ks__kill_wine() {
    [[ -n "${KS_SESSION_DIR:-}" ]] || return 0
    timeout -k 2 20 wineserver -k >/dev/null 2>&1 || true
    local deadline=$(($(ks__now_ms) + 10000)) pids
    while :; do
        pids="$(ks_wine_pids)"
        [[ -z "$pids" ]] && return 0
        (($(ks__now_ms) > deadline)) && break
        sleep 0.2
    done
    ks_log "killing leftover Wine processes: ${pids//$'\n'/ }"
    local pid
    for pid in $pids; do
        kill -KILL "$pid" 2>/dev/null || true
    done
}

# ---------------------------------------------------------------------------
# Session

ks__start_xvfb() { # SIZE DPI
    local fifo="$KS_SESSION_DIR/displayfd" num="" deadline
    mkfifo "$fifo"
    # -displayfd: Xvfb picks a free display itself and reports it when ready,
    # so parallel runs never race for a number.
    Xvfb -displayfd 9 -screen 0 "${1}x24" -dpi "$2" -nolisten tcp -noreset \
        9>"$fifo" >"$KS_SESSION_DIR/xvfb.log" 2>&1 &
    KS_XVFB_PID=$!
    exec {KS__FIFO_FD}<"$fifo"
    read -r -t 30 -u "$KS__FIFO_FD" num || true
    exec {KS__FIFO_FD}<&-
    rm -f "$fifo"
    if [[ -z "$num" ]]; then
        ks_log "Xvfb did not start; see $KS_SESSION_DIR/xvfb.log"
        return 1
    fi
    export DISPLAY=":$num"
    deadline=$(($(ks__now_ms) + 10000))
    until xdpyinfo >/dev/null 2>&1; do
        (($(ks__now_ms) > deadline)) && { ks_log "display $DISPLAY does not answer"; return 1; }
        sleep 0.1
    done
    ks__debug "Xvfb pid $KS_XVFB_PID on $DISPLAY (${1}, ${2} dpi)"
}

# A PulseAudio server of the session's own: its runtime folder, socket and
# configuration under the session folder, no other modules (no hardware, no
# D-Bus), so parallel sessions never hear each other.
ks__start_pulse() {
    local run="$KS_SESSION_DIR/pulse-run" deadline
    if ! command -v pulseaudio >/dev/null || ! command -v pactl >/dev/null; then
        ks_log "no pulseaudio/pactl for --sound (run scripts/deps)"
        return 1
    fi
    mkdir -p "$run" "$KS_SESSION_DIR/pulse-home"
    chmod 700 "$run"
    KS_PULSE_SINK=ks_null
    # -D returns once the server has forked and is ready, or has failed.
    if ! (export XDG_RUNTIME_DIR="$run" HOME="$KS_SESSION_DIR/pulse-home"
          unset PULSE_SERVER
          exec timeout -k 5 30 pulseaudio -D --exit-idle-time=-1 -n --disallow-exit \
              --log-target="file:$KS_SESSION_DIR/pulse.log" \
              --load="module-null-sink sink_name=$KS_PULSE_SINK rate=48000 channels=2" \
              --load="module-native-protocol-unix auth-anonymous=1") >>"$KS_SESSION_DIR/pulse.log" 2>&1; then
        ks_log "PulseAudio did not start; see $KS_SESSION_DIR/pulse.log"
        return 1
    fi
    KS_PULSE_PID="$(cat "$run/pulse/pid" 2>/dev/null || true)"
    if [[ ! "$KS_PULSE_PID" =~ ^[0-9]+$ ]]; then
        ks_log "PulseAudio left no pid file in $run/pulse"
        return 1
    fi
    export PULSE_SERVER="unix:$run/pulse/native"
    deadline=$(($(ks__now_ms) + 10000))
    until timeout -k 2 5 pactl info >/dev/null 2>&1; do
        (($(ks__now_ms) > deadline)) && { ks_log "PulseAudio does not answer on $PULSE_SERVER"; return 1; }
        sleep 0.1
    done
    timeout -k 2 5 pactl set-default-sink "$KS_PULSE_SINK" &&
        timeout -k 2 5 pactl set-default-source "$KS_PULSE_SINK.monitor" ||
        { ks_log "cannot make $KS_PULSE_SINK the default device"; return 1; }
    ks__debug "PulseAudio pid $KS_PULSE_PID on $PULSE_SERVER"
}

ks__stop_pulse() {
    [[ -n "${KS_PULSE_PID:-}" ]] || return 0
    kill -TERM "$KS_PULSE_PID" 2>/dev/null || true
    ks__wait_pid_gone "$KS_PULSE_PID" 5 || kill -KILL "$KS_PULSE_PID" 2>/dev/null || true
    unset PULSE_SERVER
    KS_PULSE_PID="" KS_PULSE_SINK=""
}

ks__install_traps() {
    local old=""
    if [[ -n "$(trap -p EXIT)" ]]; then
        eval "set -- $(trap -p EXIT)"
        old="$3"
    fi
    if [[ "$old" != *ks_harness_stop* ]]; then
        # shellcheck disable=SC2064
        trap "ks_harness_stop${old:+; $old}" EXIT
    fi
    trap 'ks_harness_stop; exit 130' INT
    trap 'ks_harness_stop; exit 143' TERM
    trap 'ks_harness_stop; exit 129' HUP
}

ks_harness_start() {
    local size="1280x1024" dpi="" name="ks" use_current="" sound=""
    while [[ $# -gt 0 ]]; do
        case "$1" in
            --sound) sound=1; shift ;;
            --size) size="$2"; shift 2 ;;
            --dpi) dpi="$2"; shift 2 ;;
            --name) name="$2"; shift 2 ;;
            --display) [[ "$2" == current ]] && use_current=1; shift 2 ;;
            *) ks_log "ks_harness_start: unknown option $1"; return 2 ;;
        esac
    done
    if [[ -n "$KS__STARTED" ]]; then
        ks_log "ks_harness_start: a session is already running"
        return 1
    fi
    if [[ ! "$size" =~ ^[0-9]+x[0-9]+$ ]]; then
        ks_log "ks_harness_start: bad size '$size' (want WxH)"
        return 2
    fi
    if [[ ! "$name" =~ ^[A-Za-z0-9_-]+$ ]]; then
        ks_log "ks_harness_start: bad name '$name' (letters, digits, - and _)"
        return 2
    fi
    KS__STARTED=1
    ks__install_traps
    local rc=0
    ks__start_session "$size" "$dpi" "$name" "$use_current" "$sound" || rc=$?
    if [[ $rc -ne 0 ]]; then
        ks_harness_stop
        return "$rc"
    fi
}

ks__start_session() { # SIZE DPI NAME USE_CURRENT_DISPLAY SOUND
    local size="$1" dpi="$2" name="$3" use_current="$4" sound="$5" tpl launcher t0
    t0=$(ks__now_ms)
    tpl="$(ks_wine_template)" || return 1
    launcher="$(ks__launcher)" || return 1
    mkdir -p "$KS_WINE_DIR/sessions"
    ks__reap_stale_sessions
    KS_SESSION_DIR="$(mktemp -d "$KS_WINE_DIR/sessions/$name.XXXXXX")"
    echo "$BASHPID" >"$KS_SESSION_DIR/owner"
    ks__clone_prefix "$tpl" "$KS_SESSION_DIR/prefix" || { ks_log "cannot clone $tpl"; return 1; }
    cp -f "$launcher" "$KS_SESSION_DIR/prefix/drive_c/ks/ks_launch.exe"

    if [[ -n "$use_current" ]]; then
        if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
            ks_log "no usable DISPLAY"
            return 1
        fi
    else
        # Started before WINEPREFIX is exported: the X server is not one of
        # the prefix's processes.
        ks__start_xvfb "$size" "${dpi:-96}" || return 1
    fi
    # Before any Wine process: each one finds the server through PULSE_SERVER.
    if [[ -n "$sound" ]]; then
        ks__start_pulse || return 1
    fi
    export WINEPREFIX="$KS_SESSION_DIR/prefix"
    if [[ -n "$dpi" ]]; then
        ks_wine_set_dpi "$dpi" || return 1
    fi

    KS_DESKTOP_NAME="$name"
    KS_DESKTOP_SIZE="$size"
    # One long-lived desktop per session: programs started later join it, so
    # there is no race with a desktop that is still closing from a last run.
    # Wine closes a desktop about a second after its last program ends: the
    # launcher stays on it (--keep) until the session ends.
    (cd "$KS_SESSION_DIR" && exec timeout -k 5 "${KS_SESSION_TIMEOUT:-7200}" \
        wine explorer "/desktop=$name,$size" 'C:\ks\ks_launch.exe' --keep) >"$KS_SESSION_DIR/desktop.log" 2>&1 &
    KS_DESKTOP_PID=$!
    if ! ks_wait_window --timeout 90 --any "^$(ks__regex_quote "$name") - Wine desktop\$" >/dev/null; then
        ks_log "the Wine desktop did not appear; see $KS_SESSION_DIR/desktop.log"
        return 1
    fi
    ks__debug "session ready in $(ks__seconds_since "$t0") s: $KS_SESSION_DIR"
}

ks_harness_stop() {
    [[ -n "${KS__STARTED:-}" ]] || return 0
    local pid
    for pid in "${KS__JOB_STARTER[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    ks__kill_wine
    if [[ -n "${KS_DESKTOP_PID:-}" ]]; then
        kill -TERM "$KS_DESKTOP_PID" 2>/dev/null || true
        ks__wait_pid_gone "$KS_DESKTOP_PID" 5 || kill -KILL "$KS_DESKTOP_PID" 2>/dev/null || true
        wait "$KS_DESKTOP_PID" 2>/dev/null || true
    fi
    for pid in "${KS__JOB_STARTER[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    ks__stop_pulse
    if [[ -n "${KS_XVFB_PID:-}" ]]; then
        kill -TERM "$KS_XVFB_PID" 2>/dev/null || true
        ks__wait_pid_gone "$KS_XVFB_PID" 5 || kill -KILL "$KS_XVFB_PID" 2>/dev/null || true
        wait "$KS_XVFB_PID" 2>/dev/null || true
        unset DISPLAY
    fi
    if [[ -n "${KS_SESSION_DIR:-}" ]]; then
        if [[ -n "${KS_KEEP_SESSION:-}" ]]; then
            ks_log "session kept: $KS_SESSION_DIR"
        else
            # A test may have mounted a small filesystem in the prefix.
            local mnt
            awk -v d="$KS_SESSION_DIR/" 'index($2, d) == 1 { print $2 }' /proc/mounts 2>/dev/null |
                while read -r mnt; do umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null; done
            rm -rf "$KS_SESSION_DIR"
        fi
    fi
    unset WINEPREFIX
    KS_SESSION_DIR="" KS_XVFB_PID="" KS_DESKTOP_PID="" KS__STARTED=""
    KS__JOB_STARTER=() KS__JOB_DEADLINE=()
}

# ---------------------------------------------------------------------------
# Wine settings

ks_wine_set_dpi() {
    local dpi="$1"
    if [[ ! "$dpi" =~ ^[0-9]+$ ]]; then
        ks_log "ks_wine_set_dpi: bad DPI '$dpi'"
        return 2
    fi
    timeout -k 5 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
        /d "$dpi" /f >/dev/null 2>&1 || { ks_log "cannot set LogPixels=$dpi"; return 1; }
}

# ---------------------------------------------------------------------------
# Programs

# The starter (wine explorer on the session's desktop) hands the launcher to
# the desktop and ends within a second, with 0. Now and then Wine's start.exe
# fails to start explorer itself ("ShellExecuteEx failed: Internal error", 1):
# then the launcher never ran, and it is started again, up to three times. A
# starter still running after 30 s is left to run.
ks__launch() { # EXIT_ID CWD ARGS_FOR_LAUNCHER...
    local id="$1" cwd="$2" try pid rc waited
    shift 2
    for try in 1 2 3; do
        (cd "$cwd" && exec timeout -k 5 120 wine explorer "/desktop=$KS_DESKTOP_NAME,$KS_DESKTOP_SIZE" \
            'C:\ks\ks_launch.exe' --exit-file "C:\\ks\\exit-$id" "$@") &
        pid=$!
        KS__JOB_STARTER[$id]=$pid
        for ((waited = 0; waited < 300; waited++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && return 0
        wait "$pid"; rc=$?
        [[ $rc -eq 0 || -f "$WINEPREFIX/drive_c/ks/exit-$id" ]] && return 0
        ks_log "job $id: Wine did not start the launcher (exit code $rc, try $try of 3)"
        sleep 1
    done
    return 1
}

ks_wine_start() {
    local timeout="${KS_WINE_TIMEOUT:-600}" cwd="$PWD"
    while [[ $# -gt 0 ]]; do
        case "$1" in
            --timeout) timeout="$2"; shift 2 ;;
            --cwd) cwd="$2"; shift 2 ;;
            --) shift; break ;;
            *) break ;;
        esac
    done
    if [[ -z "${KS__STARTED:-}" ]]; then
        ks_log "ks_wine_start: call ks_harness_start first"
        return 1
    fi
    if [[ $# -lt 1 || ( ! -f "$1" && "$1" != '\\'* ) ]]; then
        ks_log "ks_wine_start: no such program: ${1:-}"
        return 1
    fi
    local exe="$1"
    [[ "$exe" == '\\'* ]] || exe="$(ks_winpath "$1")"
    shift
    KS__JOBS=$((KS__JOBS + 1))
    KS_WINE_JOB=$KS__JOBS
    rm -f "$WINEPREFIX/drive_c/ks/exit-$KS_WINE_JOB"
    # The launcher enforces the timeout itself; the harness waits 30 s longer
    # before it gives up on the whole session.
    KS__JOB_DEADLINE[$KS_WINE_JOB]=$(($(ks__now_ms) + (timeout + 30) * 1000))
    ks__launch "$KS_WINE_JOB" "$cwd" --timeout-ms "$((timeout * 1000))" "$exe" "$@"
}

# Waits for a job; returns its exit code (0..255; larger Windows codes such as
# crash statuses become 255 and are logged), 124 on timeout, 127 if it could
# not start.
ks_wine_wait() {
    local id="${1:-${KS_WINE_JOB:-}}" file result code
    if [[ -z "$id" || -z "${KS__JOB_DEADLINE[$id]:-}" ]]; then
        ks_log "ks_wine_wait: no such job '${id}'"
        return 1
    fi
    file="$WINEPREFIX/drive_c/ks/exit-$id"
    while [[ ! -f "$file" ]]; do
        if (($(ks__now_ms) > KS__JOB_DEADLINE[$id])); then
            ks_log "job $id gave no exit code in time: ending the session's Wine processes"
            ks__kill_wine
            return 124
        fi
        sleep 0.1
    done
    result="$(tr -d '\r\n' <"$file")"
    wait "${KS__JOB_STARTER[$id]}" 2>/dev/null || true
    unset "KS__JOB_STARTER[$id]"
    case "$result" in
        timeout)
            ks_log "job $id timed out and was terminated"
            return 124 ;;
        launch-failed*)
            ks_log "job $id could not start (${result#launch-failed }: Windows error code)"
            return 127 ;;
        '' | *[!0-9]*)
            ks_log "job $id: unreadable exit record '$result'"
            return 125 ;;
    esac
    code=$((10#$result))
    if ((code > 255)); then
        ks_log "job $id exited with $(printf '0x%08X' "$code")"
        return 255
    fi
    return "$code"
}

ks_wine_run() {
    ks_wine_start "$@" || return $?
    ks_wine_wait "$KS_WINE_JOB"
}

# Posts WM_CLOSE to every top-level window titled exactly TITLE (window
# messages, as another program on the same desktop would). Fails when no
# window had that title.
ks_wine_close() {
    local title="$1" id file deadline result
    KS__JOBS=$((KS__JOBS + 1))
    id=$KS__JOBS
    file="$WINEPREFIX/drive_c/ks/exit-$id"
    # A job started in a subshell, $(...), may have used this id already.
    rm -f "$file"
    KS__JOB_DEADLINE[$id]=$(($(ks__now_ms) + 60000))
    ks__launch "$id" "$KS_SESSION_DIR" --close "$title" >/dev/null 2>&1
    deadline=${KS__JOB_DEADLINE[$id]}
    while [[ ! -f "$file" ]]; do
        (($(ks__now_ms) > deadline)) && { ks_log "ks_wine_close: no answer"; return 1; }
        sleep 0.1
    done
    result="$(tr -d '\r\n' <"$file")"
    wait "${KS__JOB_STARTER[$id]}" 2>/dev/null || true
    unset "KS__JOB_STARTER[$id]" "KS__JOB_DEADLINE[$id]"
    [[ "$result" =~ ^[0-9]+$ && "$result" -gt 0 ]]
}

# ---------------------------------------------------------------------------
# X windows and screenshots

ks__regex_quote() { printf '%s' "$1" | sed 's/[][\.|$(){}?+*^]/\\&/g'; }

# Polls (xdotool search --sync has no timeout) until a visible window whose
# title (or WM_CLASS with --class) matches REGEX exists; prints the ids.
ks_wait_window() {
    local timeout=30 field=--name visible=--onlyvisible ids deadline
    while [[ $# -gt 1 ]]; do
        case "$1" in
            --timeout) timeout="$2"; shift 2 ;;
            --class) field=--class; shift ;;
            --any) visible=""; shift ;;
            *) break ;;
        esac
    done
    deadline=$(($(ks__now_ms) + timeout * 1000))
    while :; do
        ids="$(xdotool search $visible "$field" "$1" 2>/dev/null || true)"
        if [[ -n "$ids" ]]; then
            printf '%s\n' "$ids"
            return 0
        fi
        (($(ks__now_ms) > deadline)) && return 1
        sleep 0.2
    done
}

ks_wait_window_gone() {
    local timeout=30 field=--name deadline
    while [[ $# -gt 1 ]]; do
        case "$1" in
            --timeout) timeout="$2"; shift 2 ;;
            --class) field=--class; shift ;;
            *) break ;;
        esac
    done
    deadline=$(($(ks__now_ms) + timeout * 1000))
    while [[ -n "$(xdotool search --onlyvisible "$field" "$1" 2>/dev/null || true)" ]]; do
        (($(ks__now_ms) > deadline)) && return 1
        sleep 0.2
    done
}

ks_window_geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X:/ { x = $NF }
        /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/ { w = $NF }
        /^ *Height:/ { h = $NF }
        END { if (w == "") exit 1; print x, y, w, h }'
}

# Closes a window as a user would: click on it to activate it, then Alt+F4.
# The click lands near the top-left corner, on the caption of a framed window.
ks_close_window() {
    local geo x y w h
    geo="$(ks_window_geometry "$1")" || { ks_log "ks_close_window: no window $1"; return 1; }
    read -r x y w h <<<"$geo"
    xdotool mousemove "$((x + (w > 60 ? 30 : w / 2)))" "$((y + (h > 16 ? 8 : h / 2)))" click 1 || return 1
    sleep 0.3
    xdotool key --clearmodifiers alt+F4
}

# /usr/bin/import is ImageMagick's; /usr/local/bin may hold stand-ins.
ks_screenshot() {
    local file="$1" wid="${2:-}" geo x y w h
    mkdir -p "$(dirname "$file")"
    if [[ -z "$wid" ]]; then
        /usr/bin/import -silent -window root "$file"
        return
    fi
    geo="$(ks_window_geometry "$wid")" || { ks_log "ks_screenshot: no window $wid"; return 1; }
    read -r x y w h <<<"$geo"
    /usr/bin/import -silent -window root -crop "${w}x${h}+${x}+${y}" +repage "$file"
}
