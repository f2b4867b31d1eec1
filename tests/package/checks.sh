# Sourced by the package tests, from the checkout's root with "build" set: the Windows helpers of
# scripts/lib.sh, this build's architecture and the other build's, the version the build makes
# and a newer one for the upgrade, and the checks, each said "ok:" or "FAILED:", or "skipped:"
# where its command exits 77.
source scripts/lib.sh
case $build in
    win32) arch=x86 other_build=win64 other_arch=x64 ;;
    win64) arch=x64 other_build=win32 other_arch=x86 ;;
    *) echo "no such build: $build"; exit 2 ;;
esac

# The version the build makes (the CMake project's) and a newer one for the upgrade.
version=$(sed -n 's/^project(ostrel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[[ $version =~ ^([0-9]+\.[0-9]+)\.([0-9]+)$ ]] || { echo "no version in CMakeLists.txt"; exit 2; }
newer=${BASH_REMATCH[1]}.$((BASH_REMATCH[2] + 1))

SHIPPED=(ostrel.exe ostrel-diag.exe README.txt LICENSE.txt)

failures=0
check() {
    local what=$1 code
    shift
    "$@"
    code=$?
    if ((code == 0)); then
        echo "ok: $what"
    elif ((code == 77)); then
        echo "skipped: $what"
    else
        echo "FAILED: $what"
        failures=$((failures + 1))
    fi
}
not() { ! "$@"; }
die() {
    echo "FAILED: $*"
    exit 1
}
