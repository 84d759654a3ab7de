# Sourced by the scripts in scripts/: makes sure the Debian packages they need are installed.

# What the command line builds with: compiler and build tools and the host's libraries (Boost for
# the viewer's HTTP and WebSocket server, header-only; HDF5 and zlib for checkpoints).
NEMBRA_TOOL_PACKAGES=(cmake g++ make pkg-config libcli11-dev libcairo2-dev libpng-dev
                      nlohmann-json3-dev libboost-dev libhdf5-dev zlib1g-dev)
# Every Debian package the project builds with: the above, the test and benchmark frameworks,
# then the checkers of scripts/test: clang with libFuzzer, valgrind, and mingw-w64, GoogleTest's
# sources and Wine for the Windows build.
NEMBRA_DEBIAN_PACKAGES=("${NEMBRA_TOOL_PACKAGES[@]}" libgtest-dev libbenchmark-dev binutils
                        clang libclang-rt-14-dev valgrind g++-mingw-w64-x86-64 googletest
                        wine64)
# The Python package (python/), its tests, notebooks and ensemble example.
NEMBRA_DEBIAN_PACKAGES+=(python3 python3-venv python3-setuptools pybind11-dev python3-numpy
                         python3-pytest python3-tqdm python3-matplotlib python3-nbconvert
                         python3-ipykernel python3-distributed)

# Prints the packages among the arguments that are not installed, one a line.
nembra_missing_packages() {
    local package
    for package in "$@"; do
        if [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)" != ii* ]]; then
            echo "$package"
        fi
    done
}

# Installs the packages among the arguments (all of the project's when none are given) that are
# missing. Touches apt only when something is missing; without root it prints the command to run
# and fails.
nembra_ensure_packages() {
    local wanted=("$@")
    if ((${#wanted[@]} == 0)); then
        wanted=("${NEMBRA_DEBIAN_PACKAGES[@]}")
    fi
    if ! command -v dpkg-query >/dev/null 2>&1; then
        echo "error: dpkg-query not found; these scripts set up Debian systems only." >&2
        echo "Install by other means: ${wanted[*]}" >&2
        return 1
    fi

    local missing
    mapfile -t missing < <(nembra_missing_packages "${wanted[@]}")
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    if ((EUID != 0)); then
        echo "error: missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root, then run this command again:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        return 1
    fi
    echo "Installing missing Debian packages: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}

# The browser test's tools: Debian's Chromium, Node.js and npm. A Node.js installed otherwise
# that brings its own npm (NodeSource's package does) is kept, since Debian's npm conflicts
# with it.
nembra_ensure_browser_packages() {
    local wanted=(chromium)
    command -v node >/dev/null 2>&1 || wanted+=(nodejs)
    command -v npm >/dev/null 2>&1 || wanted+=(npm)
    nembra_ensure_packages "${wanted[@]}"
}
