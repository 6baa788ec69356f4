#!/usr/bin/env bash
# Installs whichever of the named Debian packages are missing; quick and silent when none is.
#
#   scripts/apt_need.sh WHO PACKAGE...     (WHO prefixes the one line it prints when it installs)
#
# A package of a foreign architecture (name:i386) adds that architecture first.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: scripts/apt_need.sh WHO PACKAGE..." >&2; exit 64; }
who=$1
shift

missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0

echo "$who: installing ${missing[*]}"
SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
for p in "${missing[@]}"; do
  case $p in
    *:*) arch=${p#*:}
         dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch" ;;
  esac
done
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
