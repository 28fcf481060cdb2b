# The Xfce desktop for the real program, sourced after rig.sh: Xvfb with a private session
# bus, xfwm4, and an xfce4-panel whose systray shows StatusNotifierItems (drawing their
# dbusmenu menus itself) and XEmbed icons, and whose tasklist shows taskbar buttons; plus
# D-Bus helpers for the items. Everything started here is ended on exit through rig.sh's
# pids.
#   source rig.sh ARTIFACTS_DIR; source xfce_rig.sh
# shellcheck shell=bash
# shellcheck disable=SC2154  # work and pids come from rig.sh

start_xfce_desktop() {
  start_xserver

  # Xfce keeps its settings, caches and sockets under these: the user's own must neither
  # be touched nor leak into the test. Set before the bus starts, since the services it
  # starts on demand get its environment, not ours.
  export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  # Without these GTK looks on the bus for an accessibility bus and for dconf, which
  # nobody here provides, and waits for them.
  export NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory GDK_BACKEND=x11

  # The session bus the StatusNotifierItems live on.
  start_session_bus

  # The bus would start xfconfd on the panel's first call; started here it is a child of
  # this shell and so is ended before $work, where it saves the settings, is removed.
  /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd >"$work/xfconfd.log" 2>&1 &
  pids+=($!)
  wait_for bus_has_name org.xfce.Xfconf || { echo "xfconfd did not start"; exit 1; }

  xfwm4 --compositor=off --sm-client-disable >"$work/xfwm4.log" 2>&1 &
  pids+=($!)
  wait_for xprop -root _NET_SUPPORTING_WM_CHECK ||
    { echo "xfwm4 did not start"; cat "$work/xfwm4.log"; exit 1; }
}


# One panel along the top: the tasklist, then the systray right after it (so the systray
# moves right by a button's width for every taskbar button). A channel that has its panels
# and configver 2 is taken as it is; without them the panel copies the system's default
# layout and first asks, in a dialog, whether to use it or one empty panel.
panel_channel=xfce4-panel
systray_plugin=/plugins/plugin-2
write_panel_config() {
  local dir=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
  mkdir -p "$dir"
  cat >"$dir/$panel_channel.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="icon-size" type="uint" value="22"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="tasklist">
      <property name="grouping" type="uint" value="0"/>
      <property name="include-all-workspaces" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray">
      <property name="square-icons" type="bool" value="true"/>
      <property name="hide-new-items" type="bool" value="false"/>
      <property name="menu-is-primary" type="bool" value="false"/>
    </property>
  </property>
</channel>
EOF
}

# The systray runs in a process of its own (wrapper-2.0) that takes the watcher's name and
# the tray selection as it starts; the name and its window inside the panel are waited
# for, so that items and icons can register at once.
start_panel() {
  [ -e "$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml/$panel_channel.xml" ] ||
    write_panel_config
  xfce4-panel --sm-client-disable >>"$work/panel.log" 2>&1 &
  panel_pid=$!
  pids+=("$panel_pid")
  if ! wait_long bus_has_name org.kde.StatusNotifierWatcher || ! wait_long systray_plug; then
    echo "the panel did not start"
    cat "$work/panel.log"
    exit 1
  fi
}

# A panel start on a busy machine has taken four seconds; rig.sh's wait_for gives ten.
wait_long() { wait_up_to 30 "$@"; }

# A crash, not a quit: the panel tidies nothing up. Its systray process ends by itself
# once the panel is gone, and with it the watcher; both are waited for, so that a new
# panel finds the names and the tray free.
stop_panel() {
  local children
  children=$(pgrep -P "$panel_pid" | tr '\n' ' ')
  kill -KILL "$panel_pid" 2>/dev/null
  wait "$panel_pid" 2>/dev/null
  wait_for none_alive "$children" && wait_for no_watcher
}
# A zombie counts as gone: the process has ended, and reaping it is up to whoever
# inherited it (PID 1 here, which takes its time).
none_alive() {
  local p
  for p in $1; do
    [ "$(awk '{print $3}' "/proc/$p/stat" 2>/dev/null)" = Z ] || ! kill -0 "$p" 2>/dev/null ||
      return 1
  done
}
no_watcher() { ! bus_has_name org.kde.StatusNotifierWatcher; }

# A search can come back empty while another window is being destroyed, so it is tried
# again for up to two seconds.
panel_window() {
  local id
  for _ in $(seq 20); do
    id=$(xdotool search --onlyvisible --class '^xfce4-panel$' 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# The systray's own X window inside the panel: the plug of the wrapper-2.0 process.
systray_plug() {
  local panel
  panel=$(panel_window)
  [ -n "$panel" ] || return 1
  xwininfo -tree -id "$panel" | awk '/"wrapper-2.0": \("wrapper-2.0"/ {print $1; exit}' | grep .
}

# The items' D-Bus side. A registered item is "BUSNAME/PATH", or a bus name alone for
# the default path.
sni_items() {
  gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems | grep -o "'[^']*'" | tr -d "'"
}
sni_bus() { echo "${1%%/*}"; }
sni_path() { case $1 in */*) echo "/${1#*/}" ;; *) echo /StatusNotifierItem ;; esac; }

# sni_property SERVICE PROP: the value as gdbus prints it, e.g. 'echora' or
# objectpath '/MenuBar'.
sni_property() {
  gdbus call --session --dest "$(sni_bus "$1")" --object-path "$(sni_path "$1")" \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$2" |
    sed 's/^(<\(.*\)>,)$/\1/'
}
sni_menu_path() { sni_property "$1" Menu | sed "s/^objectpath '\(.*\)'$/\1/"; }

# sni_call SERVICE METHOD ARGS..., e.g. sni_call "$item" Activate 10 10
sni_call() {
  local service=$1 method=$2
  shift 2
  gdbus call --session --dest "$(sni_bus "$service")" --object-path "$(sni_path "$service")" \
    --method "org.kde.StatusNotifierItem.$method" "$@"
}

# dbusmenu_layout SERVICE [MENUPATH]: the whole menu tree, labels included.
dbusmenu_layout() {
  gdbus call --session --dest "$(sni_bus "$1")" --object-path "${2:-$(sni_menu_path "$1")}" \
    --method com.canonical.dbusmenu.GetLayout -- 0 -1 '[]'
}

# dbusmenu_event SERVICE MENUPATH ID: what the host sends when the item is clicked.
dbusmenu_event() {
  gdbus call --session --dest "$(sni_bus "$1")" --object-path "$2" \
    --method com.canonical.dbusmenu.Event "$3" clicked '<int32 0>' 0
}

# XEmbed icons are X windows of their program inside the systray's plug, so rig.sh's
# tray_icon finds the program's one (it prints nothing rather than failing when there is
# none: test -n "$(tray_icon)"). A program keeps off the watcher, and so docks an XEmbed
# icon, when its DBUS_SESSION_BUS_ADDRESS leads nowhere, e.g. unix:path=$work/no-bus; an
# unset one would have libdbus start a bus of its own through X11 (dbus-x11).

# The geometry "X Y W H" of an item's button as the systray draws it. The buttons are not
# X windows, so it is worked out from the systray's layout: XEmbed icons first, then the
# items in the order of the plugin's known-items (by Id, newest first), each as wide as the
# panel is high (square-icons). Fails while the systray has not laid the item out yet.
panel_tray_icon() {
  local plug id px py pw ph legacy slot=0 known service ids=()
  plug=$(systray_plug) || return 1
  id=$(sni_property "$1" Id | tr -d "'") && [ -n "$id" ] || return 1
  for service in $(sni_items); do ids+=("$(sni_property "$service" Id | tr -d "'")"); done
  read -r px py pw ph < <(geometry "$plug")
  legacy=$(xwininfo -children -id "$plug" | awk '/^ +0x/ && $0 !~ / 1x1\+/' | grep -c .)
  while read -r known; do
    [ "$known" = "$id" ] && break
    [[ " ${ids[*]} " == *" $known "* ]] && slot=$((slot + 1))
  done < <(xfconf-query -c "$panel_channel" -p "$systray_plugin/known-items" | tail -n +3)
  [ "$known" = "$id" ] && [ "$pw" -ge $(((legacy + slot + 1) * ph)) ] || return 1
  echo $((px + (legacy + slot) * ph)) "$py" "$ph" "$ph"
}

# A right click held a moment, as a hand makes it, on an item's button.
right_click_panel_icon() {  # right_click_panel_icon SERVICE
  local x y w h
  read -r x y w h < <(panel_tray_icon "$1") || return 1
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) sleep 0.3 mousedown 3 sleep 0.15 mouseup 3
}

# The menu the systray has open: its process's visible override-redirect popup menu. With
# no dbusmenu behind an item (Menu "/NO_DBUSMENU") a right click opens the systray
# plugin's own menu instead (Properties, Move, Remove, Panel), which is found here too:
# tell them apart by choosing an item and looking at its effect.
panel_menu_window() {
  local id
  for id in $(xdotool search --onlyvisible --class '^wrapper-2.0$' 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE | grep -q _NET_WM_WINDOW_TYPE_POPUP_MENU &&
      xwininfo -id "$id" | grep -q 'Override Redirect State: yes' && { echo "$id"; return 0; }
  done
  return 1
}

# panel_menu_choose N: the open menu's Nth entry, by keyboard, which needs no font
# metrics: the menu holds the keyboard, and Down from nothing selects the first entry.
panel_menu_choose() {
  local keys=()
  for _ in $(seq "$1"); do keys+=(Down); done
  xdotool key "${keys[@]}" Return
}

# How many buttons the tasklist shows. The buttons are not X windows; but every button is
# 200 pixels wide while the panel has room, the tasklist's handle 8, and the systray sits
# right after them, so its offset counts them.
tasklist_buttons() {
  local panel plug x
  panel=$(panel_window) && plug=$(systray_plug) || return 1
  x=$(($(geometry "$plug" | cut -d' ' -f1) - $(geometry "$panel" | cut -d' ' -f1)))
  echo $((x / 200))
}

# The same, but only once the tasklist has caught up with every window mapped so far, so
# that a zero is not merely a tasklist that is late. A probe window of our own is mapped
# after them, with an icon of a colour nothing else has (6 x 6, as xprop sets at
# most 64 numbers; the tasklist scales it up); its button showing that colour
# means the tasklist has read a window list holding all of them. The probe is then left
# out of the count, and waited for to go, so that the next call does not count it. The
# probe does not take the focus (input false), so the window under test keeps it.
tasklist_buttons_settled() {
  local probe window count
  xmessage -name tasklist-probe -xrm '*input: false' -geometry +900+700 probe >/dev/null 2>&1 &
  probe=$!
  wait_for window_named '^tasklist-probe$' && window=$(window_named '^tasklist-probe$') &&
    xprop -id "$window" -f _NET_WM_ICON 32c -set _NET_WM_ICON \
      "6,6$(printf ',0xffff00ff%.0s' $(seq 36))" &&
    wait_for panel_shows_magenta && count=$(tasklist_buttons)
  kill "$probe" 2>/dev/null
  wait "$probe" 2>/dev/null
  wait_for panel_without_magenta && [ -n "${count:-}" ] && echo $((count - 1))
}
# Counted with awk rather than grep -c, which fails on no match (and rig.sh sets pipefail).
# import without a window waits for a click to choose one, hence the check: a search for
# the panel can come back empty while some other window is being destroyed.
magenta_pixels() {
  local panel
  panel=$(panel_window)
  [ -n "$panel" ] || return 1
  import -display "$DISPLAY" -window "$panel" -depth 8 txt:- 2>/dev/null |
    awk '/#FF00FF/ {n++} END {print n + 0}'
}
panel_shows_magenta() { local n; n=$(magenta_pixels) && [ "$n" -gt 0 ]; }
panel_without_magenta() { local n; n=$(magenta_pixels) && [ "$n" -eq 0 ]; }
