#!/usr/bin/env bash
# One build's release artefacts as the release command makes them: the zip and the MSI, unsigned
# or signed (from files or a SoftHSM token), checked as files; and the MSI's rows for what Wine
# cannot show (a per-user install without properties, the per-machine log's permissions and
# event source). Needs no Wine. Leaves in the folder given what the install test installs: the
# MSI, a newer build's and, for the 64-bit build, the other build's of the same version, each
# zip unpacked beside them, and the other build's product code.
#   release_test.sh <win32|win64> <folder>
set -uo pipefail
build=${1:-}
out=$(realpath -m "${2:?usage: release_test.sh <win32|win64> <folder>}")
cd "$(dirname "$0")/../.."
source tests/package/checks.sh

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out" && mkdir -p "$out"
# The package's rows of a table, tab-separated, without the header.
TAB=$'\t'
rows() { msiinfo export "$1" "$2" 2>/dev/null | tr -d '\r' | tail -n +4; }
# has_row <msi> <table> <row>...: the table has each of the rows.
has_row() {
    local all row
    all=$(rows "$1" "$2")
    shift 2
    for row; do grep -qxF "$row" <<<"$all" || return 1; done
}

start=$(date +%s%3N)
release() {
    ./scripts/release "$@" >"$work/release.log" 2>&1 ||
        { cat "$work/release.log"; die "./scripts/release $*"; }
}
release --arch "$build"
check "an unsigned release says so" grep -q "the programs and packages are unsigned" \
    "$work/release.log"
check "and says nothing of time stamps" not grep -q "time stamp" "$work/release.log"
release --arch "$build" --version $newer --out "$work/newer"
release --arch "$build" --out "$work/again"
zip=build/release/ostrel-$version-$build.zip
msi=build/release/ostrel-$version-$arch.msi
newer_msi=$work/newer/ostrel-$newer-$arch.msi
check "the zip and the MSI are made" test -s "$zip" -a -s "$msi" -a -s "$newer_msi"
check "the zip holds the four files" \
    test "$(unzip -Z1 "$zip" | sort)" == "$(printf '%s\n' "${SHIPPED[@]}" | sort)"
check "the same files give the same zip" cmp -s "$zip" "$work/again/ostrel-$version-$build.zip"
unzip -q "$zip" -d "$out/zip-$version"
unzip -q "$work/newer/ostrel-$newer-$build.zip" -d "$out/zip-$newer"
cp "$msi" "$newer_msi" "$out/"
check "README.txt names this build's installer" grep -q "msiexec /i ostrel-$version-$arch.msi" \
    "$out/zip-$version/README.txt"
pe_format=$([[ $build == win64 ]] && echo pei-x86-64 || echo pei-i386)
check "the programs are of this build's architecture" test "$(x86_64-w64-mingw32-objdump -f \
    "$out/zip-$version/ostrel.exe" "$out/zip-$version/ostrel-diag.exe" | grep -c "format $pe_format\$")" == 2
echo "release command: $(($(date +%s%3N) - start)) ms"

# Signed with a throw-away code-signing certificate, given as a PKCS#12 file with a password or
# as a certificate and key: each program and the MSI verify with it as the trusted root, and a
# file changed after signing does not.
start=$(date +%s%3N)
signer=$work/signer
mkdir -p "$signer"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ostrel release test" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
    -keyout "$signer/key.pem" -out "$signer/cert.pem" >/dev/null 2>&1 &&
    openssl pkcs12 -export -inkey "$signer/key.pem" -in "$signer/cert.pem" \
        -passout pass:release-test -out "$signer/cert.pfx" ||
    die "a throw-away certificate could not be made"
OSTREL_SIGN_PASSWORD=release-test release --arch "$build" --pfx "$signer/cert.pfx" \
    --out "$work/signed"
release --arch "$build" --cert "$signer/cert.pem" --key "$signer/key.pem" --out "$work/signed-pem"
check "a release signed without a time stamp says so, last" \
    grep -q "signed without a time stamp" <(tail -n 1 "$work/release.log")
# The key on a throw-away SoftHSM token, reached through its PKCS#11 module as a hardware
# token's or an HSM's would be: the key never leaves the token.
hsm=$work/hsm
mkdir -p "$hsm/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' \
    "$hsm/tokens" >"$hsm/softhsm2.conf"
export SOFTHSM2_CONF=$hsm/softhsm2.conf
openssl pkcs8 -topk8 -nocrypt -in "$signer/key.pem" -out "$hsm/key.p8" &&
    softhsm2-util --init-token --free --label ostrel-release-test --pin 4321 \
        --so-pin 87654321 >/dev/null &&
    softhsm2-util --import "$hsm/key.p8" --token ostrel-release-test --label signer --id 01 \
        --pin 4321 >/dev/null ||
    die "a throw-away SoftHSM token could not be made"
rm -f "$hsm/key.p8"
OSTREL_SIGN_PASSWORD=4321 release --arch "$build" --pkcs11-module /usr/lib/softhsm/libsofthsm2.so \
    --cert "$signer/cert.pem" --key "pkcs11:token=ostrel-release-test;object=signer;type=private" \
    --out "$work/signed-token"
verified() { osslsigncode verify -in "$1" -CAfile "$signer/cert.pem" >"$work/verify.log" 2>&1; }
not_verified() { ! verified "$1"; }
signed_all() {
    local file
    unzip -q -o "$1/ostrel-$version-$build.zip" ostrel.exe ostrel-diag.exe -d "$1/zip"
    for file in "$1/zip/ostrel.exe" "$1/zip/ostrel-diag.exe" "$1/ostrel-$version-$arch.msi"; do
        verified "$file" && grep -q "Message digest algorithm *: SHA256" "$work/verify.log" ||
            { echo "    $file"; return 1; }
    done
}
check "signed from a PKCS#12 file: both programs and the MSI verify (SHA-256)" \
    signed_all "$work/signed"
check "signed from a certificate and key: likewise" signed_all "$work/signed-pem"
check "signed from a key on a PKCS#11 token: likewise" signed_all "$work/signed-token"
check "the unsigned release does not verify" not_verified "$msi"
cp "$work/signed/zip/ostrel.exe" "$work/changed.exe"
printf 'X' | dd of="$work/changed.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a program changed after signing is rejected" not_verified "$work/changed.exe"
echo "signing: $(($(date +%s%3N) - start)) ms"

# What Windows does and Wine cannot show is checked in the package's rows: Wine enforces no file
# permissions and knows no MSIINSTALLPERUSER.
check "run without properties it installs per user on Windows (ALLUSERS=2, MSIINSTALLPERUSER=1)" \
    has_row "$msi" Property "ALLUSERS${TAB}2" "MSIINSTALLPERUSER${TAB}1"
check "the log and the event source are installed per machine only" \
    test "$(rows "$msi" Component | awk -F'\t' '$5 == "ALLUSERS=1" {print $1}' | sort | xargs)" \
    == "EventSource MachineLog"
check "users may read and append to the per-machine log, and do nothing else to it" \
    has_row "$msi" MsiLockPermissionsEx "$(printf '%s\t' ProcessLogAppend ProcessLogFile File \
        'D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x12008d;;;BU)')ALLUSERS=1"

# The other build's package of this version, which the 64-bit build's install test swaps with
# its own, and its product code for the swap's steps taken one by one.
if [[ $build == win64 ]]; then
    release --arch "$other_build"
    other_msi=build/release/ostrel-$version-$other_arch.msi
    cp "$other_msi" "$out/"
    unzip -q "build/release/ostrel-$version-$other_build.zip" -d "$out/zip-other"
    rows "$other_msi" Property | sed -n 's/^ProductCode\t//p' >"$out/other-product-code"
    check "the $other_arch package is made, with its product code" test -s "$out/other-product-code"
fi

((failures == 0)) && echo "release test passed" || echo "release test: $failures FAILED"
((failures == 0))
