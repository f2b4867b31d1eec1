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
# hardened <build> <exe>...: each program's PE header asks for ASLR (DYNAMIC_BASE, with the
# relocations that let Windows move it) and DEP (NX_COMPAT), the 64-bit build's for high-entropy
# ASLR too (HIGH_ENTROPY_VA). The linker sets them today; a change of toolchain must not drop them.
hardened() {
    local want=$((0x40 | 0x100)) exe dump flags relocs
    [[ $1 == win64 ]] && want=$((want | 0x20))
    shift
    for exe in "$@"; do
        dump=$(x86_64-w64-mingw32-objdump -p "$exe") || return 1
        flags=$(sed -n 's/^DllCharacteristics[[:space:]]*\([0-9a-fA-F]*\)$/\1/p' <<<"$dump")
        relocs=$(sed -n 's/^Entry 5 [0-9a-fA-F]* \([0-9a-fA-F]*\) Base Relocation Directory.*/\1/p' \
            <<<"$dump")
        [[ -n $flags && -n $relocs ]] || { echo "    $exe: no PE header flags"; return 1; }
        if (((16#$flags & want) != want || 16#$relocs == 0)); then
            echo "    $exe: DllCharacteristics $flags, relocations $relocs bytes"
            return 1
        fi
    done
}
die() {
    echo "FAILED: $*"
    exit 1
}
