#!/usr/bin/env bash
# Installs the Debian packages kSable builds and tests with, only those that are missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libjpeg62-turbo-dev
    googletest libgtest-dev libgmock-dev
    clang libclang-rt-14-dev clang-format
    libxcb1-dev libcrypt-dev xvfb xauth xdotool shared-mime-info fonts-dejavu-core trash-cli
    zip unzip p7zip-full fastjar
    jlha-utils lhasa gcab cabextract
    arj
    libarchive-dev libarchive-tools xz-utils bzip2 zstd genisoimage dpkg-dev
    python3-pyftpdlib vsftpd
    desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
