#!/usr/bin/env bash
# Installs the Debian 12 packages QuillComponents needs to build, test,
# fuzz (clang with libFuzzer) and run. Idempotent: installs only what is missing, and refreshes the package
# lists only when something must be installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  dpkg-dev file
  libtinyxml-dev
  qt6-base-dev libgl-dev
  libsimavr-dev simavr libelf-dev libdw-dev gdb-avr
  gtkwave
  gcc-avr binutils-avr avr-libc
  arduino-core-avr  # the Arduino core: sketches and scenarios of the tests only
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  fonts-dejavu-core
  locales
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
