#!/bin/sh
# The README's commands on a fresh Debian machine, as root: installs make and the basic build
# tools with apt-get when they are missing, then runs make with the arguments. Each target of the
# Makefile installs the rest of what it needs (scripts/install-deps.sh).
#   ./make.sh demo
#   ./make.sh check
set -eu
cd "$(dirname "$0")"
scripts/install-deps.sh build
exec make "$@"
