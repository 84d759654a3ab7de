# Sourced by scripts/test and scripts/fuzz: builds the libFuzzer targets of tests/fuzz and runs
# each for a given time on a working copy of its seed corpus. Warnings are not errors here: the
# library is kept warning-free under g++, the compiler of the other builds.

NEMBRA_FUZZ_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
NEMBRA_FUZZ_LINK_FLAGS="-fsanitize=address,undefined"

# nembra_build_fuzzers <root> <build dir>
nembra_build_fuzzers() {
    local root="$1" dir="$2"
    echo "=== $dir: configure (clang, libFuzzer)"
    CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DNEMBRA_WARNINGS_AS_ERRORS=OFF -DNEMBRA_BUILD_FUZZERS=ON -DNEMBRA_BUILD_TESTS=OFF \
        -DNEMBRA_BUILD_BENCHMARKS=OFF -DNEMBRA_BUILD_EXAMPLES=OFF -DBUILD_SHARED_LIBS=OFF \
        "-DCMAKE_CXX_FLAGS=$NEMBRA_FUZZ_FLAGS" \
        "-DCMAKE_EXE_LINKER_FLAGS=$NEMBRA_FUZZ_LINK_FLAGS"
    echo "=== $dir: build"
    cmake --build "$dir" -j2 --target nembra_fuzz_library nembra_fuzz_command_line \
        nembra_fuzz_control_message nembra_fuzz_checkpoint
}

# nembra_run_fuzzer <root> <build dir> <target> <corpus name> <seconds> [libFuzzer flags...]
# Fails on any finding; the reproducer is left in <build dir>/fuzz-findings.
nembra_run_fuzzer() {
    local root="$1" dir="$2" target="$3" corpus="$4" seconds="$5"
    shift 5
    local work="$dir/fuzz-corpus/$corpus" findings="$dir/fuzz-findings"
    mkdir -p "$work" "$findings"
    echo "=== $target: $seconds s on the seeds of tests/fuzz/corpus/$corpus"
    # The library refuses storage it cannot have (allocator_may_return_null); the memory limit
    # keeps any runaway request a finding rather than a swapped machine.
    ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        LSAN_OPTIONS="suppressions=$root/tests/fuzz/hdf5-leaks.supp" \
        "$dir/tests/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$@" \
        "$work" "$root/tests/fuzz/corpus/$corpus" </dev/null
}

# nembra_run_fuzzers <root> <build dir> <seconds per target>
nembra_run_fuzzers() {
    local root="$1" dir="$2" seconds="$3"
    nembra_run_fuzzer "$root" "$dir" nembra_fuzz_library library "$seconds"
    nembra_run_fuzzer "$root" "$dir" nembra_fuzz_command_line command-line "$seconds"
    nembra_run_fuzzer "$root" "$dir" nembra_fuzz_control_message control-message "$seconds"
    # The checkpoint reader forks: no watcher thread (a fork copies none of its locks' owners), a
    # limit on each allocation instead of on the resident size.
    nembra_run_fuzzer "$root" "$dir" nembra_fuzz_checkpoint checkpoint "$seconds" \
        -rss_limit_mb=0 -malloc_limit_mb=2048
}
