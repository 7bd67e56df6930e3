#!/usr/bin/env bash
# Runs the engine's database tests a second time, against a real PostgreSQL
# server that lives only for this run (scripts/pg-test-server.sh). Expects a
# build folder made by scripts/test.sh (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
# The tests that reach the database through TestDatabase and only speak
# portable SQL; the rest stay SQLite-only (file copies, read-only files).
# tst_pgfailover brings a replicated pair of servers of its own and runs
# only here, as does tst_vanishedserver (a server of its own in a network
# namespace of its own, whose packets it then drops).
tests='^(tst_connector|tst_repositories|tst_reportstore|tst_console|tst_smswait|tst_badinput|tst_stations|tst_claims|tst_copy|tst_reportqueries|tst_overzicht|tst_dutyresolver|tst_watchdog|tst_pgfailover|tst_chaos|tst_heartbeat|tst_roomintake|tst_sharedroom|tst_escalation|tst_roomstatus|tst_vanishedserver|tst_outbox|tst_roomsimulation|tst_roomduties)$'
export QT_QPA_PLATFORM=offscreen
# Several tests at once each make a database of their own on the one server.
"$root/scripts/pg-test-server.sh" run \
  ctest --test-dir "$dir" --output-on-failure --timeout 300 -j "$(nproc)" -R "$tests"
