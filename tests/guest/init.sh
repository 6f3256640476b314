#!/bin/bash
# The first process of the guest that tools/guest-check.sh boots (the initramfs hands over to it
# with the run's folder on /mnt/vornel and the output folder on /mnt/out): the file systems a
# system needs, udev for the devices and their /dev/serial/by-id names, the Vornel package as a
# user installs it, then the checks. Powers the guest off at the end.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root XDG_RUNTIME_DIR=/run/user/0
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t tmpfs -o mode=755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
mkdir -p /dev/pts /dev/shm /run/lock /run/user/0
chmod 1777 /run/lock
chmod 700 /run/user/0
mount -t devpts -o ptmxmode=0666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
ln -sf /proc/self/fd /dev/fd
/lib/systemd/systemd-udevd --daemon
udevadm trigger --action=add --type=subsystems
udevadm trigger --action=add --type=devices
udevadm settle --timeout=300
dpkg -i /mnt/vornel/vornel.deb >/mnt/out/dpkg.log 2>&1 || echo "dpkg -i failed" >&2
python3 /mnt/vornel/guest_checks.py >/mnt/out/guest.log 2>&1
sync
echo o >/proc/sysrq-trigger
sleep 60
