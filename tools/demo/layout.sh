#!/usr/bin/env bash
# Lays out a fresh demo: an installation tree with the updater at its root
# and three Computer QUORVIN products below it (Accounts installed twice),
# the download server's folder with the catalogue and newer components, and
# the release the customer has installed, as the vendor published it then.
#
#   tools/demo/layout.sh UPDATER_BINARY DEMO_DIR
#
# DEMO_DIR/updater   the installation tree (the updater works on its own folder)
# DEMO_DIR/server    the server root: server/download/allfiles.ini and the files
# DEMO_DIR/previous  the installed release's server tree, its files copied
#                    from the installation tree, for the vendor's archive
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 UPDATER_BINARY DEMO_DIR" >&2
  exit 2
fi
updater_binary=$1
demo=$2
tree=$demo/updater
download=$demo/server/download

# Only what this script lays out goes: the demo's key pair stays in DEMO_DIR.
rm -rf "$tree" "$demo/server" "$demo/previous" "$demo/screenshots"
mkdir -p "$tree" "$download" "$demo/screenshots"
cp "$updater_binary" "$tree/quorvin-updater"

# Writes stdin to a file with CR LF line ends, as the product family keeps them.
crlf() { sed 's/$/\r/' > "$1"; }

# A product's program: a small script that says which version it is.
program() { # FILE PRODUCT VERSION
  printf '#!/bin/sh\necho "Computer QUORVIN %s %s"\n' "$2" "$3" > "$1"
  chmod +x "$1"
}

# A component whose content carries its name and version, padded to SIZE
# bytes so the progress bar has something to show.
component() { # FILE VERSION SIZE
  local name
  name=$(basename "$1")
  { printf 'Computer QUORVIN component %s version %s\n' "$name" "$2"
    head -c "$3" /dev/zero | tr '\0' '.'; } > "$1"
}

# A library whose releases differ as a rebuilt program's do: the same bytes
# with a few changed and some added, so a patch from one release to the next
# is small (and its bytes do not compress, so only a patch saves much).
ledger_body=$demo/ledger-2.4.001.body
head -c 3000000 /dev/urandom >"$ledger_body"
library() { # FILE VERSION BODY
  { printf 'Computer QUORVIN component %s version %s\n' "$(basename "$1")" "$2"; cat "$3"; } > "$1"
}
next_ledger_body() { # BODY NEXT_BODY
  local at
  cp "$1" "$2"
  for at in 400000 1200000 2600000; do
    printf 'changed in 2.4.003' | dd of="$2" bs=1 seek=$at conv=notrunc status=none
  done
  head -c 20000 /dev/urandom >>"$2"
}

# --- The installation tree, as a customer has it --------------------------
install_accounts() { # FOLDER MAIN LEDGER HELP
  mkdir -p "$1"
  program "$1/accounts" Accounts "$2"
  library "$1/libledger.so" "$3" "$ledger_body"
  component "$1/accounts-help.html" "$4" 20000
  crlf "$1/Version.ini" <<INI
[Accounts]
Main=$2
Ledger=$3
Help=$4
INI
}
install_accounts "$tree/Accounts" 2.3.004 2.4.001 2.0.000
install_accounts "$tree/Archive/Accounts-2019" 1.9.000 1.9.000 1.0.001

mkdir -p "$tree/Payroll"
program "$tree/Payroll/payroll" Payroll 3.0.000
component "$tree/Payroll/taxtables.dat" 2025.2.000 50000
crlf "$tree/Payroll/Version.ini" <<'INI'
[Payroll]
Main=3.0.000
TaxTables=2025.2.000
INI

mkdir -p "$tree/Reports"
program "$tree/Reports/reports" Reports 1.5.000
component "$tree/Reports/templates.zip" 1.5.000 100000
crlf "$tree/Reports/Version.ini" <<'INI'
[Reports]
Main=1.5.000
Templates=1.5.000
INI

# --- The download server: what the vendor offers today --------------------
program "$download/accounts" Accounts 2.4.010
next_ledger_body "$ledger_body" "$demo/ledger-2.4.003.body"
library "$download/libledger.so" 2.4.003 "$demo/ledger-2.4.003.body"
rm -f "$ledger_body" "$demo/ledger-2.4.003.body"
component "$download/accounts-help.html" 2.0.000 30000
program "$download/payroll" Payroll 3.1.002
component "$download/taxtables.dat" 2026.1.000 60000
program "$download/reports" Reports 1.5.000
component "$download/templates.zip" 1.6.001 2000000
program "$download/inventory" Inventory 1.0.002

# The catalogue: every product with its program file, then each product's
# components with the version offered and the file that carries it.
# Inventory is offered but not installed, so it gets no rows.
crlf "$download/allfiles.ini" <<'INI'
[modules]
Accounts=accounts
Payroll=payroll
Reports=reports
Inventory=inventory

[Accounts]
Main=2.4.010,accounts
Ledger=2.4.003,lib\libledger.so
Help=2.0.000,accounts-help.html

[Payroll]
Main=3.1.002,payroll
TaxTables=2026.1.000,taxtables.dat

[Reports]
Main=1.5.000,reports
Templates=1.6.001,templates.zip

[Inventory]
Main=1.0.002,inventory
INI

# --- The release installed in the demo tree, as the vendor published it ----
# Its files are copies of the installed ones, so a patch made from them fits
# the demo tree's copies exactly.
previous=$demo/previous/download
mkdir -p "$previous"
for file in Accounts/accounts Accounts/libledger.so Accounts/accounts-help.html \
            Payroll/payroll Payroll/taxtables.dat Reports/reports Reports/templates.zip; do
  cp "$tree/$file" "$previous/"
done
crlf "$previous/allfiles.ini" <<'INI'
[modules]
Accounts=accounts
Payroll=payroll
Reports=reports

[Accounts]
Main=2.3.004,accounts
Ledger=2.4.001,lib\libledger.so
Help=2.0.000,accounts-help.html

[Payroll]
Main=3.0.000,payroll
TaxTables=2025.2.000,taxtables.dat

[Reports]
Main=1.5.000,reports
Templates=1.5.000,templates.zip
INI
