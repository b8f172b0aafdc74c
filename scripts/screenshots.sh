#!/bin/sh
# Builds the program, fills a throw-away home folder with a few contact databases, runs the
# program under a virtual X display and saves pictures of the main window, a question box, an
# error box, the progress dialog, the iPhone notes box, the tree's context menu, the File menu
# and the about box to screenshots/out/.
#
# The program's screenshot walk is switched on by the environment variable
# TARNWICK_SCREENSHOT_DIR (the folder for the pictures); without it the program runs normally.
#
# Usage: scripts/screenshots.sh [build-dir]   (default: build-screens)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-screens}
out=$root/screenshots/out

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j3 --target tarnwick >/dev/null

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM
data="$home/.local/share/FerroVantis/5D13B7E0A9C24F68B1E07D3C92A4F5E6"
mkdir -p "$data/data" "$data/ios_virtual" "$data/android_virtual"
# A recent check-time file keeps the update check quiet.
date +%s | tr -d '\n' > "$data/last-check-version-time"

schema=$root/resources/db_schema.sql

# fill <file>: a database with a handful of people, two groups and a photo-less contact pane.
fill() {
    sqlite3 "$1" < "$schema"
    sqlite3 "$1" <<'SQL'
INSERT INTO contact_group(_id, name) VALUES (1, 'Family'), (2, 'Work');
INSERT INTO contact(_id, full_name) VALUES
  (1, 'Alice Marchetti'), (2, 'Bruno Okafor'), (3, 'Chiara Lindqvist'),
  (4, 'Dmitri Valdés'), (5, 'Evelyn Brightwater-Kowalczyk'), (6, 'Farid Haddad');
INSERT INTO data(type, contact_id, data1, data2, data3) VALUES
  (1, 1, 'Alice Marchetti', 'Alice', 'Marchetti'),
  (3, 1, '+39 06 5550 1234', '2', ''), (3, 1, '+39 06 5550 9876', '3', ''),
  (4, 1, 'alice.marchetti@example.org', '1', ''),
  (12, 1, 'Via Appia 12
00100 Roma
Italy', '1', ''),
  (10, 1, 'Marchetti Design', '1', ''),
  (6, 1, '1988-04-12', '3', ''),
  (9, 1, 'Prefers calls after 6pm.', '', ''),
  (7, 1, '1', 'Family', ''),
  (1, 2, 'Bruno Okafor', 'Bruno', 'Okafor'),
  (3, 2, '+234 1 555 0199', '2', ''), (4, 2, 'bruno@example.com', '2', ''),
  (7, 2, '2', 'Work', ''),
  (1, 3, 'Chiara Lindqvist', 'Chiara', 'Lindqvist'),
  (3, 3, '+46 8 555 321 00', '1', ''), (7, 3, '1', 'Family', ''),
  (1, 4, 'Dmitri Valdés', 'Dmitri', 'Valdés'),
  (4, 4, 'dmitri.valdes@example.net', '1', ''),
  (1, 5, 'Evelyn Brightwater-Kowalczyk', 'Evelyn', 'Brightwater-Kowalczyk'),
  (3, 5, '+1 415 555 0142', '2', ''),
  (12, 5, '1 Long Street Name That Keeps Going
San Francisco, CA 94107', '2', ''),
  (1, 6, 'Farid Haddad', 'Farid', 'Haddad'), (3, 6, '+961 1 555 777', '17', '');
UPDATE data SET data4 = 'Via Appia 12', data7 = 'Roma', data9 = '00100', data10 = 'Italy'
  WHERE type = 12 AND contact_id = 1;
UPDATE data SET data4 = '1 Long Street Name That Keeps Going', data7 = 'San Francisco', data8 = 'CA',
  data9 = '94107' WHERE type = 12 AND contact_id = 5;
SQL
}

fill "$data/data/Contacts 2024.db"
fill "$data/data/Family-backup.db"
touch -d '2 days ago' "$data/data/Contacts 2024.db"
fill "$data/ios_virtual/Offline iPhone.db"
fill "$data/android_virtual/Pixel 7.db"

rm -rf "$out"
mkdir -p "$out"
# Without a virtual X server the pictures come from Qt's offscreen platform.
if command -v xvfb-run >/dev/null; then
    run() { xvfb-run -a -s "-screen 0 1280x900x24" "$@"; }
else
    run() { QT_QPA_PLATFORM=offscreen "$@"; }
fi
run env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME=$home TARNWICK_SCREENSHOT_DIR=$out \
    "$build/shell/tarnwick"
ls -1 "$out"
