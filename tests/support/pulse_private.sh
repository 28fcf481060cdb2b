# A private PulseAudio for tests and benchmarks: in the foreground, with runtime, state and
# home folders of its own, no D-Bus, no hardware and no autospawn, on a socket of its own.
# Source it, then
#   pulse_start DIR SINK...   starts it with a null sink for each name, in that order, each
#                             at 44100 Hz 16-bit stereo and described by its name; a sink's
#                             monitor is a capture device. A name given as source:NAME is a
#                             null source instead, a capture device that is no monitor, as a
#                             microphone is. Exports PULSE_SERVER and sets pulse_pid; its log
#                             is DIR/pulse.log.
#   kill "$pulse_pid"         ends it
pulse_start() {
  local dir=$1 modules=() sink
  shift
  for sink in "$@"; do
    case $sink in
      source:*) modules+=(-L "module-null-source source_name=${sink#source:} description=${sink#source:} rate=44100 format=s16le channels=2") ;;
      *) modules+=(-L "module-null-sink sink_name=$sink sink_properties=device.description=$sink rate=44100 format=s16le channels=2 norewinds=1") ;;
    esac
  done
  mkdir -p "$dir"/{run,state,home}
  HOME=$dir/home XDG_RUNTIME_DIR=$dir/run PULSE_RUNTIME_PATH=$dir/run \
    PULSE_STATE_PATH=$dir/state pulseaudio -n --daemonize=no --exit-idle-time=-1 \
    --use-pid-file=no --disable-shm=yes \
    -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    "${modules[@]}" >"$dir/pulse.log" 2>&1 &
  pulse_pid=$!
  export PULSE_SERVER=unix:$dir/native
  for _ in $(seq 100); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}
