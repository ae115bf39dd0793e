# Shared by scripts/test, scripts/lint, scripts/bench and scripts/demo: packages and the build.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${TRV_BUILD_DIR:-$ROOT/build}

PACKAGES=(
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools qtmultimedia5-dev libqt5sql5-mysql libqt5multimedia5-plugins
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    librabbitmq-dev libmariadb-dev libssl-dev openssl
    mariadb-server mariadb-client
    rabbitmq-server
    cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
    python3 curl xvfb xauth
    dpkg-dev file lintian appstream xdotool
    clang libclang-rt-dev llvm
    clang-tidy cppcheck
)

ensure_packages() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        echo "packages: all present"
        return 0
    fi
    [ "$(id -u)" -eq 0 ] || { echo "packages missing (${missing[*]}); run as root to install them" >&2; exit 1; }
    echo "packages: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # Do not let the packages start their own servers: ours are private.
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    apt-get install -y -q --no-install-recommends "${missing[@]}" || { rm -f /usr/sbin/policy-rc.d; exit 1; }
    rm -f /usr/sbin/policy-rc.d
}

configure_build() {
    echo "build: $BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
}

# build_targets [target ...]: only those, or everything when none is named.
build_targets() {
    local args=() t
    for t in "$@"; do args+=(--target "$t"); done
    cmake --build "$BUILD_DIR" -j2 "${args[@]}"
}

build_console() {
    configure_build
    build_targets "$@"
}

# The libFuzzer targets of tests/fuzz, built by clang apart from the console.
FUZZ_DIR=$BUILD_DIR-fuzz
FUZZ_TARGETS="brokermessage fieldcipher configfile ticket keypadtext openingschedule"

build_fuzz() {
    echo "fuzz build: $FUZZ_DIR"
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$FUZZ_DIR" -DTRV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
    cmake --build "$FUZZ_DIR" -j2
}

# run_fuzz_target <target> [libFuzzer arguments]
run_fuzz_target() {
    local target=$1
    shift
    ASAN_OPTIONS="halt_on_error=1:strict_string_checks=1" UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
        LSAN_OPTIONS="suppressions=$ROOT/tests/fuzz/lsan.supp" \
        "$FUZZ_DIR/tests/fuzz/fuzz_$target" "$@"
}

# replay_fuzz_corpora: every committed seed once through its target.
replay_fuzz_corpora() {
    local target log status=0
    build_fuzz || return 1
    log=$(mktemp)
    for target in $FUZZ_TARGETS; do
        if run_fuzz_target "$target" -runs=0 "$ROOT/tests/fuzz/corpus/$target" >"$log" 2>&1; then
            echo "fuzz replay: $target: $(grep -c . <(ls "$ROOT/tests/fuzz/corpus/$target")) inputs passed"
        else
            status=1
            echo "fuzz replay: $target FAILED"
            tail -n 40 "$log"
        fi
    done
    rm -f "$log"
    return $status
}
