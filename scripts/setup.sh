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
add_i386=1
dpkg --print-foreign-architectures | grep -qx i386 && add_i386=0

# The packages given, one a line, but wine32.
without_wine32() {
    local package
    for package in "$@"; do [[ "$package" == wine32:i386 ]] || echo "$package"; done
}

# Noted when wine32 could not be installed: for an hour it is not tried again.
no_wine32=${TMPDIR:-/tmp}/portolan-setup-no-wine32
if [[ -n "$(find "$no_wine32" -mmin -60 2>/dev/null)" ]]; then
    mapfile -t packages < <(without_wine32 "${packages[@]}")
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
# A mirror in the middle of a sync fails one index now and then: try again,
# then go on with the lists that did come (the install says if one is missing).
for attempt in 1 2 3; do
    "${sudo_cmd[@]}" apt-get update && break
    if ((attempt < 3)); then
        sleep 10
    else
        echo "setup: apt-get update failed; installing from the lists it has" >&2
    fi
done
# No recommends: what Wine recommends (Gecko, Mono, fonts of all kinds) is
# not needed here. Nothing installed is removed to make room.
apt_install() { "${sudo_cmd[@]}" apt-get install -y --no-install-recommends --no-remove "$@"; }
# An i386 library must have its amd64 twin's version: when the security
# suite's i386 index did not come, the release alone has both.
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
if ! apt_install "${missing[@]}" && ! apt_install -t "$release" "${missing[@]}"; then
    # Without wine32 the 32-bit checks say in one line that they did not run.
    mapfile -t others < <(without_wine32 "${missing[@]}")
    ((${#others[@]} < ${#missing[@]})) || exit 1
    echo "setup: wine32:i386 cannot be installed now; installing the rest" >&2
    touch "$no_wine32"
    apt_install "${others[@]}"
fi
