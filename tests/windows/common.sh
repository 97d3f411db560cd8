# Shared by the Windows test scripts (sourced): Wine's environment, counted
# checks, and the device set with the report it must give.
# shellcheck shell=bash

# shellcheck source=../../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
# shellcheck source=../support/checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"
wine_environment

# Each device is a key under the video input category's Instance key; Wine
# enumerates it with the display name
# @device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\<key>, so the identifiers
# are cut out of the key's name. Values are written as hex(1) (REG_SZ as
# UTF-16LE bytes) so that any text, control characters included, can be
# registered.

utf16_hex() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//'; }
registry_value() { printf '"%s"=hex(1):%s00,00\r\n' "$1" "$(utf16_hex "$2")"; }
registry_device() {  # registry_device <key> [FriendlyName|-] [Description|-]
  printf '[HKEY_CLASSES_ROOT\\CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\%s]\r\n' "$1"
  printf '"CLSID"="{17CCA71B-ECD7-11D0-B908-00A0C9223196}"\r\n'
  [ "${2:--}" != - ] && registry_value FriendlyName "$2"
  [ "${3:--}" != - ] && registry_value Description "$3"
  printf '\r\n'
}

long_name=$(printf 'L%.0s' $(seq 300))
pair_at_cut="$(printf 'x%.0s' $(seq 253))📷"

# devices_reg <file>: writes the device set as a .reg file for regedit.
devices_reg() {
  {
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    registry_device '01 usb#vid_1a2b&pid_3c4d&mi_00#6&1c2f' 'Integrated Camera' 'Integrated Camera description'
    registry_device '02 usb#vid_0a0b&pid_0c0d#5&3a1b' 'Only friendly'
    registry_device '03 vid_77&pid_tail#end' - 'Only description'
    registry_device '04 usb#vid_dead&pid_beef&' - -
    registry_device '05 usb#VID_1A2B&PID_3C4D&MI_00#' 'Caméra intégrée 摄像头 📷'
    registry_device '06 vid_&pid_&' $'Quote " backslash \\ tab \t escape \x1b one \x01'
    registry_device '07 long' "$long_name"
    registry_device '08 same vid_5&pid_6&' 'Twin'
    registry_device '09 same vid_5&pid_6&x' 'Twin'
    registry_device '10 cut pair' "$pair_at_cut"
  } | { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; } >"$1"
}

# The report the device set must give, written out from the rules.
devices_report() {
  entry() {  # entry <name> <pid> <vid>, all already quoted for JSON
    printf '   {\n      "name" : "%s",\n      "pid" : "%s",\n      "vid" : "%s"\n   }' "$1" "$2" "$3"
  }
  printf '%s\n' "[
$(entry 'Integrated Camera' 3c4d 1a2b),
$(entry 'Only friendly' '0c0d#5' 0a0b),
$(entry 'Only description' 'tail#end' 77),
$(entry 'Caméra intégrée 摄像头 📷' '' ''),
$(entry 'Quote \" backslash \\ tab \t escape \u001B one \u0001' '' ''),
$(entry "${long_name:0:254}" '' ''),
$(entry Twin 6 5),
$(entry Twin 6 5),
$(entry "${pair_at_cut:0:253}" '' '')
]"
}
