#!/usr/bin/env bash
# The registry path of the device list for real, under Wine: Wine reports
# Windows 95, 98 or Me to the lister (per program, through its AppDefaults),
# the FTDIBUS records and the SERIALCOMM map are written with `wine reg add`,
# and the grid the refresh builds is compared with the expected one. Then the
# NT line (the D2XX path over the simulated FTD2XX.DLL) and the error that a
# SERIALCOMM value of the wrong type raises.
#
#   registry_path.sh WINE_RUNNER PREFIX LISTER_EXE
set -euo pipefail
runner=$1
prefix=$2
lister=$3
program=$(basename "$lister")

"$runner" "$prefix" --init
export WINEPREFIX=$prefix WINEDEBUG=-all
server=$(command -v wineserver || command -v wineserver-stable || echo /usr/lib/wine/wineserver)
# HARDWARE\DEVICEMAP lives only as long as the server: one server, kept
# running, sees the keys written and the lister that reads them. A server
# still lingering after the tests before this one ends first.
"$server" -w </dev/null >/dev/null 2>&1 || true
"$server" -p </dev/null >/dev/null 2>&1
trap '"$server" -k >/dev/null 2>&1 || true' EXIT

reg() { "$runner" "$prefix" reg "$@" >/dev/null 2>&1; }
ftdibus='HKLM\Enum\FTDIBUS'
serialcomm='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
appdefaults="HKCU\\Software\\Wine\\AppDefaults\\$program"

reg delete "$ftdibus" /f || true
# Subkeys in enumeration order (Wine lists them sorted by name).
add_record() {  # subkey port friendly-name
  reg add "$ftdibus\\$1\\0000" /v ClassGUID /d '{4D36E978-E325-11CE-BFC1-08002BE10318}' /f
  reg add "$ftdibus\\$1\\0000" /v FriendlyName /d "$3" /f
  reg add "$ftdibus\\$1\\0000" /v PortName /d "$2" /f
}
add_record 'VID_0403+PID_6001+A1' COM5 'USB Serial Port (COM5)'
add_record 'VID_0403+PID_6001+B2' COM9 'USB Serial Port (COM9)'     # not in SERIALCOMM
reg add "$ftdibus\\VID_0403+PID_6001+C3" /f                           # no 0000 key: skipped
add_record 'VID_0403+PID_6001+D4' COM7 'Konwerter USB (COM7)'        # listed as com7: no match
add_record 'VID_0403+PID_6001+E5' COM5 'Drugi na COM5'                # duplicate port: skipped
add_record 'VID_0403+PID_6015+F6' COM12 'USB Serial Port (COM12)'
reg add "$serialcomm" /v COM5 /d COM5 /f
reg add "$serialcomm" /v COM7 /d com7 /f
reg add "$serialcomm" /v COM12 /d COM12 /f

failures=0
check() {  # name expected-output
  local actual
  actual=$("$runner" "$prefix" "$lister" | tr -d '\r')
  if [ "$actual" == "$2" ]; then
    echo "ok: $1"
  else
    echo "FAILED: $1"
    diff <(echo "$2") <(echo "$actual") || true
    failures=$((failures + 1))
  fi
}

consumer_grid='widths=150,150,150,68
rows=4
0|PORT|NAZWA|WERSJA STEROWNIKA|S/N
1|COM5|USB Serial Port (COM5)||
2|COM12|USB Serial Port (COM12)||
3||||
label='
for version in win95:0 win98:1 winme:2; do
  reg add "$appdefaults" /v Version /d "${version%%:*}" /f
  check "${version%%:*} lists the registry's present FTDI ports" "class=${version##*:}
$consumer_grid"
done

# A SERIALCOMM value that is not a string ends the refresh with its error.
reg add "$appdefaults" /v Version /d win98 /f
reg add "$serialcomm" /v COM3 /t REG_DWORD /d 3 /f
check "win98 with a DWORD under SERIALCOMM reports it" "class=1
error=Invalid data type for 'COM3'.
widths=82,163,128,68
rows=2
0|PORT|NAZWA|WERSJA STEROWNIKA|S/N
1||||
label="
reg delete "$serialcomm" /v COM3 /f

# The NT line takes the D2XX path: the simulated FTD2XX.DLL's demo set.
reg add "$appdefaults" /v Version /d win2k /f
actual=$(TORVANE_SIM= "$runner" "$prefix" "$lister" | tr -d '\r')
if grep -qx 'class=3' <<<"$actual" && grep -q '^1|COM3|' <<<"$actual" &&
   grep -qx 'label=Wersja biblioteki FTD2XX.DLL: 3.01.15' <<<"$actual"; then
  echo "ok: win2k takes the D2XX path"
else
  echo "FAILED: win2k takes the D2XX path"
  echo "$actual"
  failures=$((failures + 1))
fi

reg delete "$appdefaults" /f || true
reg delete "$ftdibus" /f || true
echo "registry_path.sh: $((5 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
