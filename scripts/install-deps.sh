#!/bin/sh
# Install the Debian packages listed in packages.txt that are not installed yet.
# Does nothing (and needs no network) when everything is already there.
set -eu
here=$(dirname "$0")
missing=""
for p in $(grep -v '^#' "$here/packages.txt"); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
