# shellcheck shell=bash
# Shared by the journeys that drive the real program: paths, failure
# reporting, the harness and the program's settings and windows.
#   source lib/journey.sh NAME   (NAME: the output folder under build/e2e)
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
here="$root/tests/e2e"
bin="${KS_WIN_BUILD:-$root/build/windows}"
exe="$bin/src/app/kestrascope.exe"
wininfo="$bin/tests/wininfo.exe"
pattern="$bin/tests/pattern.exe"
out="${KS_E2E_OUT:-$root/build/e2e/$1}"
rm -rf "$out"; mkdir -p "$out"
source "$root/scripts/wine-harness.sh"

failed=0
fail() { echo "FAIL: $*"; failed=1; }
die() { echo "FAIL: $*"; exit 1; }
[[ -f "$exe" && -f "$wininfo" ]] || die "build the Windows preset first"
ks_harness_start --size 1024x768 --dpi 96 --name "$1" || die "harness"

reg() { ks_wine_run --timeout 60 "$WINEPREFIX/drive_c/windows/system32/reg.exe" "$@" > /dev/null; }
setting() { reg add 'HKCU\Software\QVkestrascope\Movie' /v "$1" /t REG_SZ /d "$2" /f || die "reg add $1"; }
stored() {
    ks_wine_run --timeout 60 "$WINEPREFIX/drive_c/windows/system32/reg.exe" query \
        'HKCU\Software\QVkestrascope\Movie' /v "$1" | tr -d '\r' | awk -v k="$1" '$1 == k { print $3 }'
}
# The program's visible windows, one line each (see tools/wininfo.cpp).
windows() { ks_wine_run --timeout 30 "$wininfo" list kestrascope | tr -d '\r'; }
controls() { ks_wine_run --timeout 30 "$wininfo" controls "$1" | tr -d '\r'; }
