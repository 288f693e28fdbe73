#!/bin/busybox sh
# PID 1 of the test VM: load the sound modules, mount the host's root and the work folder,
# run the work folder's run.sh chrooted into the host's root, record its status, power off.
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

work=$(sed -n 's/.*kf\.work=\([^ ]*\).*/\1/p' /proc/cmdline)

for m in $(cat /modules/order); do
  case $m in
    # The second UART as a serial MIDI interface of the generic kind, one output.
    snd-serial-u16550.ko) insmod /modules/$m port=0x238 irq=5 adaptor=4 speed=38400 ;;
    *) insmod /modules/$m ;;
  esac
done

mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=262144,cache=loose hostroot /host
mount -t devtmpfs dev /host/dev
mkdir -p /host/dev/shm && mount -t tmpfs shm /host/dev/shm  # libjack looks for its servers there
mount -t proc proc /host/proc
mount -t sysfs sys /host/sys
# The host's /tmp stays as it is, read-only: the build may lie below it. Temporary files go
# to the work folder (run.sh sets TMPDIR).
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 work "/host$work"
# An X server compiles its keymap into here (else into /tmp): the VM's own memory.
[ -d /host/var/lib/xkb ] && mount -t tmpfs xkb /host/var/lib/xkb

chroot /host /bin/sh "$work/run.sh"
echo $? >"/host$work/rc"
sync
poweroff -f
