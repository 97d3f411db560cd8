# shellcheck shell=sh disable=SC2086 # the guest's own sysfs paths, none with a space
# The guest's USB cameras and their power (sourced by /init and the guest's
# benchmarks). Whatever opens a camera's node wakes it: "active", and its
# runtime_active_time grows.

# The cameras: USB devices of the miscellaneous class the gadgets declare.
usb_cameras() {
  for device in /sys/bus/usb/devices/*; do
    [ -f "$device/idVendor" ] && [ "$(cat $device/bDeviceClass)" = ef ] && echo "$device"
  done
}

# A line a camera: its name, power state and time spent active.
sleep_state() {
  for device in $(usb_cameras); do
    echo "${device##*/} $(cat $device/power/runtime_status) $(cat $device/power/runtime_active_time)"
  done
}

# Autosuspend on with no delay, as an idle laptop's cameras sleep; returns
# once every camera is suspended, or fails after a while.
let_cameras_sleep() {
  for device in $(usb_cameras); do
    echo 0 >$device/power/autosuspend_delay_ms && echo auto >$device/power/control || return 1
  done
  i=0
  while sleep_state | grep -qv ' suspended '; do
    [ $i -lt 400 ] || return 1
    sleep 0.05
    i=$((i + 1))
  done
}

# Every camera powered and active.
wake_cameras() {
  for device in $(usb_cameras); do echo on >$device/power/control; done
  i=0
  while sleep_state | grep -qv ' active '; do
    [ $i -lt 400 ] || return 1
    sleep 0.05
    i=$((i + 1))
  done
}
