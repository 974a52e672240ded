#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, and nothing that is there already.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # The exe check reads the PE image with pefile.
  python3-pefile
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  # Running the executable: 32-bit Wine, a virtual X server, input and screen reading.
  wine wine32:i386 xvfb xdotool x11-utils imagemagick
  # The footprint comparison's screen watcher (bench/footprint.sh).
  libx11-dev
  # The one format (scripts/format.sh) and the test budget's line counts (scripts/budget.sh).
  clang-format cloc
)

# Wine's 32-bit half comes from the i386 architecture.
added_architecture=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  added_architecture=1
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ] || [ "$added_architecture" = 1 ]; then
  echo "Installing: ${missing[*]:-}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  [ ${#missing[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
