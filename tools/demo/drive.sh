#!/usr/bin/env bash
# Works the updater's window like a person would, on the X display in
# $DISPLAY: waits for the window, presses Next, looks at the list, presses
# Update, reads the closing box and answers it, and takes a screenshot of
# each phase.  Every wait polls for a condition and gives up at a deadline.
#
#   tools/demo/drive.sh UPDATER_PID TREE_DIR SCREENSHOT_DIR
set -euo pipefail

updater_pid=$1
tree=$2
shots=$3
caption='Computer QUORVIN Update'

# The buttons' top left corners in client coordinates, and their size:
# History (385,431), Next/Update (491,431), Exit (597,431), each 100 x 38.
readonly next_x=491 buttons_y=431 button_w=100 button_h=38

say() { echo "drive: $*"; }
fail() { say "FAILED: $*"; exit 1; }

# wait_for SECONDS DESCRIPTION COMMAND...: polls COMMAND every 0.1 s.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    if error_report_shown; then
      screenshot 9-error
      fail "the updater reports an error while waiting for $what"
    fi
    kill -0 "$updater_pid" 2>/dev/null || [ "$what" = "the updater to end" ] ||
      fail "the updater ended while waiting for $what"
    [ $SECONDS -lt $deadline ] || fail "no $what within $seconds s"
    sleep 0.1
  done
}

# The id of the shown window with exactly that title, or nothing.
visible_window() { { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; } | head -n 1; }
main_window_shown() { [ -n "$(visible_window "$caption")" ]; }
info_box_shown() { [ -n "$(visible_window Information)" ]; }
# The error report is titled with the application's name.
error_report_shown() { [ -n "$(visible_window 'Quorvin Program Updater')" ]; }
updater_ended() { ! kill -0 "$updater_pid" 2>/dev/null; }

# A fingerprint of what the main window shows now.
window_look() {
  local window
  window=$(visible_window "$caption")
  [ -n "$window" ] && import -window "$window" png:- 2>/dev/null | md5sum
}

# True once two captures of the window, a moment apart, are the same: the
# window has finished drawing what it was asked to show.
window_settled() {
  local first second
  first=$(window_look) || return 1
  sleep 0.2
  second=$(window_look) || return 1
  [ "$first" = "$second" ]
}

# Catalogue fetched: the updater keeps its copy in its own folder.
catalogue_arrived() { [ -f "$tree/allfiles.ini" ] || [ -f "$tree/AllFiles.ini" ]; }
# The list is in when the window shows something new and has stopped changing.
ready_look=
list_ready() { catalogue_arrived && [ "$(window_look)" != "$ready_look" ] && window_settled; }
list_ready_or_box() { info_box_shown || list_ready; }

# Saves the screen, cut to the main window (and the box, if one is open).
screenshot() {
  local name=$1 windows geometry
  windows="$(visible_window "$caption") $(visible_window Information)"
  windows+=" $(visible_window 'Quorvin Program Updater')"
  geometry=$(for w in $windows; do
    xdotool getwindowgeometry --shell "$w" | tr '\n' ' '
    echo
  done | awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
                x2 = v["X"] + v["WIDTH"]; y2 = v["Y"] + v["HEIGHT"]
                if (NR == 1 || v["X"] < x1) x1 = v["X"]; if (NR == 1 || v["Y"] < y1) y1 = v["Y"]
                if (x2 > mx) mx = x2; if (y2 > my) my = y2 }
              END { printf "%dx%d+%d+%d", mx - x1, my - y1, x1, y1 }')
  if [[ $geometry =~ ^[1-9][0-9]*x[1-9] ]]; then
    import -window root -crop "$geometry" +repage "$shots/$name.png"
  else
    import -window root "$shots/$name.png"
  fi
  say "screenshot $shots/$name.png"
}

# Clicks a button of the main window at the centre of its client rectangle.
press() {
  local name=$1 x=$2 window
  window=$(visible_window "$caption")
  [ -n "$window" ] || fail "no window to press $name in"
  say "pressing $name"
  xdotool mousemove --window "$window" $((x + button_w / 2)) $((buttons_y + button_h / 2)) \
    click 1
}

# Answers the open information box with Enter, as a person reading it would,
# and waits until it has gone.
answer_box() {
  local box
  for _ in 1 2 3 4 5; do
    box=$(visible_window Information)
    [ -n "$box" ] || return 0
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    xdotool key --clearmodifiers Return
    local deadline=$((SECONDS + 3))
    while info_box_shown && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  done
  info_box_shown && fail "the information box does not close"
  return 0
}

say "waiting for the window"
wait_for 30 "window \"$caption\"" main_window_shown
wait_for 20 "settled window" window_settled
# Boxes at start-up only appear when an earlier run left staged files.
while info_box_shown; do screenshot 0-startup-box; answer_box; done
screenshot 1-ready
ready_look=$(window_look)

press Next "$next_x"
wait_for 30 "update list" list_ready_or_box
if info_box_shown; then
  screenshot 2-nothing-to-do
  fail "the updater found nothing to update"
fi
screenshot 2-list

press Update "$next_x"
wait_for 60 "closing information box" info_box_shown
wait_for 10 "settled window" window_settled
screenshot 3-finished
answer_box
wait_for 20 "the updater to end" updater_ended
say "the updater has ended"
