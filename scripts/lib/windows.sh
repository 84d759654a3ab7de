# Sourced by scripts/test: cross-compiles the library and its tests for 64-bit Windows with
# mingw-w64 and runs the tests under Wine, headless (the tests replace the message handler, so no
# dialog is ever shown; nothing needs a display).

# nembra_test_windows <root> <build dir>
nembra_test_windows() {
    local root="$1" dir="$2"
    echo "=== $dir: configure (mingw-w64)"
    cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNEMBRA_WARNINGS_AS_ERRORS=ON -DNEMBRA_NATIVE=OFF \
        -DNEMBRA_BUILD_TOOLS=OFF -DNEMBRA_BUILD_BENCHMARKS=OFF -DNEMBRA_BUILD_EXAMPLES=OFF \
        -DNEMBRA_GOOGLETEST_SOURCE_DIR=/usr/src/googletest
    echo "=== $dir: build"
    cmake --build "$dir" -j2

    # The C++ run-time DLLs stay where Debian put them; Wine finds them through WINEPATH.
    local wine_path="" dll folder
    for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
        folder="$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")")"
        wine_path+="Z:${folder//\//\\};"
    done
    echo "=== $dir: test under Wine"
    (
        export WINEPREFIX="$dir/wineprefix" WINEDEBUG=-all WINEPATH="$wine_path"
        # No Mono or Gecko installers when the prefix is created.
        export WINEDLLOVERRIDES="mscoree,mshtml="
        unset DISPLAY
        status=0
        ctest --test-dir "$dir" --output-on-failure </dev/null || status=$?
        wineserver -k 2>/dev/null || true  # the server of this prefix only
        exit "$status"
    )
}
