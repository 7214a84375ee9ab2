#!/usr/bin/env bash
# Installs from Debian whatever the build, the tools and the tests need and
# the machine lacks. Safe to run again: it installs nothing when all is there.
set -euo pipefail

packages=(
    cmake ninja-build g++ make
    libgtest-dev libgmock-dev nlohmann-json3-dev
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
    wine64 wine32:i386 xvfb fonts-wine imagemagick
    fp-utils python3-chm python3-pefile usb.ids
    zip unzip python3
    clang libclang-rt-14-dev llvm-14
)

# wine32 runs the 32-bit exes in the same 64-bit prefix, as WOW64 does; its
# packages come from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    add_i386=1
else
    add_i386=0
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0 && add_i386 == 0)); then
    exit 0
fi

echo "setup: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null 2>&1 || { echo "setup: need root or sudo to install packages" >&2; exit 1; }
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
if ((add_i386)); then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update
# No recommends: what Wine recommends (Gecko, Mono, fonts of all kinds) is
# not needed here.
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
