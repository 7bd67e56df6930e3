#!/usr/bin/env bash
# Makes the Debian package from an already built build/ (or $1), checks it
# with lintian and a link check over its documents, installs it and follows
# docs/install.md as a new installer would: the database by the guide's
# command, the console as an operator in group taviro, the station as its own
# account with /etc/taviro/station.env. Then checks modes and ownership of
# everything Taviro made, that an account outside the group can read none of
# it, and that console and station both ran and stopped cleanly.
# Run as root on a machine that may keep the package and the test accounts
# (CI's fresh machine); it refuses to touch a database it did not make.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
operator=taviro-proef-op
outsider=taviro-proef-buiten
password='Proef-Wachtwoord-4711'
database=/var/lib/taviro/taviro.db
marker=/var/lib/taviro/.check-package

fail() { echo "check-package: $*" >&2; exit 1; }
mode_of() { stat -c '%a' "$1"; }
group_of() { stat -c '%G' "$1"; }

# ---- The package: lintian and its documents -------------------------------
if ! grep -q '^TAVIRO_HARDENING:BOOL=ON' "$build/CMakeCache.txt"; then
  fail "$build is niet met -DTAVIRO_HARDENING=ON gebouwd (scripts/build.sh doet dat)"
fi
rm -f "$build"/taviro_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/taviro_*_amd64.deb)
echo "Pakket: $deb"

# Errors and hardening tags fail the check; other warnings are printed.
lintian --no-tag-display-limit "$deb" | tee "$build/lintian.txt" || true
grep -q '^E:' "$build/lintian.txt" && fail "lintian meldt fouten in $deb"
grep -q 'hardening-' "$build/lintian.txt" && fail "lintian mist hardening in $deb"

apt-get install -y "$deb"

# Every relative link in the installed documents leads to an installed file.
doc=/usr/share/doc/taviro
test -f "$doc/install.md" || fail "$doc/install.md ontbreekt"
broken=0
for page in "$doc"/*.md; do
  while IFS= read -r target; do
    target=${target%%#*}
    [ -z "$target" ] && continue
    [ -e "$(dirname "$page")/$target" ] || { echo "Verwijzing naar $target in $page leidt nergens heen" >&2; broken=1; }
  done < <(grep -o '](\([A-Za-z0-9._/-]*\)\(#[^)]*\)\?)' "$page" | sed 's/^](//; s/)$//' | grep -v '://' || true)
done
[ "$broken" = 0 ] || fail "gebroken verwijzingen in $doc"

# ---- 1. The package: group, account, folders ------------------------------
getent group taviro >/dev/null || fail "geen groep taviro"
getent passwd taviro >/dev/null || fail "geen systeemaccount taviro"
id -nG taviro | tr ' ' '\n' | grep -qx dialout || fail "account taviro niet in dialout"
test "$(stat -c '%a %G' /var/lib/taviro)" = "2770 taviro" || fail "/var/lib/taviro heeft de verkeerde rechten"
test "$(stat -c '%a %G' /var/log/taviro)" = "2770 taviro" || fail "/var/log/taviro heeft de verkeerde rechten"
test "$(stat -c '%a %G' /etc/taviro)" = "2750 taviro" || fail "/etc/taviro heeft de verkeerde rechten"
grep -Eq '^RestartPreventExitStatus=.*\b3\b' /lib/systemd/system/taviro-station.service \
  || fail "de unit start een station met een onbruikbare database eindeloos opnieuw"

# Test accounts: an operator (the guide's "adduser jan taviro") and someone
# with a login on the machine who is not in the control room.
for account in "$operator" "$outsider"; do
  getent passwd "$account" >/dev/null || adduser --quiet --disabled-password --gecos '' "$account"
done
adduser --quiet "$operator" taviro
if id -nG "$outsider" | tr ' ' '\n' | grep -qx taviro; then fail "$outsider hoort niet in taviro"; fi

# ---- 2. The database, by the guide's command (as root) ---------------------
if [ -e "$database" ]; then
  [ -e "$marker" ] || fail "$database bestaat al en is niet door dit script gemaakt; draai het op een proefmachine"
  rm -f "$database" "$database"-wal "$database"-shm "$database".2* "$marker"
fi
printf '%s\n' "$password" | taviro-db create "$database" --login beheer --name 'Beheerder' --password-file -
touch "$marker"
test "$(mode_of "$database")" = 660 || fail "$database heeft rechten $(mode_of "$database"), niet 660"
test "$(group_of "$database")" = taviro || fail "$database hoort niet bij groep taviro"
if tr '\0' '\n' <"$database" | grep -q "$password"; then fail "het wachtwoord staat leesbaar in $database"; fi
rm -f /var/log/taviro/*.txt

in_own_pids() { unshare --pid --fork --mount-proc "$@"; }

# ---- 3. The console, as an operator ----------------------------------------
status=0
in_own_pids runuser -u "$operator" -- env -i PATH=/usr/bin:/bin HOME="/home/$operator" \
  QT_QPA_PLATFORM=offscreen TAVIRO_NONINTERACTIVE=1 TAVIRO_NO_SOUND=1 \
  timeout -s TERM 10 taviro beheer "$password" bemand 2>"$build/console-stderr.txt" || status=$?
# timeout says 124 when it had to send SIGTERM: the console was still running.
if [ "$status" != 124 ]; then
  cat "$build/console-stderr.txt" >&2
  fail "de console van $operator eindigde met $status"
fi
grep -q '^Taviro gestart' "$build/console-stderr.txt" || fail "de console van $operator is niet opgestart"
log=$(cat /var/log/taviro/*.txt)
grep -q "Taviro gestart met database $database" <<<"$log" || fail "geen startregel in /var/log/taviro"
grep -q "Taviro gestopt door signaal SIGTERM" <<<"$log" || fail "geen stopregel in /var/log/taviro"
if sed -n '/Taviro gestopt door signaal/,$p' <<<"$log" | grep -q 'opnieuw starten'; then
  fail "na de stop wordt een dienst opnieuw gestart"
fi
test -f /var/log/taviro/overzicht.xsl || fail "geen stijlblad in /var/log/taviro"

# ---- 4. The station, as its own account -----------------------------------
printf 'TAVIRO_STATION=proefstation\n' >/etc/taviro/station.env
chgrp taviro /etc/taviro/station.env
chmod 640 /etc/taviro/station.env
set -a; . /etc/taviro/station.env; set +a
status=0
in_own_pids runuser -u taviro -- env -i PATH=/usr/bin:/bin HOME=/var/lib/taviro TAVIRO_STATION="$TAVIRO_STATION" \
  timeout -s TERM 10 taviro-station 2>"$build/station-stderr.txt" || status=$?
if [ "$status" != 124 ]; then
  cat "$build/station-stderr.txt" >&2
  fail "het station eindigde met $status"
fi
grep -q '^Taviro-station gestart' "$build/station-stderr.txt" || fail "het station is niet opgestart"
grep -q "Taviro-station proefstation gestopt door signaal SIGTERM" /var/log/taviro/*.txt || fail "geen stopregel van het station"
if grep -q '^<[0-7]>' "$build/station-stderr.txt"; then fail "journaalvoorvoegsels op een stderr die geen journaal is"; fi

# Under a running systemd, the unit too.
if [ -d /run/systemd/system ]; then
  systemctl start taviro-station
  sleep 5
  systemctl is-active --quiet taviro-station || { systemctl status taviro-station >&2 || true; fail "taviro-station.service draait niet"; }
  systemctl stop taviro-station
fi

# ---- 5. What Taviro made: modes, owners, and nothing for outsiders --------
while IFS= read -r file; do
  case "$file" in
    "$marker") continue ;;
    /etc/taviro/station.env) continue ;; # made above by root, as the guide says
  esac
  mode=$(mode_of "$file")
  [ "$(group_of "$file")" = taviro ] || fail "$file hoort bij groep $(group_of "$file"), niet taviro"
  [ $((0$mode & 7)) = 0 ] || fail "$file is leesbaar voor anderen (rechten $mode)"
  case "$file" in
    *.db|*.db-wal|*.db-shm|*.txt|*.eml|*.json|*.lock)
      [ "$mode" = 660 ] || fail "$file heeft rechten $mode, niet 660" ;;
  esac
  if runuser -u "$outsider" -- test -r "$file"; then fail "$outsider kan $file lezen"; fi
done < <(find /var/lib/taviro /var/log/taviro /etc/taviro -type f)
for dir in /var/lib/taviro /var/log/taviro /etc/taviro; do
  if runuser -u "$outsider" -- ls "$dir" >/dev/null 2>&1; then fail "$outsider kan $dir lezen"; fi
done
test -e "$database-wal" && { test "$(mode_of "$database-wal")" = 660 || fail "$database-wal is niet 660"; }

# A read-only database ends the station with 3, which the unit does not restart.
chmod 440 "$database"
status=0
in_own_pids runuser -u taviro -- env -i PATH=/usr/bin:/bin HOME=/var/lib/taviro \
  timeout -s TERM 20 taviro-station 2>"$build/station-readonly.txt" || status=$?
chmod 660 "$database"
[ "$status" = 3 ] || { cat "$build/station-readonly.txt" >&2; fail "een alleen-lezen database gaf $status, niet 3"; }
grep -q "alleen-lezen voor gebruiker taviro" "$build/station-readonly.txt" || fail "geen duidelijke melding bij een alleen-lezen database"

echo "Pakket geïnstalleerd, console en station gestart en gestopt, rechten in orde"
