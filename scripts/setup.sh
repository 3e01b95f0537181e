#!/bin/sh
# Installs every Debian package that building, running and testing the demo
# needs. Idempotent: apt-get runs only when something is missing, and it says
# what it installs.
set -eu

PACKAGES="
build-essential cmake pkg-config
libsdl2-dev libassimp-dev libfreetype-dev libglm-dev libstb-dev libgl-dev
libgtest-dev
xvfb xauth x11-utils libgl1-mesa-dri mesa-utils ccache
xdotool imagemagick python3 python3-xlib xfonts-base
fonts-dejavu-core
libembree-dev nlohmann-json3-dev
clang clang-tidy libclang-rt-14-dev
assimp-utils assimp-testmodels
python3-matplotlib
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    echo "setup: all packages present"
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

echo "setup: installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
echo "setup: done"
