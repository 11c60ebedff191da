#!/usr/bin/env bash
# Installs every package the build and the tests need on Debian 12 (idempotent).
# Run as root, or with sudo available.
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

# Native build and unit tests.
native_pkgs=(cmake ninja-build g++ make googletest libgtest-dev pkg-config clang libclang-rt-14-dev)
# 32-bit Windows cross toolchain.
cross_pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
            g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev)
# Running and looking at the programs: Wine, a headless X server, screenshots. wine32 runs the 32-bit
# programs where the kernel can execute 32-bit code; wine64 runs the 64-bit build of the same sources
# where it cannot (see docs/architecture.md). tzdata gives the tests a time zone other than UTC.
wine_pkgs=(wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick tzdata)
# The help file's compiler (chmcmd, with chmls to look inside the result).
help_pkgs=(fp-utils-3.2.2)
# Peers the archive and crypto tests compare against.
peer_pkgs=(zip unzip p7zip-full openssl python3 zlib1g-dev libdeflate-dev)

all=("${native_pkgs[@]}" "${cross_pkgs[@]}" "${wine_pkgs[@]}" "${help_pkgs[@]}" "${peer_pkgs[@]}")

missing=()
for p in "${all[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: done"
