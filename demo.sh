#!/usr/bin/env bash
# Runs the updater through a whole update against the bundled demo server.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
#
# The demo runs signed, as a vendor would publish: it makes a demo key pair
# in demo-run/ (once; kept between runs, never committed), builds the
# updater with its public key in build/demo (never in build/release, which
# packages are made from), and signs the demo server's catalogue with
# quorvin-publish before the updater fetches it.
#
# QUORVIN_DEMO_BUILD=DIR takes the programs from an existing build folder.
# With a reachable display you work the window yourself; without one the
# window runs on a virtual display (Xvfb) and tools/demo/drive.sh works it,
# saving a screenshot of each phase in demo-run/screenshots/.
# Exits 0 only when the update has landed in the demo tree.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
demo=$root/demo-run
port=8047

tools/install-packages.sh

mkdir -p "$demo"
secret_key=$demo/demo-secret.key
public_key_file=$demo/demo-public.key
# make_demo_key PUBLISH_TOOL: the demo's key pair, made on the first run.
make_demo_key() {
  if [ ! -f "$secret_key" ]; then
    rm -f "$public_key_file"
    "$1" keygen "$secret_key" >"$public_key_file.new"
    mv "$public_key_file.new" "$public_key_file"
    echo "demo: made the demo key pair $secret_key (public key: $(cat "$public_key_file"))"
  fi
}

# QUORVIN_DEMO_BUILD names an existing build folder to take the programs
# from instead (e.g. build/dev), skipping the demo build.  The demo build
# has a folder of its own (build/demo): a program that trusts the demo key
# must never be packaged from build/release.
if [ -n "${QUORVIN_DEMO_BUILD:-}" ]; then
  build=$(cd "$QUORVIN_DEMO_BUILD" && pwd)
  publish_binary=$build/tools/quorvin-publish/quorvin-publish
  make_demo_key "$publish_binary"
  built_key=$(sed -n 's/^QUORVIN_CATALOGUE_PUBLIC_KEY:STRING=//p' "$build/CMakeCache.txt")
  if [ -z "$built_key" ]; then
    echo "demo: note: $build verifies no signature (built without QUORVIN_CATALOGUE_PUBLIC_KEY)"
  elif [ "$built_key" != "$(cat "$public_key_file")" ]; then
    echo "demo: $build verifies catalogues with another key than $public_key_file" >&2
    exit 1
  fi
else
  cmake --preset demo
  cmake --build --preset demo --target quorvin-publish
  make_demo_key "$root/build/demo/tools/quorvin-publish/quorvin-publish"
  cmake --preset demo -DQUORVIN_CATALOGUE_PUBLIC_KEY="$(cat "$public_key_file")"
  cmake --build --preset demo --target quorvin-updater quorvin-demo-server quorvin-publish
  build=$root/build/demo
  publish_binary=$build/tools/quorvin-publish/quorvin-publish
fi
updater_binary=$build/src/app/quorvin-updater
server_binary=$build/tools/demo-server/quorvin-demo-server

# --- Everything started below is stopped on the way out --------------------
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then echo "demo: no $what within $seconds s" >&2; exit 1; fi
    sleep 0.1
  done
}

tools/demo/layout.sh "$updater_binary" "$demo"
tree=$demo/updater
# The vendor's step: digests, serial and expiry into the catalogue, then its signature.
"$publish_binary" sign --expires 30 "$secret_key" "$demo/server"

# A running Payroll holds its tax tables open: the updater must list that
# component as in use and leave it alone.
tools/demo/hold-open.sh "$tree/Payroll/taxtables.dat" &
pids+=($!)

if curl -s -o /dev/null "http://127.0.0.1:$port/"; then
  echo "demo: port $port is already taken; stop what listens there first" >&2
  exit 1
fi
"$server_binary" --port "$port" --root "$demo/server" >"$demo/server.log" 2>&1 &
server_pid=$!
pids+=("$server_pid")
server_answers() {
  kill -0 "$server_pid" 2>/dev/null || { cat "$demo/server.log" >&2; exit 1; }
  curl -sf -o /dev/null "http://127.0.0.1:$port/download/allfiles.ini" &&
    curl -sf -o /dev/null "http://127.0.0.1:$port/download/allfiles.ini.sig"
}
wait_for 10 "answer from the demo server" server_answers
echo "demo: server on http://127.0.0.1:$port/ serving $demo/server"

display_reachable() { [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; }

if display_reachable; then
  echo "demo: press Next, then Update (the window is yours; the demo goes on when it closes)"
  "$tree/quorvin-updater" || true
else
  # A free display number: no lock file and no socket for it.
  number=99
  while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
    number=$((number + 1))
  done
  export DISPLAY=:$number
  # -noreset: the server must not restart when the readiness probe disconnects.
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp -noreset >"$demo/xvfb.log" 2>&1 &
  pids+=($!)
  display_up() { xdpyinfo >/dev/null 2>&1; }
  wait_for 20 "virtual display $DISPLAY" display_up
  echo "demo: no display; running on the virtual display $DISPLAY"

  "$tree/quorvin-updater" >"$demo/updater.log" 2>&1 &
  updater_pid=$!
  pids+=("$updater_pid")
  tools/demo/drive.sh "$updater_pid" "$tree" "$demo/screenshots"
  wait "$updater_pid" || true
fi

# --- What the update did ---------------------------------------------------
for ini in "$tree"/*/Version.ini "$tree"/*/*/Version.ini; do
  [ -f "$ini" ] || continue
  echo "== ${ini#"$root"/}"
  tr -d '\r' <"$ini"
done

# value FOLDER SECTION KEY: the entry of that folder's Version.ini.
value() {
  tr -d '\r' <"$tree/$1/Version.ini" |
    awk -v section="[$2]" -v key="$3" '
      /^\[/ { inside = (tolower($0) == tolower(section)); next }
      inside && index($0, "=") { k = substr($0, 1, index($0, "=") - 1)
                                 if (tolower(k) == tolower(key)) { print substr($0, index($0, "=") + 1); exit } }'
}
ok=1
expect() { # FOLDER SECTION KEY VALUE
  local actual
  actual=$(value "$1" "$2" "$3")
  if [ "$actual" = "$4" ]; then
    echo "demo: ok   $1 [$2] $3=$actual"
  else
    echo "demo: FAIL $1 [$2] $3=$actual, expected $4"
    ok=0
  fi
}
expect Accounts Accounts Main 2.4.010
expect Accounts Accounts Ledger 2.4.003
expect Payroll Payroll Main 3.1.002
expect Payroll Payroll TaxTables 2025.2.000   # held open: left alone
expect Reports Reports Templates 1.6.001
expect Archive/Accounts-2019 Accounts Main 1.9.000   # only the first installation is updated
grep -q 2.4.010 "$tree/Accounts/accounts" || { echo "demo: FAIL Accounts/accounts not replaced"; ok=0; }
# A signed build records the serial of each catalogue it accepted.
if [ -f "$tree/catalogue-serial.txt" ]; then
  echo "demo: ok   signed catalogue verified (serial $(tr -d '\r\n' <"$tree/catalogue-serial.txt"))"
elif [ -n "$(sed -n 's/^QUORVIN_CATALOGUE_PUBLIC_KEY:STRING=//p' "$build/CMakeCache.txt")" ]; then
  echo "demo: FAIL the signed build recorded no catalogue serial"
  ok=0
fi

if [ $ok -ne 1 ]; then
  echo "demo: the update did not run through"
  exit 1
fi
if compgen -G "$demo/screenshots/*.png" >/dev/null; then
  mkdir -p docs/screenshots
  cp "$demo"/screenshots/*.png docs/screenshots/
  echo "demo: screenshots in $demo/screenshots (copied to docs/screenshots)"
fi
echo "demo: update complete"
