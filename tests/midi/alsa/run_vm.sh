#!/bin/sh
# Runs a test program against the real kernel ALSA sequencer: boots Debian's own kernel in
# QEMU (software emulation, so no /dev/kvm is needed) with the sound modules that need no
# hardware, the host's root shared read-only and a work folder shared read-write, then runs
#   run_vm.sh CACHE_DIR WORK_DIR PROGRAM [ARGS...]
# inside, chrooted into the host's root, so the program and its libraries are the host's.
# CACHE_DIR keeps the kernel and the initramfs between runs. Exits with the program's status,
# or 77 (skipped, saying why) where QEMU or the kernel package cannot be had.
set -eu

cache=$1 work=$2
shift 2
skip() { echo "SKIPPED: $*"; exit 77; }

command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not installed"
for tool in busybox cpio depmod modprobe; do
  command -v $tool >/dev/null || skip "$tool is not installed"
done
busybox=$(command -v busybox)
ldd "$busybox" >/dev/null 2>&1 && skip "busybox is not the static one (busybox-static)"

mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

# --- The kernel: the package linux-image-amd64 points to, unpacked once into the cache.
kernel_package() { apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/{print $2; exit}'; }
if [ ! -f "$cache/ready" ]; then
  pkg=$(kernel_package)
  if [ -z "$pkg" ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    pkg=$(kernel_package)
  fi
  [ -n "$pkg" ] || skip "no linux-image-amd64 in the package lists"
  rm -rf "$cache/deb" "$cache/root"
  mkdir -p "$cache/deb"
  # apt's own user cannot write into a build folder owned by another user; that is only a warning.
  (cd "$cache/deb" && apt-get download "$pkg" >/dev/null 2>&1) ||
    (apt-get update -qq >/dev/null 2>&1 && cd "$cache/deb" && apt-get download "$pkg" >/dev/null 2>&1) ||
    skip "the kernel package $pkg could not be downloaded"
  dpkg-deb -x "$cache"/deb/*.deb "$cache/root"
  rm -rf "$cache/deb"
  version=$(ls "$cache/root/lib/modules")
  depmod -b "$cache/root" "$version"

  # The modules in load order, with what they need.
  rm -rf "$cache/modules"
  mkdir -p "$cache/modules"
  : >"$cache/modules/order"
  for m in virtio_pci 9pnet_virtio 9p snd-seq-dummy snd-virmidi snd-seq-midi snd-serial-u16550; do
    modprobe -d "$cache/root" -S "$version" --show-depends "$m" | while read -r _ path _; do
      name=$(basename "$path")
      grep -qx "$name" "$cache/modules/order" && continue
      cp "$path" "$cache/modules/"
      echo "$name" >>"$cache/modules/order"
    done
  done
  cp "$cache/root/boot/vmlinuz-$version" "$cache/vmlinuz"
  rm -rf "$cache/root"
  touch "$cache/ready"
fi

# --- The initramfs: busybox, the modules, and /init; small enough to build every run.
initrd="$work/initrd"
mkdir -p "$initrd/bin" "$initrd/proc" "$initrd/sys" "$initrd/dev" "$initrd/host"
cp "$busybox" "$initrd/bin/busybox"
cp -r "$cache/modules" "$initrd/modules"
cp "$(dirname "$0")/vm_init.sh" "$initrd/init"
chmod +x "$initrd/init"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -1 >"$work/initrd.gz")
rm -rf "$initrd"

# --- The run: what init runs inside, chrooted into the host's root.
program=$1
shift
case $program in /*) ;; *) program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program") ;; esac
{
  echo "cd '$work'"
  echo "export TMPDIR='$work' TEST_TMPDIR='$work'"
  printf "exec '%s'" "$program"
  for a in "$@"; do printf " '%s'" "$a"; done
  echo
} >"$work/run.sh"

# The console goes to a file: CI has no terminal, and the program's output is all it shows.
# A second UART, at an address no serial driver probes, is the serial MIDI interface; what
# it sends lands in serial.bin. Without ACPI PNP the console driver sees only the legacy ports.
# The plain 64-bit processor, not the emulator's "max": under that one the kernel kills Wine's
# programs as they start, and nothing here needs more.
status=0
timeout 600 qemu-system-x86_64 -machine pc -cpu qemu64 -m 1024 -smp 1 -nodefaults -no-reboot \
  -display none -vga none \
  -kernel "$cache/vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 pnpacpi=off panic=-1 kf.work=$work" \
  -serial "file:$work/console.log" \
  -chardev "file,id=midi,path=$work/serial.bin" -device isa-serial,iobase=0x238,irq=5,chardev=midi \
  -fsdev local,id=hostroot,path=/,security_model=none,readonly=on,multidevs=remap \
  -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
  -fsdev local,id=work,path="$work",security_model=none \
  -device virtio-9p-pci,fsdev=work,mount_tag=work || status=$?
cat "$work/console.log" 2>/dev/null | tr -d '\r' | grep -v '^\[ *[0-9.]*\]' || true
[ $status -eq 0 ] || { echo "QEMU ended with status $status"; exit 1; }
[ -f "$work/rc" ] || { echo "the program inside the VM did not finish"; exit 1; }
exit "$(cat "$work/rc")"
