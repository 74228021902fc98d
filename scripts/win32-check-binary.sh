#!/usr/bin/env bash
# Checks what a user gets from the 32-bit Windows build, from the PE headers
# alone (objdump -p):
#
#   win32-check-binary.sh exe torvane1.exe
#   win32-check-binary.sh dll winseria.dll
#
# Both: a 32-bit PE; the serial library's 21 functions exported by name, with
# the ordinals 1 to 21 in their fixed order and nothing else exported; no
# import but Windows system DLLs (the compiler's runtime is linked in).
# The exe: a GUI program, which also imports exactly the four load-time
# functions of FTD2XX.DLL.
# Prints every fault found and exits 1 if there is one.
set -euo pipefail

kind=${1:-}
file=${2:-}
if [[ "$kind" != exe && "$kind" != dll ]] || [ ! -f "$file" ]; then
  echo "usage: $0 exe|dll FILE" >&2
  exit 2
fi
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

expected_exports=(Opoznienie CharSent ChangeSpeed ChangeParity pInitializePort UstawCTS
  ClearRTSLine SetRTSLine ClearDTRLine SetDTRLine ModemStatus UstawKanal SerialPortPresent
  DllVersion IsError ReadByte WriteByte ClearPort UnInitializePort InitializePort TimeOut)
expected_ftd2xx=(FT_Close FT_EE_Read FT_ListDevices FT_OpenEx)
# Windows' own DLLs that the build may use (compared case-insensitively).
system_dlls=" kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll msvcrt.dll shell32.dll "

headers=$("$objdump" -p "$file")
faults=0
fault() {
  echo "$file: $*" >&2
  faults=$((faults + 1))
}

grep -q 'file format pei-i386' <<<"$headers" || fault "not a 32-bit (i386) PE file"
subsystem=$(awk '/^Subsystem/ {print $3, $4}' <<<"$headers")
if [ "$kind" = exe ] && [ "$subsystem" != "(Windows GUI)" ]; then
  fault "subsystem is '$subsystem', not Windows GUI"
fi

# Export directory: "Ordinal Base N", then "[Ordinal/Name Pointer] Table"
# lines "[ i] Name" where i is the ordinal minus the base.
base=$(awk '/Export Address Table -- Ordinal Base/ {print $NF}' <<<"$headers")
[ "$base" = 1 ] || fault "ordinal base is '${base:-none}', not 1"
mapfile -t exports < <(awk '
  /^\[Ordinal\/Name Pointer\] Table/ {inside = 1; next}
  inside && /^[[:space:]]*$/ {inside = 0}
  inside {gsub(/[\[\]]/, " "); print $1 + 1, $2}' <<<"$headers" | sort -n)
if [ "${#exports[@]}" -ne "${#expected_exports[@]}" ]; then
  fault "exports ${#exports[@]} names, expected ${#expected_exports[@]}: ${exports[*]:-none}"
fi
for i in "${!expected_exports[@]}"; do
  want="$((i + 1)) ${expected_exports[$i]}"
  got="${exports[$i]:-missing}"
  [ "$got" = "$want" ] || fault "ordinal $((i + 1)): expected '${expected_exports[$i]}', found '$got'"
done

# Import directory: "DLL Name: X" followed by its member lines.
mapfile -t dlls < <(awk '/DLL Name:/ {print $3}' <<<"$headers")
for dll in "${dlls[@]}"; do
  lower=${dll,,}
  if [[ "$system_dlls" == *" $lower "* ]]; then continue; fi
  if [ "$kind" = exe ] && [ "$lower" = ftd2xx.dll ]; then continue; fi
  fault "imports from '$dll', which is not a Windows system DLL"
done
mapfile -t ftd2xx < <(awk '
  /DLL Name:/ {inside = (tolower($3) == "ftd2xx.dll"); next}
  inside && /^[[:space:]]*$/ {inside = 0}
  inside && $1 ~ /^[0-9a-f]+$/ && NF >= 3 {print $3}' <<<"$headers" | sort)
if [ "$kind" = exe ]; then
  [ "${ftd2xx[*]:-}" = "${expected_ftd2xx[*]}" ] ||
    fault "imports from FTD2XX.DLL: '${ftd2xx[*]:-none}', expected '${expected_ftd2xx[*]}'"
fi

if [ "$faults" -ne 0 ]; then
  echo "$file: $faults fault(s)" >&2
  exit 1
fi
echo "$file: $kind checks passed (${#exports[@]} exports, imports: ${dlls[*]})"
