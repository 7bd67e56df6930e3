#!/usr/bin/env bash
# Installs every Debian package the console, its services and its tests need.
# Runs as root, or through sudo when started by an ordinary user.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
mapfile -t packages < <(grep -v '^\s*#' "$here/packages.txt" | sed '/^\s*$/d')
"${as_root[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
