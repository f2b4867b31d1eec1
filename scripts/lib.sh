# Shared by the test and run commands: installing what is missing, and a throw-away Wine
# (own prefix, no installer prompts, no crash dialog, a virtual display) that is gone again when
# the script exits.

PACKAGES=(cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev g++-mingw-w64-i686 wine wine32:i386 xvfb wixl msitools zip)

ensure_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    ((${#missing[@]} == 0)) && return 0
    echo "== installing: ${missing[*]}"
    if [[ $(id -u) != 0 ]]; then
        echo "not root: install these packages first: ${missing[*]}"
        return 1
    fi
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq "${missing[@]}" >/dev/null
}

# Whether an X display answers: its socket exists (local displays) or it is remote.
xdpyinfo_ok() {
    local d=${1#*:}
    d=${d%%.*}
    [[ $1 != :* ]] || [[ -S /tmp/.X11-unix/X$d ]]
}

stop_wine() {
    [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null
    [[ -n ${XVFB_PID:-} ]] && kill "$XVFB_PID" 2>/dev/null
    [[ -n ${WINE_TMP:-} ]] && rm -rf "$WINE_TMP"
}

# start_wine [display]: on the given X display when it answers (a person's own), else on a
# virtual one of its own.
start_wine() {
    WINE_TMP=$(mktemp -d)
    trap stop_wine EXIT
    if [[ -n ${1:-} ]] && xdpyinfo_ok "$1"; then
        export DISPLAY=$1
    else
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
    fi
    export WINEPREFIX="$WINE_TMP/prefix" WINEARCH=win32 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # One persistent server for the whole run keeps each Wine start short.
    mkdir -p "$WINEPREFIX" && wineserver -p || return 1
    wineboot -i >/dev/null 2>&1 || return 1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >/dev/null 2>&1
}
