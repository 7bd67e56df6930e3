#!/usr/bin/env bash
# Makes the Debian package from an already built build/ (or $1), checks it
# with lintian, installs it as an installer would, makes a demo database with
# the installed taviro-db and starts the installed console offscreen for a few
# seconds; its day file in the installed Logger folder must say it started and
# that SIGTERM ended it. Run as root on a machine that may keep the package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)

rm -f "$build"/taviro_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/taviro_*_amd64.deb)
echo "Pakket: $deb"

# Errors fail the check; warnings are printed for the record.
lintian --no-tag-display-limit "$deb" | tee "$build/lintian.txt" || true
if grep -q '^E:' "$build/lintian.txt"; then
  echo "lintian meldt fouten in $deb" >&2
  exit 1
fi

apt-get install -y "$deb"
getent group taviro >/dev/null
test "$(stat -c '%a %G' /var/lib/taviro)" = "2770 taviro"
test "$(stat -c '%a %G' /var/log/taviro)" = "2770 taviro"

database=/var/lib/taviro/taviro.db
if [ ! -e "$database" ]; then
  taviro-db create --demo "$database"
fi
test "$(( 0$(stat -c '%a' "$database") & 7 ))" = 0

# In a PID namespace of its own, so it can end no process outside it.
status=0
unshare --pid --fork --mount-proc \
  env QT_QPA_PLATFORM=offscreen TAVIRO_NONINTERACTIVE=1 TAVIRO_NO_SOUND=1 \
  timeout -s TERM 8 taviro demo demo bemand || status=$?
# timeout says 124 when it had to send SIGTERM: the console was still running.
if [ "$status" != 124 ] && [ "$status" != 0 ]; then
  echo "De geïnstalleerde console eindigde met $status" >&2
  exit 1
fi
log=$(cat /var/log/taviro/*.txt)
grep -q "Taviro gestart met database $database" <<<"$log" || { echo "Geen startregel in /var/log/taviro" >&2; exit 1; }
grep -q "Taviro gestopt door signaal SIGTERM" <<<"$log" || { echo "Geen stopregel in /var/log/taviro" >&2; exit 1; }
test -f /var/log/taviro/overzicht.xsl
echo "Pakket geïnstalleerd en gestart: in orde"
