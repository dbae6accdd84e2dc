#!/usr/bin/env bash
# Installs the Debian packages Kestrine builds and tests with. Idempotent: quiet when
# everything is already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  portaudio19-dev libjack-jackd2-dev libportmidi-dev libexpat1-dev
  libsndfile1-dev libsoxr-dev liblo-dev liblo-tools
  ableton-link-dev libasio-dev iproute2
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 clang libclang-rt-14-dev
  sox python3
  dpkg-dev file desktop-file-utils
  xvfb xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# jackd2 asks whether to enable real-time priority; answer no without a prompt.
echo "jackd2 jackd/tweak_rt_limits boolean false" | $SUDO debconf-set-selections
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
