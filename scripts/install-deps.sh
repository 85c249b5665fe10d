#!/usr/bin/env bash
# Installs the Debian packages the project needs, only when one of them is missing.
set -euo pipefail
PACKAGES=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qtbase5-dev-tools
    p7zip-full genisoimage xorriso
    shared-mime-info fonts-dejavu-core
    xvfb xauth xdotool imagemagick
    util-linux fdisk dosfstools mtools syslinux syslinux-common isolinux
    policykit-1 fuseiso fusefat eject jq wimtools
    qemu-system-x86 ovmf nasm grub-efi-amd64-bin grub-pc-bin grub-common
    desktop-file-utils appstream dbus polkitd pkexec dpkg-dev
)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
