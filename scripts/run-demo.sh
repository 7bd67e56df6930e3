#!/usr/bin/env bash
# Builds the console, makes a demo database when there is none, and starts the
# console logged in as the demo operator, manned.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh"
db=${TAVIRO_DATABASE:-$root/build/Database/taviro.db}
if [ ! -e "$db" ]; then
  mkdir -p "$(dirname "$db")"
  "$root/build/bin/taviro-db" create --demo "$db"
fi
export TAVIRO_DATABASE=$db
exec "$root/build/bin/taviro" demo demo bemand
