# Shared by the test, run and release commands: installing what is missing, finding out whether
# this machine runs 32-bit code, and a throw-away Wine (a prefix of each architecture, no
# installer prompts, no crash dialog, a virtual display) that is gone again when the script
# exits.

PACKAGES=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb
          wixl msitools zip unzip osslsigncode openssl softhsm2 libengine-pkcs11-openssl)
# Only where 32-bit code runs: elsewhere its loader could not start.
WINE32_PACKAGES=(wine32:i386)

# The 64-bit loader itself: the "wine" wrapper picks the 32-bit one once that is installed, and
# that one cannot make or run a 64-bit prefix on a machine without 32-bit code.
WINE64_LOADER=/usr/lib/wine/wine64

# Whether this machine runs 32-bit x86 code, found by running some: a 96-byte i386 program (ELF
# header, one program header, then mov eax,1; mov ebx,42; int 0x80) that only exits with 42.
# Where the kernel runs no 32-bit code it is refused with "Exec format error".
runs_32bit_code() {
    if [[ -z ${RUNS_32BIT_CODE:-} ]]; then
        local probe
        mkdir -p build
        probe=$(mktemp -p "$PWD/build" probe32.XXXXXX) || return 1
        printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
        chmod +x "$probe"
        "$probe" 2>/dev/null
        if (($? == 42)); then RUNS_32BIT_CODE=1; else RUNS_32BIT_CODE=0; fi
        rm -f "$probe"
    fi
    ((RUNS_32BIT_CODE))
}

# The Windows programs run under the Wine that WINE names (start_wine), or on Windows itself,
# from Git for Windows' bash, where WINE is empty. There "/x" arguments reach a program as
# written, not taken for paths, and find, sort and timeout are the GNU tools, not Windows' own.
on_windows() { [[ $OSTYPE == msys || $OSTYPE == cygwin ]]; }
on_windows && export MSYS_NO_PATHCONV=1 MSYS2_ARG_CONV_EXCL='*' PATH=/usr/bin:$PATH
# win_run <program> [arguments]: a Windows program, under Wine where there is one (on Windows
# the program itself, not a shell function of its name).
win_run() { if [[ -n ${WINE:-} ]]; then "$WINE" "$@"; else command "$@"; fi; }
# win_path <path>, unix_path <path>: a file's Windows name, and back.
win_path() { if on_windows; then cygpath -w "$1"; else "$WINE" winepath -w "$1" 2>/dev/null; fi; }
unix_path() { if on_windows; then cygpath -u "$1"; else "$WINE" winepath -u "$1" 2>/dev/null; fi; }

# ensure_packages [wine32]: the packages every command needs, and the 32-bit Wine when asked.
ensure_packages() {
    local wanted=("${PACKAGES[@]}") missing=() p
    [[ ${1:-} == wine32 ]] && wanted+=("${WINE32_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0
    echo "== installing: ${missing[*]}"
    if [[ $(id -u) != 0 ]]; then
        echo "not root: install these packages first: ${missing[*]}"
        return 1
    fi
    if [[ ${missing[*]} == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Whether an X display answers: its socket exists (local displays) or it is remote.
xdpyinfo_ok() {
    local d=${1#*:}
    d=${d%%.*}
    [[ $1 != :* ]] || [[ -S /tmp/.X11-unix/X$d ]]
}

# Ends the Wine of the prefix in use, if any.
stop_prefix() {
    [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null
    unset WINEPREFIX
}

stop_wine() {
    stop_prefix
    [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null
    [[ -n ${WINE_TMP:-} ]] && rm -rf "$WINE_TMP"
}

# start_display [display]: the given X display when it answers (a person's own), else a virtual
# one of its own.
start_display() {
    if [[ -n ${1:-} ]] && xdpyinfo_ok "$1"; then
        export DISPLAY=$1
        return
    fi
    local n=90
    while [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    # Wine needs the display up before it starts.
    for ((i = 0; i < 50; i++)); do
        [[ -e /tmp/.X11-unix/X$n ]] && break
        sleep 0.1
    done
}

# start_wine <win32|win64> [display]: a fresh prefix of that architecture, on the display (the
# first call starts it). WINE is the loader that runs the prefix's programs and tools
# ("$WINE" reg, "$WINE" winepath, ...). A prefix started before ends first.
start_wine() {
    local arch=$1
    if [[ -z ${WINE_TMP:-} ]]; then
        WINE_TMP=$(mktemp -d)
        trap stop_wine EXIT
        start_display "${2:-}"
    fi
    stop_prefix
    export WINEPREFIX="$WINE_TMP/prefix-$arch" WINEARCH=$arch WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [[ $arch == win64 ]]; then
        export WINE=$WINE64_LOADER WINELOADER=$WINE64_LOADER
    else
        export WINE=wine
        unset WINELOADER
    fi
    # One persistent server for the whole run keeps each Wine start short.
    mkdir -p "$WINEPREFIX" && wineserver -p || return 1
    "$WINE" wineboot -i >/dev/null 2>&1 || return 1
    "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
}

# choose_arch [win32|win64]: ARCH, the build that the run and benchmark commands use: the one
# asked for, else the 32-bit build where 32-bit code runs and the 64-bit build elsewhere.
choose_arch() {
    ARCH=${1:-}
    if [[ -z $ARCH ]]; then
        if runs_32bit_code; then ARCH=win32; else ARCH=win64; fi
    elif [[ $ARCH != win32 && $ARCH != win64 ]]; then
        echo "no such build: $ARCH (win32 or win64)"
        return 1
    elif [[ $ARCH == win32 ]] && ! runs_32bit_code; then
        echo "this machine runs no 32-bit code: the win32 build cannot run here"
        return 1
    fi
}

# The packages for running the build ARCH names.
ensure_packages_for_arch() {
    if [[ $ARCH == win32 ]]; then ensure_packages wine32; else ensure_packages; fi
}

# Driving the host emulator (kt4r.exe) through kt4r_remote.exe, from the folder that holds it:
# REMOTE_DIR. The session's letter comes first where a call needs one.
remote() { "$WINE" "$REMOTE_DIR/kt4r_remote.exe" "$@" 2>&1 | tr -d '\r'; }
field() { remote field "$1" "$2"; }
# wait_status <letter> <seconds> [--after <n>] <text>...: waits for the host's "CCSTATUS" of
# that session to be one of the texts (with --after: for one of them among the statuses after
# the first n).
wait_status() { remote wait-status "$@" >/dev/null; }
# Whether the card number the host's screen holds was read back by the program: the control's
# GetScreenField call for "W1AC#" answered with it (its first four digits are what we compare).
read_back() {
    local letter=$1 number
    number=$(field "$letter" W1AC#)
    [[ -n $number ]] && remote calls | grep -q "^GetScreenField(\"W1AC#\", $(($(printf '%d' "'$letter") - 65))) -> \"${number:0:4}"
}
