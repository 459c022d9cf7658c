#!/bin/bash
# Installs every Debian package the project needs to build, test and run.
# Idempotent: returns at once when everything is present. Needs root (or
# password-less sudo) only when something is missing.
set -euo pipefail

PACKAGES=(
    # toolchain
    build-essential cmake ninja-build pkg-config git
    # media: FFmpeg libraries and the ffmpeg program (the converter's remux
    # tool and the sample generator)
    ffmpeg libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev
    libswscale-dev libswresample-dev
    # display and sound
    libsdl2-dev libglew-dev libgl-dev libegl-dev libgl1-mesa-dri libegl-mesa0 libx11-dev
    # automatic calibration
    libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
    # the viewer: GTK 3, the map browser, icons, a font with the Chinese
    # texts, the update scripts (library for the check, interpreter for the
    # updater)
    libgtk-3-dev libwebkit2gtk-4.1-dev adwaita-icon-theme librsvg2-common
    fonts-wqy-microhei liblua5.1-0-dev lua5.1
    # the map pages' server and the map library compiled into the program
    libsoup-3.0-dev libjs-leaflet
    # kvptool
    libcli11-dev nlohmann-json3-dev
    # the evidence package's SHA-256 (OpenSSL's EVP digests)
    libssl-dev
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth gpsbabel
    # viewer tests: the screenshot's PNG (gdk-pixbuf comes with GTK), e2fsprogs'
    # chattr for a read-only settings folder
    e2fsprogs
    # checks: the format check, clang's thread-safety analysis, the libFuzzer
    # targets (clang's libFuzzer and sanitizer runtimes)
    clang clang-format libclang-rt-dev
    # the map pages' test in a second browser (headless)
    chromium
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=
[[ $(id -u) -eq 0 ]] || SUDO="sudo -n"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
