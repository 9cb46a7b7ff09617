#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Safe to run again: only missing packages are installed.
set -euo pipefail

packages=(
    cmake ninja-build python3 g++
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    libz-mingw-w64-dev googletest
    wine wine64 fonts-wine xvfb x11-utils file
    fp-utils
    clang libclang-rt-14-dev   # the native sanitizer and fuzz build; the runtimes are only clang's recommendation
    x11-apps imagemagick   # the demo photographs its windows
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
        exit 1
    fi
    echo "setup-deps: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
