#!/usr/bin/env bash
# Installs, with apt-get, whichever of the Debian packages that building,
# testing and demonstrating the updater need are not installed yet.
# Needs root when something is missing; does nothing when all are there.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
          libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libssl-dev libzstd-dev curl
          nginx-light openssl
          xvfb xauth xdotool imagemagick x11-utils fonts-dejavu-core fonts-liberation time)
# Building the Debian package and checking it.
packages+=(dpkg-dev desktop-file-utils appstream lintian)
# The fuzz and tsan presets: clang, its fuzzer and sanitizer runtimes, and the
# symbolizer that puts names and lines into their reports.
packages+=(clang-14 libclang-rt-14-dev llvm-14)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
