#!/usr/bin/env bash
# Installs the Debian packages the build and tests need; does nothing when all are present.
#
#   install-deps.sh          everything ./test.sh needs
#   install-deps.sh demo     only what ./demo.sh needs: the native build and the plug-in's build
#
# A package index that cannot be fetched is a warning: apt works with the indexes it has. Where
# 32-bit Wine cannot be installed or the kernel runs no 32-bit programs, 64-bit Wine is installed
# instead and the Windows tests run against the 64-bit test build.
set -uo pipefail

level=${1:-all}
demo=(cmake g++ make g++-mingw-w64-i686 binutils-mingw-w64-i686)
tests=(clang python3-jsonschema libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
       g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 xvfb xauth x11-apps imagemagick fonts-wine
       ogre-1.12-tools libogre-1.12-dev assimp-utils locales unzip file dpkg-dev)

say() { echo "install-deps: $*" >&2; }

# Packages of the list that are not installed, one dpkg-query for all.
missing_of() {
  local installed
  installed=$(dpkg-query -W -f='${Package}:${Architecture} ${Status}\n' "$@" 2>/dev/null |
    sed -n 's/ install ok installed$//p')
  local p
  for p in "$@"; do
    case "$p" in
    *:*) grep -qx "$p" <<<"$installed" || echo "$p" ;;
    *) grep -q "^$p:" <<<"$installed" || echo "$p" ;;
    esac
  done
}

# A 32-bit x86 program that only exits with status 42: whether this kernel runs 32-bit programs
# at all (some container and cloud kernels have IA-32 emulation switched off).
runs_32bit() {
  local elf
  elf=$(mktemp) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$elf"
  chmod +x "$elf"
  "$elf" 2>/dev/null
  local rc=$?
  rm -f "$elf"
  [ $rc -eq 42 ]
}

need=("${demo[@]}")
[ "$level" = demo ] || need+=("${tests[@]}")
mapfile -t missing < <(missing_of "${need[@]}")
# The locale tests need a locale whose decimal separator is a comma.
want_locale=0
if [ "$level" != demo ] && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  want_locale=1
fi
# Either Wine will do: 32-bit is only tried where none is installed yet.
want_wine=0
if [ "$level" != demo ] && [ -n "$(missing_of wine)" -o "$(missing_of wine32:i386 wine64 | wc -l)" -eq 2 ]; then
  want_wine=1
fi
[ ${#missing[@]} -eq 0 ] && [ $want_wine -eq 0 ] && [ $want_locale -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ] && [ ${#missing[@]} -eq 0 ] && [ $want_wine -eq 0 ]; then
  say "warning: no de_DE.UTF-8 locale (run as root to generate it); the locale tests will be skipped"
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  say "missing packages (${missing[*]}$([ $want_wine -eq 1 ] && echo ' wine')); run as root to install them"
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive

updated=0
update_index() {
  [ $updated -eq 1 ] && return 0
  updated=1
  local try
  for try in 1 2; do
    if apt-get update -qq 2>/tmp/install-deps.$$; then
      rm -f /tmp/install-deps.$$
      return 0
    fi
    sed 's/^/  /' /tmp/install-deps.$$ >&2
    rm -f /tmp/install-deps.$$
    [ $try -eq 1 ] && say "warning: a package index could not be fetched; retrying once"
  done
  say "warning: going on with the package indexes that could be fetched"
}

# Installs the packages, all at once or, when apt refuses the set, one by one so that one
# unavailable package does not keep the others out. Prints the ones that stayed missing.
install() {
  [ $# -eq 0 ] && return 0
  update_index
  say "installing $*"
  apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>/tmp/install-deps.$$ && {
    rm -f /tmp/install-deps.$$
    return 0
  }
  local p
  for p in "$@"; do
    apt-get install -y -qq --no-install-recommends "$p" >/dev/null 2>/tmp/install-deps.$$ ||
      { say "cannot install $p:"; sed 's/^/  /' /tmp/install-deps.$$ >&2; }
  done
  rm -f /tmp/install-deps.$$
  missing_of "$@" | grep -q . && return 1
  return 0
}

status=0
# What the demo needs first, so that a failure further down never keeps it from building.
mapfile -t first < <(missing_of "${demo[@]}")
install "${first[@]}" || status=1
if [ "$level" != demo ]; then
  mapfile -t rest < <(missing_of "${tests[@]}")
  install "${rest[@]}" || status=1
fi

if [ $want_wine -eq 1 ]; then
  wine_done=0
  if runs_32bit; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      dpkg --add-architecture i386
      updated=0
    fi
    if install wine wine32:i386 2>/dev/null; then
      wine_done=1
    else
      say "32-bit Wine could not be installed; installing 64-bit Wine instead (the Windows tests then run against the 64-bit test build)"
    fi
  else
    say "this kernel runs no 32-bit programs; installing 64-bit Wine (the Windows tests run against the 64-bit test build)"
  fi
  if [ $wine_done -eq 0 ] && ! install wine wine64; then
    say "warning: no Wine could be installed; the Windows tests will be reported as skipped"
  fi
fi
if [ $want_locale -eq 1 ] && [ -f /etc/locale.gen ]; then
  say "generating the de_DE.UTF-8 locale"
  sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null 2>&1 || say "warning: locale-gen failed; the locale tests will be skipped"
fi
[ $status -ne 0 ] && say "some packages could not be installed (see above)"
exit $status
