#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail

packages=(
  build-essential cmake git libgtest-dev libbenchmark-dev
  # independent readers and writers used by the tests and fixture scripts
  python3 python3-xlrd python3-xlwt libreoffice-calc-nogui gnumeric libgsf-bin
  # the windows, their CJK font, and a display for the window tests
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-arphic-uming xvfb xauth
  # fuzzing
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
