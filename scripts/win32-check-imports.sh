#!/usr/bin/env bash
# Checks that PE files of the 32-bit Windows build load on Windows XP SP3,
# from their headers alone (objdump -p):
#
#   win32-check-imports.sh FILE...
#
# For each file:
# - the header's OS and subsystem versions are at most 5.1 (XP);
# - the C runtime is msvcrt.dll (no UCRT: api-ms-win-crt-*, ucrtbase; no
#   msvcrNN.dll);
# - no imported function is one that the installed MinGW headers declare for
#   Windows 10 (_WIN32_WINNT 0x0A00) but not for XP (0x0501): the deny-list
#   is made from the headers at each run, so it follows them;
# - every import DLL!function is in the committed allow-list
#   (scripts/win32-xp-imports.txt, or TORVANE_XP_IMPORTS), which says how a
#   new one is admitted.
# Prints every fault found and exits 1 if there is one, 2 when it cannot check.
set -euo pipefail

if [ "$#" -eq 0 ]; then
  echo "usage: $0 FILE..." >&2
  exit 2
fi
allow_list=${TORVANE_XP_IMPORTS:-$(dirname "$0")/win32-xp-imports.txt}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
cc=${MINGW_CC:-i686-w64-mingw32-gcc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The function names the headers declare at a given level: GCC's -aux-info
# writes one prototype per declared function.
declared_functions() {
  echo '#include <windows.h>' |
    "$cc" -D_WIN32_WINNT="$1" -DWINVER="$1" -fsyntax-only -aux-info "$work/aux-$1" -x c -
  perl -ne 'print "$1\n" if m{\*/ .*?\b([A-Za-z_]\w*) \((?!\*)}' "$work/aux-$1" | sort -u
}
declared_functions 0x0A00 >"$work/win10"
declared_functions 0x0501 >"$work/xp"
comm -23 "$work/win10" "$work/xp" >"$work/deny"
# A deny-list without the best known case would let everything through.
if ! grep -qx GetTickCount64 "$work/deny"; then
  echo "$0: the deny-list made from the MinGW headers lacks GetTickCount64; cannot check" >&2
  exit 2
fi
[ -f "$allow_list" ] || { echo "$0: no allow-list at $allow_list" >&2; exit 2; }
# DLL names compare case-insensitively: the list holds them in lower case.
{ grep -v -e '^#' -e '^[[:space:]]*$' "$allow_list" || true; } | sort -u >"$work/allow"

faults=0
fault() {
  echo "$file: $*" >&2
  faults=$((faults + 1))
}

at_most_xp() { (($1 < 5 || ($1 == 5 && $2 <= 1))); }

for file in "$@"; do
  if [ ! -f "$file" ]; then
    fault "no such file"
    continue
  fi
  headers=$("$objdump" -p "$file")
  field() { awk -v name="$1" '$1 == name {print $2; exit}' <<<"$headers"; }
  os="$(field MajorOSystemVersion) $(field MinorOSystemVersion)"
  subsystem="$(field MajorSubsystemVersion) $(field MinorSubsystemVersion)"
  # shellcheck disable=SC2086 # two numbers each
  at_most_xp $os || fault "header OS version ${os/ /.} is above 5.1"
  # shellcheck disable=SC2086
  at_most_xp $subsystem || fault "header subsystem version ${subsystem/ /.} is above 5.1"

  # "DLL Name: X", then member lines "hint-rva ordinal name" up to a blank
  # line; an import by ordinal alone has no name.
  awk '
    /DLL Name:/ {dll = tolower($3); inside = 1; next}
    inside && /^[[:space:]]*$/ {inside = 0}
    inside && $1 ~ /^[0-9a-f]+$/ && NF >= 2 {print dll "!" (NF >= 3 ? $3 : "#" $2)}' <<<"$headers" |
    sort -u >"$work/imports"
  [ -s "$work/imports" ] || fault "no imports found (not a PE file?)"
  while IFS='!' read -r dll function; do
    case "$dll" in
      api-ms-win-crt-* | ucrtbase*.dll | msvcr[0-9]*.dll)
        fault "C runtime $dll instead of msvcrt.dll (not on Windows XP)" ;;
    esac
    if grep -qxF "$function" "$work/deny"; then
      fault "imports $dll!$function, which Windows XP lacks (declared by the headers above _WIN32_WINNT 0x0501)"
    fi
    if ! grep -qxF "$dll!$function" "$work/allow"; then
      fault "imports $dll!$function, which is not in the allow-list $allow_list"
    fi
  done <"$work/imports"
done

if [ "$faults" -ne 0 ]; then
  echo "$faults fault(s); deny-list: $(wc -l <"$work/deny") functions from the headers" >&2
  exit 1
fi
echo "$# file(s) load on Windows XP SP3: versions at most 5.1, msvcrt.dll, every import allowed" \
  "(deny-list: $(wc -l <"$work/deny") functions from the headers)"
