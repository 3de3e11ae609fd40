#!/usr/bin/env bash
# Packs an existing build tree with CPack and checks what a user would get:
# the installed layout, the desktop entry and AppStream metadata (validated),
# the package's version and dependencies, and the installed updater starting
# its window (offscreen) from a scratch root.  Lintian runs when present.
#
# usage: check-package.sh BUILD_DIR
# Exits 77 (skipped) when a packaging tool is missing.
set -euo pipefail
build=$1

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli strings readelf; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
updater_pid=
cleanup() {
  [ -n "$updater_pid" ] && kill "$updater_pid" 2>/dev/null && wait "$updater_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The package is named after the version the window shows ("Version 4.0.002").
# (Pipelines below read their whole input: an early exit would break the pipe.)
version=$(strings -el "$build/src/app/quorvin-updater" | awk '/^Version [0-9.]+$/ && !v { v = $2 } END { print v }')
[ -n "$version" ] || fail "no version text in the updater"
arch=$(dpkg --print-architecture)
name=quorvin-updater_${version}_${arch}

# A build that trusts no root is packed only when it was configured to allow
# it: the refusal is checked, then the layout with a copy of the
# configuration that allows it.
config=$build/CPackConfig.cmake
if grep -q '^set(CPACK_QUORVIN_TRUST "none")' "$config" &&
  ! grep -q '^set(CPACK_QUORVIN_ALLOW_UNSIGNED "ON")' "$config"; then
  if cpack --config "$config" -B "$work/refused" >"$work/refused.log" 2>&1; then
    fail "cpack packed a build that trusts no root"
  fi
  grep -q "This build trusts no root of trust" "$work/refused.log" ||
    { cat "$work/refused.log" >&2; fail "cpack refused without saying why"; }
  [ -z "$(find "$work/refused" -name '*.deb' 2>/dev/null)" ] || fail "a refused build left a package"
  sed 's/^set(CPACK_QUORVIN_ALLOW_UNSIGNED .*/set(CPACK_QUORVIN_ALLOW_UNSIGNED "ON")/' \
    "$config" >"$work/CPackConfig.cmake"
  config=$work/CPackConfig.cmake
fi
cpack --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$work/out/$name.deb
[ -f "$deb" ] || fail "no $name.deb among: $(ls "$work/out")"
[ -f "$work/out/$name.tar.gz" ] || fail "no $name.tar.gz among: $(ls "$work/out")"

# --- Layout: exactly these files, with these modes ---------------------------
listing() { awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $1, $2, $6 ($7 == "->" ? " -> " $8 : "") }' | sort; }
dpkg-deb -c "$deb" | listing >"$work/deb.txt"
{
  echo "-rwxr-xr-x root/root opt/quorvin/quorvin-updater"
  echo "lrwxrwxrwx root/root usr/bin/quorvin-updater -> /opt/quorvin/quorvin-updater"
  echo "-rw-r--r-- root/root usr/share/applications/quorvin-updater.desktop"
  for size in 16 24 32 48 64; do
    echo "-rw-r--r-- root/root usr/share/icons/hicolor/${size}x${size}/apps/quorvin-updater.png"
  done
  echo "-rw-r--r-- root/root usr/share/metainfo/com.quorvin.updater.metainfo.xml"
  echo "-rw-r--r-- root/root usr/share/doc/quorvin-updater/changelog.gz"
  echo "-rw-r--r-- root/root usr/share/doc/quorvin-updater/copyright"
  echo "-rw-r--r-- root/root usr/share/lintian/overrides/quorvin-updater"
  echo "-rw-r--r-- root/root usr/share/man/man1/quorvin-updater.1.gz"
} | sort >"$work/expected.txt"
diff -u "$work/expected.txt" "$work/deb.txt" || fail "the package's files differ from the layout"
paths() { awk '{ print $3, $4, $5 }' | sed 's/ *$//' | sort; }
tar -tvzf "$work/out/$name.tar.gz" | listing | paths >"$work/tgz.txt"
paths <"$work/deb.txt" | diff -u - "$work/tgz.txt" || fail "the .tar.gz holds another tree than the .deb"

# --- Control data ------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvin-updater ] || fail "package name $(field Package)"
[ "$(field Version)" = "$version" ] || fail "package version $(field Version), window $version"
depends=$(field Depends)
for needed in adduser libc6 libqt6widgets6 zlib1g libssl3; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
# One cryptography library: OpenSSL's.
[[ $depends != *sodium* ]] || fail "Depends names a second cryptography library: $depends"
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -tv)
grep -q -- '-rwxr-xr-x .* ./postinst$' <<<"$control" || fail "no executable postinst: $control"

# --- The installed tree ------------------------------------------------------
root=$work/root
dpkg-deb -x "$deb" "$root"
updater=$root/opt/quorvin/quorvin-updater
sections=$(readelf -S "$updater")
! grep -q '\.symtab' <<<"$sections" || fail "the packaged updater is not stripped"
[ "$(zcat "$root/usr/share/doc/quorvin-updater/changelog.gz" | sed -n '1s/.*(\(.*\)).*/\1/p')" = "$version" ] ||
  fail "the changelog's latest entry is not $version"
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/com.quorvin.updater.metainfo.xml" ||
  fail "the metainfo's releases lack $version"

desktop=$root/usr/share/applications/quorvin-updater.desktop
grep -qx 'Exec=/opt/quorvin/quorvin-updater' "$desktop" || fail "Exec line: $(grep ^Exec "$desktop")"
out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] || fail "desktop-file-validate: $out"
# Offline: the screenshot is named by URL and not fetched.  Warnings fail.
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quorvin.updater.metainfo.xml" >"$work/as.log" 2>&1 ||
  { cat "$work/as.log" >&2; fail "appstreamcli validate"; }

# --- The installed updater starts its window -----------------------------------
# Showing the window arms the start-up step, which removes the previous run's
# partial downloads from the program folder: a planted one that disappears
# tells that the window is up and the step has run.
touch "$root/opt/quorvin/stale.{s}"
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen "$updater" >"$work/updater.log" 2>&1 &
updater_pid=$!
deadline=$((SECONDS + 60))
while [ -e "$root/opt/quorvin/stale.{s}" ]; do
  kill -0 "$updater_pid" 2>/dev/null || { cat "$work/updater.log" >&2; fail "the updater ended at start-up"; }
  [ $SECONDS -lt $deadline ] || fail "no start-up step within 60 s"
  sleep 0.05
done
kill -0 "$updater_pid" 2>/dev/null || { cat "$work/updater.log" >&2; fail "the updater ended after start-up"; }
kill "$updater_pid"
wait "$updater_pid" 2>/dev/null || true
updater_pid=
[ ! -s "$work/updater.log" ] || { cat "$work/updater.log" >&2; fail "the updater printed messages"; }

# --- Lintian: no errors; warnings are listed ---------------------------------
if command -v lintian >/dev/null; then
  lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian"; }
  grep -v 'running with root privileges' "$work/lintian.log" || true
else
  echo "lintian not installed: not run"
fi
echo "package $name: layout, metadata and start-up as expected"
