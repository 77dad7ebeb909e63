#!/bin/sh
# Installs the Debian packages the builds and tests need, when they are missing.
set -eu
packages="cmake make ninja-build g++ pkg-config zlib1g-dev libgtest-dev libbenchmark-dev
g++-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 clang libclang-rt-14-dev zip unzip
libnvtt-bin time"
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
apt-get install -y -qq $missing >/dev/null
