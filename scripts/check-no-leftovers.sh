#!/usr/bin/env bash
# Fails when a process of ours (the console, a station, a service or a test's
# look-alike of one) is still alive, e.g. after ctest: a test must end what it starts.
set -uo pipefail
left=$(ps -eo pid=,comm= | awk '$2 ~ /^(taviro|taviro-station|Taviro)/')
if [ -n "$left" ]; then
  echo "Nog draaiende processen van Taviro:" >&2
  ps -o pid,ppid,etime,args -p "$(awk '{print $1}' <<<"$left" | paste -sd,)" >&2
  exit 1
fi
