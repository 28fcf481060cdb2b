#!/usr/bin/env bash
# The desktop program on Xfce's panel, whose systray hosts StatusNotifierItems over the
# session bus and draws their menus itself, as most desktops' panels do: started before
# its panel, the icon's menu reached with a real right click and "Exit" disabled while
# on, the panel killed while the window is hidden and started again, a drag run by the
# window manager, and a second launch. Screenshots go to the artifacts folder.
#   xfce_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
source "$(dirname "$0")/rig.sh" "$2"
source "$(dirname "$0")/xfce_rig.sh"

start_sound_server
start_xfce_desktop

playing() { pactl list short sink-inputs | grep -q .; }
hidden() { ! mapped "$1"; }
no_taskbar_button() { [ "$(tasklist_buttons_settled)" = 0 ]; }
our_item() { sni_items | grep "^org.kde.StatusNotifierItem-$echora_pid-"; }
menu_has() { dbusmenu_layout "$item" | grep -q "'label': <'$1'>"; }
menu_item_enabled() {  # menu_item_enabled LABEL: as the exported menu says
  dbusmenu_layout "$item" | grep -o "{[^{}]*'label': <'$1'>[^{}]*}" | grep -q "'enabled': <true>"
}
menu_item_disabled() { menu_has "$1" && ! menu_item_enabled "$1"; }
tool_tip_says() { sni_property "$item" ToolTip | grep -q "$1"; }
silent() { ! playing; }
item_gone() { ! sni_items | grep -q "^org.kde.StatusNotifierItem-$echora_pid-"; }
click_at() { xdotool mousemove $((x + $1)) $((y + $2)) click 1; }

echo "== started before its panel"
start_echora "$echora" "$work/echora.log"
check "the About dialog appears by itself" wait_for window_named '^About$'
close_about
main=$(main_window)
check "with no panel the window has a taskbar entry" \
  bash -c "! xprop -id $main _NET_WM_STATE | grep -q SKIP_TASKBAR"
start_panel
check "the icon registers with the panel once it comes" wait_long our_item
item=$(our_item)
check "its title is the application's" test "$(sni_property "$item" Title)" = "'Tarnwick Echora'"
check "its tool tip says off" tool_tip_says "Echora: OFF"
check "it exports its menu" test "$(sni_menu_path "$item")" = /MenuBar
check "the taskbar entry goes" wait_for skips_taskbar "$main"
check "and the tasklist has no button for it" no_taskbar_button
check "the window stays shown" mapped "$main"
shot started-before-panel

echo "== the icon's menu, drawn by the panel"
check "the panel draws the icon" wait_for panel_tray_icon "$item"
right_click_panel_icon "$item"
check "a right click on the icon opens the menu" wait_for panel_menu_window
shot panel-menu
check "Show and Exit are in it" menu_has Show
check "Exit is enabled while off" menu_item_enabled Exit
xdotool key Escape
read -r x y _ _ < <(geometry "$main")
click_at 81 25  # Power
check "Power switches on" wait_for playing
check "the tool tip says on" wait_for tool_tip_says "Echora: ON"
check "Exit is disabled while on" wait_for menu_item_disabled Exit
right_click_panel_icon "$item"
wait_for panel_menu_window
shot panel-menu-on
# The greyed Exit cannot be chosen in the panel's menu; the host's events for it are sent
# by hand, as a panel that ignored the greying would, and the program must refuse them.
xdotool key Escape
dbusmenu_event "$item" /MenuBar 3 >/dev/null
gdbus call --session --dest "$item" --object-path /MenuBar --method com.canonical.dbusmenu.EventGroup \
  "[(3, 'clicked', <int32 0>, uint32 0)]" >/dev/null
click_at 81 25  # Power off, handled after those events
check "Power switches off" wait_for silent
check "the Exit events sent while on were refused" kill -0 "$echora_pid"
check "Exit is enabled again" wait_for menu_item_enabled Exit

echo "== a drag run by the window manager"
xdotool mousemove $((x + 486)) $((y + 25)) mousedown 1
for step in 1 2 3 4; do
  xdotool mousemove $((x + 486 + 10 * step)) $((y + 25 + 15 * step / 2))
  sleep 0.05
done
xdotool mouseup 1
moved() { local nx ny; read -r nx ny _ _ < <(geometry "$main"); test "$((nx - x)) $((ny - y))" = "40 30"; }
check "the window moves by the pointer's distance" wait_for moved
read -r x y _ _ < <(geometry "$main")

echo "== the panel goes while the window is hidden"
click_at 447 25  # Hide
check "Hide hides the window" wait_for hidden "$main"
stop_panel
check "the window comes back" wait_for mapped "$main"
check "with a taskbar entry" wait_for bash -c "! xprop -id $main _NET_WM_STATE | grep -q SKIP_TASKBAR"
shot panel-gone
start_panel
check "a restarted panel gets the icon again" wait_long our_item
item=$(our_item)  # a new item: the old one went with the panel
check "and the taskbar entry goes again" wait_for skips_taskbar "$main"
check "the panel draws the icon again" wait_for panel_tray_icon "$item"

echo "== a second launch"
"$echora" >"$work/second.out" 2>"$work/second.err"
check "hands over to the first and ends with status 0" test $? -eq 0
check "saying so on stderr" grep -q "already running" "$work/second.err"
check "one icon" test "$(sni_items | grep -c StatusNotifierItem)" -eq 1
click_at 447 25  # Hide
wait_for hidden "$main"
"$echora" 2>/dev/null
check "a launch shows the hidden window of the first" wait_for mapped "$main"

echo "== Exit from the panel's menu"
right_click_panel_icon "$item"
wait_for panel_menu_window
panel_menu_choose 2  # Exit
check "ends the program with status 0" echora_ends_with_status_0
check "and its icon leaves the panel" wait_for item_gone

finish
