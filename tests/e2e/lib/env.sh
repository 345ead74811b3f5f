# shellcheck shell=bash
# The variables an end-to-end script is run with (README, "Building and
# testing"; the Windows build's CTest tests set them). Sets here (this folder's
# parent), wininfo, pattern and flashtone (the helper programs of the Windows
# build).
for ks_var in KS_ROOT KS_HARNESS KS_EXE KS_BUILD_WINDOWS; do
    if [[ -z "${!ks_var:-}" ]]; then
        echo "FAIL: $ks_var is not set: run it as ctest --preset windows -R e2e/$(basename "$0" .sh)"
        exit 1
    fi
done
unset ks_var
here="$KS_ROOT/tests/e2e"
wininfo="$KS_BUILD_WINDOWS/tests/wininfo.exe"
pattern="$KS_BUILD_WINDOWS/tests/pattern.exe"
flashtone="$KS_BUILD_WINDOWS/tests/flashtone.exe"
