#!/bin/sh
# Installs the Debian packages that the builds and tests need, when they are missing.
#
#   scripts/install-deps.sh [group...]     no group: all of them
#
# Groups: build (the native build and the demo), test (the native tests), windows (the mingw-w64
# build, its tests under wine and the package), sanitize (the clang build with the sanitizers
# and libFuzzer), format (clang-format for make check-format), bench (the benchmarks).
set -eu
cd "$(dirname "$0")/.."
group_packages() {
    case $1 in
    build) echo "make cmake ninja-build g++ zlib1g-dev libdeflate-dev libgtest-dev nlohmann-json3-dev libxxhash-dev" ;;
    test) echo "libnvtt-bin" ;;
    windows) echo "g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip unzip" ;;
    sanitize) echo "clang libclang-rt-14-dev" ;;
    format) echo "clang-format" ;;
    bench) echo "time jq" ;;
    *)
        echo "install-deps: unknown group $1" >&2
        exit 2
        ;;
    esac
}
# Every build compiles libdeflate from Debian's source package of the version this machine has
# (libdeflate-dev), with refusals of its own added (cmake/libdeflate.cmake); the sources come from
# the Debian archive the machine already uses (apt checks them against the signed index) and are
# unpacked into build/deps/libdeflate.
libdeflate_source=build/deps/libdeflate

# A deb-src entry for the Debian archive, in the format of the machine's own sources.
add_source_entry() {
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        entry=/etc/apt/sources.list.d/karvex-deb-src.sources
        [ -f "$entry" ] && return 0
        awk 'BEGIN { RS = ""; FS = "\n" }
             /URIs: [^ \n]*debian\/?( |\n|$)/ && !done {
                 for (i = 1; i <= NF; i++) {
                     if ($i ~ /^Types:/) print "Types: deb-src"
                     else if ($i ~ /^Components:/) print "Components: main"
                     else if ($i !~ /^#/) print $i
                 }
                 done = 1
             }' /etc/apt/sources.list.d/debian.sources > "$entry"
    else
        entry=/etc/apt/sources.list.d/karvex-deb-src.list
        [ -f "$entry" ] && return 0
        sed -n 's/^deb \([^ ]*debian\/\{0,1\} [^ ]*\) .*/deb-src \1 main/p' /etc/apt/sources.list |
            head -n 1 > "$entry"
    fi
    [ -s "$entry" ] || { rm -f "$entry"; echo "install-deps: no Debian archive among the apt sources" >&2; exit 1; }
}

fetch_libdeflate_source() {
    [ -f "$libdeflate_source/lib/deflate_decompress.c" ] && return 0
    version=$(dpkg-query -W -f='${Version}' libdeflate-dev)
    upstream=${version%-*}
    upstream=${upstream#*:}
    if [ "$(id -u)" != 0 ]; then
        echo "libdeflate's sources are missing in $libdeflate_source (run as root to fetch them)" >&2
        exit 1
    fi
    echo "Fetching libdeflate $version (Debian's source package)"
    add_source_entry
    apt-get update -qq
    work=$(mktemp -d)
    chown _apt "$work" 2>/dev/null || true # apt downloads as its own user
    (cd "$work" && apt-get source --download-only -qq "libdeflate=$version" >/dev/null)
    tar -xzf "$work/libdeflate_$upstream.orig.tar.gz" -C "$work"
    mkdir -p "$(dirname "$libdeflate_source")"
    rm -rf "$libdeflate_source"
    mv "$work/libdeflate-$upstream" "$libdeflate_source"
    rm -rf "$work"
}

install_packages() {
    packages=""
    for g in $groups; do
        packages="$packages $(group_packages "$g")"
    done
    missing=""
    for p in $packages; do
        dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages:$missing (run as root to install them)" >&2
        exit 1
    fi
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

groups=${*:-build test windows sanitize format bench}
install_packages
case " $groups " in
*" build "*) fetch_libdeflate_source ;;
esac
