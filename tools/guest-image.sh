#!/usr/bin/env bash
# Builds, once, the Debian 12 guest that tools/guest-check.sh boots: Debian's kernel, a small
# initramfs (busybox and the modules that reach the disk and the shared folders) and an ext4 root
# made with mke2fs -d (no loop device), holding the packages below and those the given Vornel
# package depends on. Kept in ~/.cache/vornel/guest-KEY, KEY made of the package list, the kernel
# package's version and this script. Prints that folder.
#
#   bash tools/guest-image.sh VORNEL.deb
set -euo pipefail
deb=$1
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/install-deps.sh" mmdebstrap busybox-static e2fsprogs >&2

packages=(udev kmod xvfb xdotool xclip x11-utils imagemagick python3 picocom
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi)
# What the program needs, without versions; of alternatives the first.
mapfile -t needs < <(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/ //g')
packages+=("${needs[@]}")
kernel=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
[ -n "$kernel" ] || { echo "guest-image: no kernel package found (apt-get update?)" >&2; exit 1; }
kversion=$(apt-cache show --no-all-versions "$kernel" | awk '/^Version:/ {print $2; exit}')
key=$( (printf '%s\n' "$kernel" "$kversion" "${packages[@]}" | sort -u; cat "$0") |
    sha256sum | cut -c1-16)
dir=${XDG_CACHE_HOME:-$HOME/.cache}/vornel/guest-$key
if [ -s "$dir/root.img" ]; then
    echo "$dir"
    exit 0
fi

mkdir -p "$(dirname "$dir")"
tmp=$(mktemp -d "$dir.build.XXXX")
trap 'rm -rf "$tmp"' EXIT
echo "guest-image: building the guest ($kernel $kversion, ${#packages[@]} packages)" >&2
sources=(/etc/apt/sources.list.d/*.sources)
[ -e "${sources[0]}" ] || sources=(/etc/apt/sources.list)
root=$tmp/root
include=$(IFS=,; echo "${packages[*]}")
mmdebstrap --quiet --variant=minbase --mode=root --include="$include" \
    --dpkgopt=force-unsafe-io --dpkgopt='path-exclude=/usr/share/doc/*' \
    --dpkgopt='path-include=/usr/share/doc/*/copyright' \
    --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/locale/*' \
    bookworm "$root" "${sources[@]}" >&2

# The kernel as its package ships it, unpacked (installing it would build an initramfs of
# Debian's own); its module index made by the guest's own depmod.
(cd "$tmp" && apt-get download -qq -o APT::Sandbox::User=root "$kernel=$kversion" >&2)
dpkg-deb -x "$tmp/${kernel}_"*.deb "$tmp/kernel"
release=${kernel#linux-image-}
mkdir -p "$root/usr/lib/modules" "$root/mnt/vornel" "$root/mnt/out"
mv "$tmp/kernel/lib/modules/$release" "$root/usr/lib/modules/"
mv "$tmp/kernel/boot/vmlinuz-$release" "$tmp/vmlinuz"
chroot "$root" /sbin/depmod "$release"

# The initramfs: loads what reaches the disk and the shared folders, mounts them, and hands over
# to the run's own init in the shared folder.
init=$tmp/initramfs
mods=$init/lib/modules/$release
mkdir -p "$init/bin" "$init/proc" "$init/sys" "$init/dev" "$init/root" "$mods"
cp /bin/busybox "$init/bin/busybox"
wanted=(virtio_pci virtio_console virtio_blk crc32c_generic ext4 9pnet_virtio 9p)
for m in "${wanted[@]}"; do
    line=$(grep -E "/$m\.ko(\.[a-z]+)?:" "$root/lib/modules/$release/modules.dep")
    echo "$line" >>"$mods/modules.dep"
    for f in ${line/:/}; do
        mkdir -p "$mods/$(dirname "$f")"
        cp "$root/lib/modules/$release/$f" "$mods/$f"
    done
done
cat >"$init/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
for m in ${wanted[*]}; do modprobe \$m; done
exec </dev/console >/dev/console 2>&1
while [ ! -b /dev/vda ]; do sleep 0.05; done
mount -t ext4 /dev/vda /root
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144,ro vornel /root/mnt/vornel
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 out /root/mnt/out
mount --move /dev /root/dev
umount /proc /sys
exec switch_root /root /mnt/vornel/init
EOF
chmod 755 "$init/init"
(cd "$init" && find . | busybox cpio -o -H newc 2>/dev/null) >"$tmp/initrd.img"

truncate -s 3G "$tmp/root.img"
mke2fs -q -t ext4 -L vornel-guest -d "$root" "$tmp/root.img"
rm -rf "$root" "$init" "$tmp/kernel" "$tmp"/*.deb
trap - EXIT
rm -rf "$dir"
mv "$tmp" "$dir"
echo "$dir"
