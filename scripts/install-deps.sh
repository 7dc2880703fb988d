#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Tunelark need.
# Non-interactive and harmless to run twice.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
    libcurl4-openssl-dev libsdl2-dev libpugixml-dev libxcb1-dev libx11-dev
    libgtest-dev libbenchmark-dev
    # run: encoders for recordings, fonts, the sound server client libraries
    lame vorbis-tools fonts-dejavu-core libpulse0
    # tests and benchmarks: real servers, sound, display
    icecast2 ffmpeg mpv pulseaudio pulseaudio-utils sox xvfb xdotool x11-utils xcompmgr openbox
    imagemagick python3 curl procps util-linux
    # fuzzing: clang with libFuzzer and the sanitizers (tools/fuzz.sh)
    clang libclang-rt-dev
    # tests: a private session bus and its client for the media controls; the menu entry check
    dbus-daemon dbus-session-bus-common dbus-bin desktop-file-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
