#!/usr/bin/env bash
# One entry point for building, testing and running the SDK.
#   ./build.sh test [dev|asan|tsan|release] [ctest -R regex]   build and run the tests
#   ./build.sh demo                                          build the library and the simulated
#                                                            readers only (build/demo), install,
#                                                            build and run the example (a
#                                                            simulated reader of each model)
#   ./build.sh consumer                                      install, then build and run the
#                                                            consumer check and the examples
#                                                            against the installed package
#   ./build.sh fuzz SECONDS                                  run every fuzz target that long
#   ./build.sh bench                                         build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)

# Installs the Debian build packages that are missing (only when run as root).
ensure_packages() {
    local wanted=(cmake g++ ninja-build pkg-config lld libgtest-dev libgmock-dev libbenchmark-dev "$@")
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]} (run as root to install them)" >&2
        return 0
    fi
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
    local preset=$1
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
}

# Installs the build of preset $1 into build/$1/install and builds the project in $2 against it
# (in build/$1/<name of $2>), as an application would: find_package(OrvaneRFID) and the shared
# libraries only (the examples add the simulated readers, component sim).
build_against_install() {
    local preset=$1 project=$2
    local prefix=$PWD/build/$preset/install
    local out=build/$preset/$(basename "$project")
    cmake --install "build/$preset" --prefix "$prefix" >/dev/null
    cmake -S "$project" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$out" -j "$jobs"
}

cmd=${1:-test}
case "$cmd" in
test)
    preset=${2:-dev}
    ensure_packages
    configure_and_build "$preset"
    filter=()
    [ $# -ge 3 ] && filter=(-R "$3")
    ctest --preset "$preset" -j "$jobs" "${filter[@]}"
    ;;
demo)
    # Only what the example needs: the library and the simulated readers, no tests or benchmarks.
    ensure_packages
    configure_and_build demo
    build_against_install demo examples
    ./build/demo/examples/orvane_demo
    ;;
consumer)
    ensure_packages
    configure_and_build dev
    build_against_install dev tests/consumer
    ./build/dev/consumer/orvane_consumer
    ./build/dev/consumer/orvane_consumer_c
    build_against_install dev examples
    ./build/dev/examples/orvane_demo >/dev/null
    echo "examples: built and run against the installed package"
    ;;
fuzz)
    seconds=${2:-60}
    ensure_packages clang libclang-rt-14-dev
    configure_and_build fuzz
    for target in build/fuzz/fuzz/fuzz_*; do
        [ -x "$target" ] || continue
        name=$(basename "$target")
        corpus=fuzz/corpus/${name#fuzz_}
        work=build/fuzz/corpus/${name#fuzz_}
        mkdir -p "$work" fuzz/artifacts
        [ -d "$corpus" ] || corpus=
        echo "== $name for ${seconds}s"
        # -max_len: room for the largest frame or packet the cutters accept (8192 bytes) and
        # the one behind it, with the chunk headers of the stream target.
        "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16640 \
            -artifact_prefix=fuzz/artifacts/ -print_final_stats=1 "$work" $corpus 2>&1 | tail -n 12
    done
    ;;
bench)
    ensure_packages
    configure_and_build release
    for b in build/release/bench/bench_*; do
        [ -x "$b" ] && "$b"
    done
    ;;
*)
    echo "usage: $0 test [dev|asan|tsan|release] [regex] | demo | consumer | fuzz SECONDS | bench" >&2
    exit 2
    ;;
esac
