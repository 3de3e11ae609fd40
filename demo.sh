#!/usr/bin/env bash
# Runs the updater through a whole update against the bundled demo server.
# On a fresh Debian 12 machine (as root) it first installs what is missing.
#
# The demo runs under a root of trust, as a vendor would publish: it makes a
# root key and two catalogue keys in demo-run/ and a first root that trusts
# the first catalogue key (once; kept between runs, never committed), builds
# the updater with that root in build/demo (never in build/release, which
# packages are made from), and before the updater fetches anything it
# rotates: the demo server publishes root 2, which trusts the second
# catalogue key instead, and the catalogue is signed with that key only.
# The updater walks from its built-in root to root 2 and installs.
#
# The vendor keeps an archive of earlier releases (demo-run/archive): the
# release the demo tree has installed goes into it, and signing the new
# release makes compressed copies and patches from it.  The demo server
# logs the bytes it sent for each request; the closing lines add them up
# against the whole files' signed sizes.
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
root_key=$demo/demo-root.key
first_catalogue_key=$demo/demo-catalogue-1.key
second_catalogue_key=$demo/demo-catalogue-2.key
first_root=$demo/first.root
# make_demo_trust PUBLISH_TOOL: the demo's keys and first root, made on the
# first run.
make_demo_trust() {
  if [ ! -f "$first_root.sig" ]; then
    rm -f "$root_key" "$first_catalogue_key" "$second_catalogue_key" "$first_root" "$first_root.sig"
    local root_public catalogue_public
    root_public=$("$1" keygen "$root_key")
    catalogue_public=$("$1" keygen "$first_catalogue_key")
    "$1" keygen "$second_catalogue_key" >"$second_catalogue_key.pub"
    "$1" root-create --root-key "demo-root:$root_public" \
      --catalogue-key "demo-catalogue-1:$catalogue_public" "$first_root" >/dev/null
    "$1" root-sign "$root_key" "$first_root" >/dev/null
    echo "demo: made the demo's root key, two catalogue keys and the first root $first_root"
  fi
}

# QUORVIN_DEMO_BUILD names an existing build folder to take the programs
# from instead (e.g. build/dev), skipping the demo build.  The demo build
# has a folder of its own (build/demo): a program that trusts the demo root
# must never be packaged from build/release.
if [ -n "${QUORVIN_DEMO_BUILD:-}" ]; then
  build=$(cd "$QUORVIN_DEMO_BUILD" && pwd)
  publish_binary=$build/tools/quorvin-publish/quorvin-publish
  make_demo_trust "$publish_binary"
  built_root=$(sed -n 's/^QUORVIN_ROOT_FILE:FILEPATH=//p' "$build/CMakeCache.txt")
  built_key=$(sed -n 's/^QUORVIN_CATALOGUE_PUBLIC_KEY:STRING=//p' "$build/CMakeCache.txt")
  if [ -z "$built_root$built_key" ]; then
    echo "demo: note: $build verifies no signature (built without a root of trust)"
  elif [ "$built_root" != "$first_root" ]; then
    echo "demo: $build trusts another root than $first_root" >&2
    exit 1
  fi
else
  cmake --preset demo -DQUORVIN_CATALOGUE_PUBLIC_KEY= >/dev/null
  cmake --build --preset demo --target quorvin-publish
  make_demo_trust "$root/build/demo/tools/quorvin-publish/quorvin-publish"
  cmake --preset demo -DQUORVIN_CATALOGUE_PUBLIC_KEY= -DQUORVIN_ROOT_FILE="$first_root"
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
# The vendor's steps.  A rotation: root 2 trusts the second catalogue key in
# place of the first, signed by the root key.  Then digests, sizes, serial
# and expiry into the catalogue, signed with the second catalogue key, and
# the whole tree checked as the updater will check it.
# The release the demo tree has installed was signed and archived when it
# was published; the archive holds it alone.
"$publish_binary" sign --root "$first_root" "$first_catalogue_key" "$demo/previous" >/dev/null
rm -rf "$demo/archive"
mkdir -p "$demo/archive"
"$publish_binary" archive "$demo/previous" "$demo/archive"
mkdir -p "$demo/server/download/root"
"$publish_binary" root-next --catalogue-key "demo-catalogue-2:$(cat "$second_catalogue_key.pub")" \
  "$first_root" "$demo/server/download/root/2.root"
"$publish_binary" root-sign "$root_key" "$demo/server/download/root/2.root"
"$publish_binary" sign --root "$first_root" --archive "$demo/archive" "$second_catalogue_key" \
  "$demo/server"
"$publish_binary" verify --root "$first_root" --archive "$demo/archive" "$demo/server"

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
if cmp -s "$tree/Accounts/libledger.so" "$demo/server/download/libledger.so"; then
  echo "demo: ok   Accounts/libledger.so is the release's file byte for byte"
else
  echo "demo: FAIL Accounts/libledger.so is not the release's file"
  ok=0
fi
# A build with a root walked to root 2 and kept it, and recorded the serial
# of the catalogue it accepted under root 2's catalogue key.
if [ -f "$tree/catalogue-serial.txt" ] && [ -f "$tree/trusted-roots.txt" ]; then
  echo "demo: ok   rotated to root 2; catalogue verified with its new key (serial $(head -n 1 "$tree/catalogue-serial.txt" | tr -d '\r\n'))"
elif [ -n "$(sed -n 's/^QUORVIN_ROOT_FILE:FILEPATH=//p' "$build/CMakeCache.txt")" ]; then
  echo "demo: FAIL the build with a root kept no root 2 or no catalogue serial"
  ok=0
fi

# --- What the update cost on the wire ----------------------------------------
# The server writes a request's line once its answer has gone out; stopped,
# it has written them all.
kill "$server_pid"
wait "$server_pid" || true
# From the server's log (method, target, status, length, bytes sent): every
# request for a component's file, whole or as a patch or compressed copy
# below download/delta/, against the signed sizes of the files asked for.
tr -d '\r' <"$demo/server/download/allfiles.ini" | awk -v log_file="$demo/server.log" '
  function group(n,   s, out) {
    s = sprintf("%d", n); out = ""
    while (length(s) > 3) { out = "," substr(s, length(s) - 2) out; s = substr(s, 1, length(s) - 3) }
    return s out
  }
  # The signed size of each file the catalogue names, by its bare name.
  /^[^[;#]*=/ && /size=/ {
    count = split(substr($0, index($0, "=") + 1), fields, ",")
    bare = fields[2]; sub(/.*[\\\/]/, "", bare)
    for (i = 3; i <= count; i++) if (fields[i] ~ /^size=/) size[bare] = substr(fields[i], 6)
  }
  END {
    while ((getline line < log_file) > 0) {
      split(line, part, " ")
      if (part[1] != "GET" || part[2] !~ /^\/download\//) continue
      path = substr(part[2], 11)
      if (path ~ /^allfiles\.ini/ || path ~ /^root\//) continue
      route = "whole"
      if (path ~ /^delta\/.*\.patch$/) { route = "patch"; sub(/^delta\//, "", path); sub(/\.[0-9a-f]+\.[0-9a-f]+\.patch$/, "", path) }
      else if (path ~ /^delta\/.*\.zst$/) { route = "compressed copy"; sub(/^delta\//, "", path); sub(/\.[0-9a-f]+\.zst$/, "", path) }
      if (!(path in size)) continue
      if (!(path in sent)) order[++files] = path
      sent[path] += part[5]
      if (part[3] != 200) route = route " (" part[3] ")"
      if (path in routes) routes[path] = routes[path] " then " route
      else routes[path] = route
      if (route != "whole") smaller++
    }
    for (i = 1; i <= files; i++) {
      path = order[i]; fetched += sent[path]; whole += size[path]
      printf "demo:   %-20s %12s bytes sent for a file of %12s bytes: %s\n", path, group(sent[path]), group(size[path]), routes[path]
    }
    printf "demo: the update fetched %s bytes for %d files whose whole size is %s bytes\n", group(fetched), files, group(whole)
    if (smaller == 0)
      printf "demo: saved 0 bytes: this updater asked for no patch or compressed copy and fetched each file whole\n"
    else if (fetched <= whole)
      printf "demo: saved %s bytes (%.1f %%) against fetching each file whole\n", group(whole - fetched), 100 * (whole - fetched) / whole
    else
      printf "demo: saved nothing: %s bytes more than the whole files (a patch or compressed copy failed and the whole file followed)\n", group(fetched - whole)
  }'

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
