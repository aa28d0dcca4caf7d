#!/bin/sh
# Readies the Wine prefix of the relay tests (made first when missing, like every prefix of the
# scripts: see wine_prefix_open in scripts/wine-lib.sh). In the first session of a fresh prefix
# the relay driver's service is installed but never starts, so the device gets no driver and its
# interfaces never appear; from the next session on it works. This installs and removes the device
# once and ends the session, once per prefix.
#   prepare-relay-prefix.sh FOLDER-OF-orvelin-standin.exe   (WINEPREFIX set)
set -u
standin=$1
# shellcheck source=scripts/wine-lib.sh
. "$(dirname "$0")/../../scripts/wine-lib.sh"
wine_prefix_open "$WINEPREFIX" || exit 1
marker="$WINEPREFIX/.orvelin-relay-ready"
[ -f "$marker" ] && exit 0
wine "$standin/orvelin-standin.exe" install "$standin/orvelin_relay.inf" >/dev/null 2>&1
wine "$standin/orvelin-standin.exe" remove >/dev/null 2>&1
wineserver -w
touch "$marker"
