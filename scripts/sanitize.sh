# Sanitized passes of the tests, sourced by scripts/test and run after the
# plain pass when TRV_SANITIZE=1 (as .ci/run does), against the same servers:
#   address and undefined behaviour: every test, built in $BUILD_DIR-asan;
#   threads: the tests of the threads that meet the window's (the broker's
#   workers, the statement runners), built in $BUILD_DIR-tsan. The console's
#   own tests are left out: the alarm's GStreamer threads, not built with the
#   sanitizer, raise reports of their own.
# Each build holds only the tests it runs, at -O1 to keep CI short.

ASAN_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
TSAN_FLAGS="-fsanitize=thread -fno-omit-frame-pointer"
THREAD_TESTS='^tst_(amqp.*|brokermessage|statementrunner)$'

# build_sanitized <dir> <flags> <test regex>: configures and builds the tests
# the regex selects (their helpers come along as dependencies).
build_sanitized() {
    local dir=$1 flags=$2 regex=$3 targets
    echo "sanitized build: $dir ($flags)"
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
        -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
    targets=$(cd "$dir" && ctest -N -R "$regex" | sed -n 's/^ *Test *#[0-9]*: *//p')
    [ -n "$targets" ] || { echo "sanitized build: no test matches $regex" >&2; return 1; }
    # shellcheck disable=SC2086
    cmake --build "$dir" -j2 --target $targets
}

# sanitized_passes [ctest args]: the arguments select the tests of the
# address pass; the thread pass always runs the same threaded tests. Returns
# non-zero if either pass failed.
sanitized_passes() {
    local status=0
    if build_sanitized "$BUILD_DIR-asan" "$ASAN_FLAGS" "${TRV_ASAN_TESTS:-.}"; then
        echo "tests: address and undefined-behaviour pass"
        # A small quarantine, since some tests bound the memory a read may
        # take; leaks are not checked, Qt and its plugins keep theirs to exit.
        (cd "$BUILD_DIR-asan" && \
            ASAN_OPTIONS="halt_on_error=1:detect_leaks=0:quarantine_size_mb=8:strict_string_checks=1" \
            UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" \
            ctest --output-on-failure --timeout 600 "$@") || status=1
    else
        status=1
    fi
    if build_sanitized "$BUILD_DIR-tsan" "$TSAN_FLAGS" "$THREAD_TESTS"; then
        echo "tests: thread pass"
        (cd "$BUILD_DIR-tsan" && \
            TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$ROOT/scripts/tsan.supp" \
            ctest --output-on-failure --timeout 600 -R "$THREAD_TESTS") || status=1
    else
        status=1
    fi
    echo "tests: sanitized passes exited with $status"
    return $status
}
