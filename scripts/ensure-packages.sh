#!/bin/sh
# Installs those of the Debian packages named as arguments that this machine
# lacks, and nothing else. Called by the configure step, so that the README's
# commands work on a fresh machine. Needs root (or sudo without a password)
# only when something is missing.
set -eu
command -v dpkg-query >/dev/null 2>&1 || exit 0  # not Debian: CMake will say what it misses
missing=""
for pkg in "$@"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $pkg"
  fi
done
[ -z "$missing" ] && exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo -n"
fi
echo "-- installing Debian packages:$missing"
export DEBIAN_FRONTEND=noninteractive
# shellcheck disable=SC2086
$sudo apt-get install -y --no-install-recommends $missing >/dev/null ||
  { $sudo apt-get update >/dev/null && $sudo apt-get install -y --no-install-recommends $missing >/dev/null; } ||
  { echo "could not install:$missing (run: apt-get install$missing)" >&2; exit 1; }
