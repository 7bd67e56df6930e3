#!/usr/bin/env bash
# Fails when a process of ours (the console, a station, a service or a test's
# look-alike of one) is still alive, e.g. after ctest: a test must end what it starts.
# A program that is just ending gets a few seconds; one that has ended and
# waits only to be reaped (state Z, "defunct") is no longer running.
set -uo pipefail
ours() { ps -eo pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /^(taviro|taviro-station|Taviro)/'; }
left=$(ours)
for _ in 1 2 3 4 5 6 7 8 9 10; do
  [ -z "$left" ] && break
  sleep 1
  left=$(ours)
done
if [ -n "$left" ]; then
  echo "Nog draaiende processen van Taviro:" >&2
  ps -o pid,ppid,stat,etime,args -p "$(awk '{print $1}' <<<"$left" | paste -sd,)" >&2
  exit 1
fi
