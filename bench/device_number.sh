# The number echora-cli gives a device, by its sound server name: source it, then
#   device_number CLI in NAME    the capture device recording sink NAME (its monitor)
#   device_number CLI out NAME   the playback device NAME
device_number() {
  "$1" devices | awk -v section="$2" -v name="$3" '
    /^Capture/ {s = "in"} /^Playback/ {s = "out"}
    s == section && $2 == name && NF == 2 {print $1}
    s == section && $0 ~ ("  Monitor of " name "$") {print $1}'
}
