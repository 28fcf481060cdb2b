#!/usr/bin/env bash
# The desktop program for keyboard and screen-reader users, in a dark theme: the
# accessibility bus of a desktop session (at-spi2-core) read and driven as a screen reader
# does (python3-pyatspi), real keys only for the strip, the designed colour pairs measured
# in screenshots under qt6ct's "darker" palette, and the unfolded window at 2x on a small
# screen and at 1.5x. Screenshots go to the artifacts folder.
#   access_test.sh ECHORA_BINARY ARTIFACTS_DIR
echora=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/rig.sh" "$2"

start_sound_server
start_desktop
start_session_bus
start_tray
# The accessibility bus, as a desktop session starts it; Qt joins it when asked to.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
wait_for bus_has_name org.a11y.Bus || { echo "the accessibility bus did not start"; exit 1; }
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# A dark theme, as qt6ct gives it.
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORMTHEME=qt6ct
mkdir -p "$XDG_CONFIG_HOME/qt6ct"
cat >"$XDG_CONFIG_HOME/qt6ct/qt6ct.conf" <<'CONF'
[Appearance]
color_scheme_path=/usr/share/qt6ct/colors/darker.conf
custom_palette=true
style=Fusion
CONF

a11y() { timeout 20 /usr/bin/python3 "$here/a11y.py" "$@"; }
playing() { pactl list short sink-inputs | grep -q .; }
silent() { ! playing; }
focused_is() { [ "$(a11y focused 2>/dev/null)" = "$1" ]; }
# Tab, as a keyboard user presses it, until NAME has the focus (ten presses at most).
tab_to() {
  for _ in $(seq 10); do
    focused_is "$1" && return 0
    xdotool key Tab
  done
  focused_is "$1"
}
size_is() { [ "$(geometry "$1" | cut -d' ' -f3,4)" = "$2" ]; }
# The contrast of the lightest and darkest pixels of a region of a screenshot (WCAG's
# ratio of relative luminances).
contrast_at_least() {  # contrast_at_least SHOT X Y W H RATIO
  convert "$artifacts/$1.png" -crop "$4x$5+$2+$3" -colorspace LinearGray \
    -format '%[fx:minima.r] %[fx:maxima.r]' info: |
    awk -v want="$6" '{ratio = ($2 + 0.05) / ($1 + 0.05); print "contrast " ratio; exit !(ratio >= want)}'
}

echo "== About in a dark theme"
start_echora "$echora" "$work/echora.log"
check "the About dialog appears" wait_for window_named '^About$'
about=$(window_named '^About$')
read -r ax ay _ _ < <(geometry "$about")
shot about-dark
# "Tarnwick Echora", navy, on the dialog's panel.
check "its navy title is readable (at least 4.5:1)" contrast_at_least about-dark $((ax + 40)) $((ay + 94)) 170 24 4.5
close_about
check "when it closes, the focus is back in the main window" wait_for a11y focused

echo "== names a screen reader hears"
a11y names >"$work/names"
cat "$work/names"
check "every control has a name" bash -c "! cut -f2 '$work/names' | grep -qx ''"
check "no two controls share one" bash -c "test -z \"\$(cut -f2 '$work/names' | sort | uniq -d)\""
for name in About Power Preset Advanced Hide; do
  check "the strip's $name is among them" grep -q "	$name\$" "$work/names"
done
reads() { [ "$(a11y value "$1")" = "$2" ]; }
check "the volume reads as shown, 1.00x" reads Volume 1.00x
check "the repeats read as shown, 2 repeats" reads Repeats "2 repeats"

echo "== the screen reader's actions"
a11y do Power Toggle
check "Toggle on Power switches on: two streams open" wait_for playing
check "and Power reads checked" a11y checked Power
led_reads() { [ "$(a11y value 'Power LED')" = "$1" ]; }
check "the power LED reads on" led_reads on
a11y do Power Toggle
check "a second Toggle switches off" wait_for silent
unchecked() { ! a11y checked "$1"; }
check "and Power reads unchecked" unchecked Power
main=$(main_window)
a11y do Advanced Toggle
check "Toggle on Advanced unfolds the pages" wait_for height_is "$main" 240
read -r ex ey ew eh < <(a11y extents "Echo active")
shot unfolded-dark
check "\"Echo active\" is readable on its silver (at least 4.5:1)" \
  contrast_at_least unfolded-dark "$ex" "$ey" "$ew" "$eh" 4.5
a11y do Advanced Toggle
wait_for height_is "$main" 51

echo "== the keyboard alone"
xdotool windowactivate --sync "$main" >/dev/null 2>&1
check "Tab reaches Power" tab_to Power
xdotool key space
check "Space switches on" wait_for playing
xdotool key Return
check "Enter switches off" wait_for silent
check "Tab reaches Advanced" tab_to Advanced
xdotool key Return
check "Enter unfolds the pages" wait_for height_is "$main" 240
xdotool key Return
wait_for height_is "$main" 51
check "Tab reaches the icon, an About button" tab_to About
xdotool key Return
check "Enter on it shows About" wait_for window_named '^About$'
close_about
check "Tab reaches Hide" tab_to Hide
xdotool key space
hidden() { ! mapped "$1"; }
check "Space hides the window" wait_for hidden "$main"

# Starts the program at a scale factor and unfolds it from the keyboard; main is its window.
unfold_at() {  # unfold_at SCALE
  kill "$echora_pid" 2>/dev/null
  wait "$echora_pid" 2>/dev/null
  QT_SCALE_FACTOR=$1 start_echora "$echora" "$work/echora-$1x.log"
  wait_for window_named '^About$' && close_about
  main=$(main_window)
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  tab_to Advanced && xdotool key Return
}

echo "== twice the size on a small screen"
unfold_at 2
check "unfolded at 2x (980 x 480)" wait_for height_is "$main" 480
read -r _ y _ h < <(geometry "$main")
shot unfolded-2x
check "nothing leaves the screen ($y + $h <= 768)" test $((y + h)) -le 768 -a "$y" -ge 0

echo "== one and a half times the size"
unfold_at 1.5
check "unfolded at 1.5x: 735 x 360, not a pixel short" wait_for size_is "$main" "735 360"
shot unfolded-1.5x

finish
