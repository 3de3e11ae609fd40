#!/usr/bin/env bash
# Lays out a fresh demo: an installation tree with the updater at its root
# and three Computer QUORVIN products below it (Accounts installed twice),
# and the download server's folder with the catalogue and newer components.
#
#   tools/demo/layout.sh UPDATER_BINARY DEMO_DIR
#
# DEMO_DIR/updater   the installation tree (the updater works on its own folder)
# DEMO_DIR/server    the server root: server/download/allfiles.ini and the files
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
rm -rf "$tree" "$demo/server" "$demo/screenshots"
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

# --- The installation tree, as a customer has it --------------------------
install_accounts() { # FOLDER MAIN LEDGER HELP
  mkdir -p "$1"
  program "$1/accounts" Accounts "$2"
  component "$1/libledger.so" "$3" 200000
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
component "$download/libledger.so" 2.4.003 4000000
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
