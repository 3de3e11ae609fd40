#!/usr/bin/env bash
# Holds a file open the way a running product holds its files, until killed:
# the updater must then see the file as in use and leave it alone.
#
#   tools/demo/hold-open.sh FILE
set -eu
exec 3<"$1"
exec sleep infinity
