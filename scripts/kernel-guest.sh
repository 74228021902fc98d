#!/usr/bin/env bash
# Boots a throw-away Linux guest under QEMU (Debian's own kernel with its real
# ftdi_sio driver, busybox), with QEMU's emulated FTDI FT232 converters
# attached, runs one command inside it and exits with that command's status;
# the guest's output is printed. Always bounded by --timeout.
#
#   kernel-guest.sh --cache DIR [--share DIR]... [--share-ro DIR]... [--trace FILE]
#                   [--timeout SECONDS] [--] COMMAND...
#
# --cache      where the kernel, busybox and udev packages are fetched (apt-get
#              download) and the initramfs is built; nothing is installed
# --share      a host folder mounted read-write at the same path in the guest
#              (--share-ro: read-only); the command starts in the first one
# --trace      QEMU's usb_serial_* trace events are written to FILE
#
# The host's /usr is shared in read-only, so programs built here run in the
# guest unchanged. Guest layout (docs/kernel-tests.md):
#   FT000001  xhci root port 1          data peer: the virtio port "ftdi0peer"
#   FT000002  behind a usb-hub (2.1)    data peer: /dev/ttyS1 (a 16550)
#   FTSHARED  root port 3 and behind the hub (2.2): two converters, one serial
#   the virtio port "qemu-monitor" is QEMU's human monitor (device_add/_del)
# KVM is used only when it boots this kernel; otherwise TCG (KERNEL_GUEST_ACCEL
# forces one).
set -euo pipefail

usage() { sed -n '2,/^set -e/{/^#/s/^# \{0,1\}//p}' "$0" >&2; exit 2; }
cache="" trace="" timeout=240 shares=() ro_shares=()
while [ $# -gt 0 ]; do
  case "$1" in
    --cache) cache=$2; shift 2 ;;
    --share) shares+=("$(realpath "$2")"); shift 2 ;;
    --share-ro) ro_shares+=("$(realpath "$2")"); shift 2 ;;
    --trace) trace=$2; shift 2 ;;
    --timeout) timeout=$2; shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ -n "$cache" ] && [ $# -ge 1 ] || usage
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$cache"
cache=$(realpath "$cache")

# ---- the kernel, busybox and udev, unpacked (once per cache) ----------------
# The newest kernel image Debian's linux-image-amd64 names; fetched again
# when that changes.
kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }'
}

fetch_packages() {
  local kpkg=$1 debs=$cache/debs
  rm -rf "$debs" "$cache/root"; mkdir -p "$debs" "$cache/root"
  (cd "$debs" && apt-get download -q -o APT::Sandbox::User=root "$kpkg" busybox-static udev) >&2
  for d in "$debs"/*.deb; do dpkg-deb -x "$d" "$cache/root"; done
  rm -rf "$debs"
}

# The uncompressed kernel (an ELF with a PVH entry that QEMU boots directly):
# under TCG the kernel's own XZ decompressor costs about 3 s a boot.
extract_vmlinux() {
  local z=$1 ss off len
  rd() { od -An -t "u$2" -j "$1" -N "$2" "$z" | tr -d ' '; }
  ss=$(rd $((0x1f1)) 1); [ "$ss" = 0 ] && ss=4
  off=$(( (ss + 1) * 512 + $(rd $((0x248)) 4) )); len=$(rd $((0x24c)) 4)
  tail -c +$((off + 1)) "$z" | head -c "$len" | xz -dc > "$cache/vmlinux.tmp" 2>/dev/null || true
  [ "$(head -c 4 "$cache/vmlinux.tmp" | od -An -tx1 | tr -d ' ')" = 7f454c46 ] ||
    { echo "kernel-guest: could not extract vmlinux from $z" >&2; exit 1; }
  mv "$cache/vmlinux.tmp" "$cache/vmlinux"
}

# The modules the guest needs, with their dependencies, in load order.
module_order() {
  local m=$1 p; declare -gA seen=(); order=()
  dep() {
    local p=$1 d; [ -n "${seen[$p]:-}" ] && return; seen[$p]=1
    for d in $(awk -v m="$p:" '$1 == m { for (i = 2; i <= NF; i++) print $i }' "$m/modules.dep"); do dep "$d"; done
    order+=("$p")
  }
  for name in xhci-pci ftdi_sio 9pnet_virtio 9p virtio_pci virtio_console; do
    p=$(awk -F: -v m="/$name.ko" 'index($1, m) > 0 && index($1, m) == length($1) - length(m) + 1 { print $1; exit }' "$m/modules.dep")
    [ -n "$p" ] || { echo "kernel-guest: module $name not found" >&2; exit 1; }
    dep "$p"
  done
}

build_initramfs() {
  local root=$cache/root bb=$cache/root/bin/busybox k m i=$cache/initramfs
  k=$(ls "$root/lib/modules" | head -1); m=$root/lib/modules/$k
  "$bb" depmod -b "$root" "$k"
  extract_vmlinux "$root/boot/vmlinuz-$k"
  module_order "$m"
  rm -rf "$i"; mkdir -p "$i"/{bin,proc,sys,dev,tmp,run,usr,etc,root,modules}
  ln -s usr/lib "$i/lib"; ln -s usr/lib64 "$i/lib64"; ln -s bin "$i/sbin"
  cp "$bb" "$i/bin/"
  for a in $("$bb" --list); do [ -e "$i/bin/$a" ] || ln -s busybox "$i/bin/$a"; done
  for p in "${order[@]}"; do cp "$m/$p" "$i/modules/"; basename "$p" .ko; done > "$i/modules/load.order"
  printf 'root:x:0:0:root:/root:/bin/sh\n' > "$i/etc/passwd"
  printf 'root:x:0:\ntty:x:5:\ndialout:x:20:\n' > "$i/etc/group"
  # udev, for the checks that need a daemon; its libraries come from the host's /usr.
  mkdir -p "$i/udev"
  cp "$root/bin/udevadm" "$root/lib/udev/rules.d/60-serial.rules" "$i/udev/"
  ln -s udevadm "$i/udev/systemd-udevd"
  cp "$here/kernel-guest-init" "$i/init"; chmod +x "$i/init"
  (cd "$i" && find . | "$bb" cpio -o -H newc 2>/dev/null) | gzip -1 > "$cache/base.cpio.gz"
  rm -rf "$i"
}

# One preparer at a time per cache; runs share what it made.
relay=$cache/relay
exec 8>"$cache/.lock"
flock 8
kpkg=$(kernel_package)
if [ -z "$kpkg" ] && [ "$(id -u)" -eq 0 ]; then  # a machine whose package lists were never fetched
  apt-get update -q >&2
  kpkg=$(kernel_package)
fi
[ -n "$kpkg" ] || { echo "kernel-guest: apt-cache knows no linux-image-amd64 (run apt-get update)" >&2; exit 1; }
if [ "$(cat "$cache/kernel-package" 2>/dev/null)" != "$kpkg" ]; then
  rm -f "$cache/kernel-package"
  fetch_packages "$kpkg"
  build_initramfs
  echo "$kpkg" > "$cache/kernel-package"
elif [ ! -f "$cache/base.cpio.gz" ] || [ "$here/kernel-guest-init" -nt "$cache/base.cpio.gz" ] ||
     [ "$0" -nt "$cache/base.cpio.gz" ]; then
  build_initramfs
fi

[ "$relay" -nt "$here/kernel-guest-relay.c" ] || cc -O2 -Wall -o "$relay" "$here/kernel-guest-relay.c"
flock -u 8

# ---- one run ----------------------------------------------------------------
# KVM where it boots this kernel (tried once per cache: a nested /dev/kvm
# may exist and still not boot it), TCG otherwise.
if [ -z "${KERNEL_GUEST_ACCEL:-}" ] && [ ! -s "$cache/accel" ]; then
  accel=tcg
  if [ -r /dev/kvm ] && [ -w /dev/kvm ] &&
     KERNEL_GUEST_ACCEL=kvm "$0" --cache "$cache" --timeout 15 -- true >/dev/null 2>&1; then
    accel=kvm
  fi
  echo "$accel" > "$cache/accel"
fi
accel=${KERNEL_GUEST_ACCEL:-$(cat "$cache/accel")}

run=$(mktemp -d "${TMPDIR:-/tmp}/kernel-guest.XXXXXX")
relays=()
cleanup() {
  local p
  for p in "${relays[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$run"
}
trap cleanup EXIT

token=$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
all_shares=("${shares[@]}" "${ro_shares[@]}")
mkdir -p "$run/layer/etc"
{
  echo "token=$token"
  echo "workdir=${shares[0]:-/}"
  for i in "${!all_shares[@]}"; do echo "share$i=${all_shares[$i]}"; done
} > "$run/layer/etc/kernel-guest.conf"
printf '%q ' "$@" > "$run/layer/etc/kernel-guest.command"
(cd "$run/layer" && find . | "$cache/root/bin/busybox" cpio -o -H newc 2>/dev/null) | gzip -1 > "$run/layer.cpio.gz"
cat "$cache/base.cpio.gz" "$run/layer.cpio.gz" > "$run/initrd.gz"

# QEMU's usb-serial writes what the guest sends with a blocking write under
# its global lock, so a peer that drains only while the guest runs
# (virtio-serial, a 16550) deadlocks it once some 16-64 KiB are pending. The
# relay reads each side eagerly and buffers. It also joins the monitor to the
# guest's "qemu-monitor" port.
for pair in ftdi0:peer0 ftdi1:peer1 mon:monport; do
  "$relay" "$run/${pair%:*}.sock" "$run/${pair#*:}.sock" & relays+=($!)
done
for _ in $(seq 200); do
  n=$(ls "$run"/*.sock 2>/dev/null | wc -l); [ "$n" -ge 6 ] && break; sleep 0.01
done

accel_args=(-accel "$accel"); [ "$accel" = kvm ] && accel_args+=(-cpu host)
share_args=()
for i in "${!shares[@]}"; do
  share_args+=(-virtfs "local,path=${shares[$i]},mount_tag=share$i,security_model=none")
done
for j in "${!ro_shares[@]}"; do
  share_args+=(-virtfs "local,path=${ro_shares[$j]},mount_tag=share$(( ${#shares[@]} + j )),security_model=none,readonly=on")
done
trace_args=(); [ -n "$trace" ] && trace_args=(-trace 'usb_serial_*' -D "$trace")

set +e
timeout -s KILL "$timeout" qemu-system-x86_64 "${accel_args[@]}" -m 384 -nodefaults -display none -no-reboot \
  -kernel "$cache/vmlinux" -initrd "$run/initrd.gz" -append "console=ttyS0 quiet panic=-1" \
  -serial stdio "${trace_args[@]}" \
  -chardev "socket,id=mon,path=$run/mon.sock" -mon chardev=mon,mode=readline \
  -device qemu-xhci,id=xhci \
  -device usb-hub,id=hub0,bus=xhci.0,port=2 \
  -chardev "socket,id=ftdi0,path=$run/ftdi0.sock" \
  -device usb-serial,id=usbser0,bus=xhci.0,port=1,chardev=ftdi0,serial=FT000001 \
  -chardev "socket,id=ftdi1,path=$run/ftdi1.sock" \
  -device usb-serial,id=usbser1,bus=xhci.0,port=2.1,chardev=ftdi1,serial=FT000002 \
  -chardev null,id=null2 -device usb-serial,id=usbser2,bus=xhci.0,port=3,chardev=null2,serial=FTSHARED,always-plugged=on \
  -chardev null,id=null3 -device usb-serial,id=usbser3,bus=xhci.0,port=2.2,chardev=null3,serial=FTSHARED,always-plugged=on \
  -device virtio-serial-pci \
  -chardev "socket,id=peer0,path=$run/peer0.sock" -device virtserialport,chardev=peer0,name=ftdi0peer \
  -chardev "socket,id=monport,path=$run/monport.sock" -device virtserialport,chardev=monport,name=qemu-monitor \
  -chardev "socket,id=peer1,path=$run/peer1.sock" -serial chardev:peer1 \
  -virtfs local,path=/usr,mount_tag=hostusr,security_model=none,readonly=on "${share_args[@]}" \
  </dev/null 2>"$run/qemu.stderr" |
  tr -d '\r' | while IFS= read -r line; do
    if [[ $line == "@@kernel-guest-exit-$token="* ]]; then
      echo "${line#*=}" > "$run/status"
    elif [[ $line == "[init] "* || $line =~ ^\[\ *[0-9]+\.[0-9]{6}\]\  ]]; then  # init's and the kernel's chatter
      [ -z "${KERNEL_GUEST_VERBOSE:-}" ] || echo "$line" >&2
    else
      printf '%s\n' "$line"
    fi
  done
qemu_status=${PIPESTATUS[0]}
set -e
if [ ! -s "$run/status" ]; then
  echo "kernel-guest: no exit status from the guest (QEMU status $qemu_status; time-out ${timeout} s?)" >&2
  cat "$run/qemu.stderr" >&2
  exit 125
fi
exit "$(cat "$run/status")"
