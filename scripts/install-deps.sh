#!/usr/bin/env bash
# Installs the Debian packages the build and tests need; does nothing when all are present.
set -euo pipefail

native=(cmake g++ make ninja-build clang libclang-rt-14-dev libgtest-dev libgmock-dev
        libbenchmark-dev libpugixml-dev g++-mingw-w64-i686 binutils-mingw-w64-i686
        xvfb xauth x11-apps imagemagick fonts-wine ogre-1.12-tools libogre-1.12-dev)
i386=(wine32:i386)

missing=()
for p in "${native[@]}" "${i386[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
command -v wine >/dev/null 2>&1 || missing+=(wine)
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
