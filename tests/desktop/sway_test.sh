#!/usr/bin/env bash
# The desktop program on sway with waybar (a wlroots desktop, its tray a StatusNotifierItem
# host), on XWayland: sway ignores X11 windows that move themselves and re-centres a
# floating window whenever its size changes, so the strip's drag and its folding are
# checked there. sway runs as nobody in a namespace of its own (sway/start.sh); the pointer
# is a virtual one. Needs root, to make the namespace and install sway when it is missing:
# otherwise the test is skipped.
#   sway_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }
source "$here/rig.sh" "$2"

session=$(mktemp -d /tmp/echora-sway.XXXXXX)
trap 'bash "$here/sway/stop.sh" "$session"; rm -rf "$session" "$session.start.log"; cleanup' EXIT
bash "$here/sway/start.sh" "$session" >"$session.start.log" 2>&1 ||
  { cat "$session.start.log"; exit 1; }
# Inside, the session sees only its own folder and the host's /tmp; nobody must read the
# program there.
install -m 755 "$echora" "$session/echora"

inside() { bash "$here/sway/in.sh" "$session" "$@"; }
pointer() { bash "$here/sway/pointer.sh" "$session" "$@"; }
# The rectangle "X Y W H" of the floating window titled $1, as sway has it.
rect() {
  inside swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("name") == sys.argv[1] and node.get("shell"):
        r = node["rect"]; print(r["x"], r["y"], r["width"], r["height"]); sys.exit(0)
    for child in node.get("nodes", []) + node.get("floating_nodes", []): walk(child)
walk(json.load(sys.stdin)); sys.exit(1)' "$1"
}
exists() { rect "$1" >/dev/null; }
gone() { ! exists "$1"; }
rect_is() { [ "$(rect "$1")" = "$2" ]; }
# Waits for the window titled $1 to be at the rectangle $2, and says where it is if not.
placed() { wait_for rect_is "$1" "$2" || { echo "  sway has it at $(rect "$1"), not $2"; false; }; }
# rig.sh's shot takes an X server's screen; sway's is taken with grim.
shot() { inside grim "$session/shot.png" && cp "$session/shot.png" "$artifacts/$1.png"; }
# Clicks at X Y from the top-left corner of the window titled TITLE.
click_in() {  # click_in TITLE X Y [COUNT]
  local x y _
  read -r x y _ _ < <(rect "$1")
  pointer click $((x + $2)) $((y + $3)) left "${4:-1}"
}

(inside "$session/echora" >"$session/echora.log" 2>&1; echo $? >"$session/status") &

# No sound server here: the start-up check reports it in a box of its own first.
check "the start-up report appears" wait_for exists "Tarnwick Echora"
read -r _ _ bw bh < <(rect "Tarnwick Echora")
[ "$bw $bh" != "490 51" ] && click_in "Tarnwick Echora" $((bw - 50)) $((bh - 25))
check "the About dialog appears" wait_for exists About
click_in About 151 317  # OK
check "About closes" wait_for gone About
read -r x y w h < <(rect "Tarnwick Echora")
check "the strip is there, 490 x 51 ($w x $h)" test "$w $h" = "490 51"
shot folded

echo "== a drag from the panel, run by sway"
pointer drag $((x + 486)) $((y + 25)) 100 -200
check "moves the window by exactly the pointer's distance" \
  placed "Tarnwick Echora" "$((x + 100)) $((y - 200)) 490 51"
read -r x y _ _ < <(rect "Tarnwick Echora")

echo "== folding keeps the top edge"
click_in "Tarnwick Echora" 344 25  # Advanced
check "Advanced unfolds the pages in place" placed "Tarnwick Echora" "$x $y 490 240"
shot unfolded
click_in "Tarnwick Echora" 344 25
check "and folds them in place" placed "Tarnwick Echora" "$x $y 490 51"
# Clicks quicker than sway's moves: each fold must start from where the window is kept,
# not from where sway last had it on the way.
click_in "Tarnwick Echora" 344 25 3
check "three quick clicks unfold it in place" placed "Tarnwick Echora" "$x $y 490 240"
click_in "Tarnwick Echora" 344 25
check "and a fourth folds it in place" placed "Tarnwick Echora" "$x $y 490 51"
inside swaymsg '[title="Tarnwick Echora"] move absolute position 300 300' >/dev/null
check "sway's own move of the window stands" placed "Tarnwick Echora" "300 300 490 51"
click_in "Tarnwick Echora" 344 25
check "and the window unfolds there" placed "Tarnwick Echora" "300 300 490 240"
click_in "Tarnwick Echora" 344 25
check "and folds there" placed "Tarnwick Echora" "300 300 490 51"

echo "== the tray"
our_item() {
  inside gdbus call --session --dest org.kde.StatusNotifierWatcher \
    --object-path /StatusNotifierWatcher --method org.freedesktop.DBus.Properties.Get \
    org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems | grep -q StatusNotifierItem-
}
check "the icon is in waybar's tray" wait_for our_item
click_in "Tarnwick Echora" 447 25  # Hide
check "Hide hides the window" wait_for gone "Tarnwick Echora"
# waybar draws the exported menu below the icon, white on the dark bar: its popup is no
# window sway lists, so it is seen in a screenshot.
menu_open() {
  inside grim -g "1180,50 1x1" "$session/pixel.png" &&
    convert "$session/pixel.png" -format '%[fx:int(255*luminance)]' info: | awk '{exit !($1 > 200)}'
}
pointer click 1262 16 right
check "a right click on the icon opens its menu" wait_for menu_open
shot tray-menu
pointer click 1205 59 left  # Exit, the menu's last line
ended() { [ -s "$session/status" ]; }
check "Exit from waybar's menu of the icon ends the program" wait_for ended
check "with status 0" test "$(cat "$session/status" 2>/dev/null)" = 0

finish
