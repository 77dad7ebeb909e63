#!/bin/sh
# Installs the Debian packages that the builds and tests need, when they are missing.
#
#   scripts/install-deps.sh [group...]     no group: all of them
#
# Groups: build (the native build and the demo), test (the native tests), windows (the mingw-w64
# build, its tests under wine and the package), sanitize (the clang build with the sanitizers
# and libFuzzer), bench (the benchmarks).
set -eu
group_packages() {
    case $1 in
    build) echo "make cmake ninja-build g++ zlib1g-dev libgtest-dev" ;;
    test) echo "libnvtt-bin" ;;
    windows) echo "g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip unzip" ;;
    sanitize) echo "clang libclang-rt-14-dev" ;;
    bench) echo "libbenchmark-dev pkg-config time" ;;
    *)
        echo "install-deps: unknown group $1" >&2
        exit 2
        ;;
    esac
}
groups=${*:-build test windows sanitize bench}
packages=""
for g in $groups; do
    packages="$packages $(group_packages "$g")"
done
missing=""
for p in $packages; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "Missing packages:$missing (run as root to install them)" >&2
    exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing >/dev/null
