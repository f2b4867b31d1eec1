#!/usr/bin/env bash
# The recipe of the virtual machine's image, run by `scripts/vm image` (as root) into an empty
# folder: a Debian 12 root from Debian's packages (i386 multiarch, 32-bit and 64-bit Wine, Xvfb,
# udev for the HID devices), Debian's own kernel with a small initrd (virtio, ext4, 9p), an ext4
# image of the root, and Wine prefixes made once inside the machine: a 32-bit one (/root/.wine)
# and a 64-bit one that runs both builds (/root/.wine64).
# The image is cached by this file's hash: any change here builds a new one.
#   vm-image.sh <folder> <mirror>
set -euo pipefail
# Debian's own tools, not whatever else a PATH puts first (mmdebstrap's tar filter is Python).
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
out=$1
mirror=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$out/root
log() { echo "[vm image $(date +%T)] $*"; }

GUEST_PACKAGES=(linux-image-amd64 initramfs-tools udev kmod procps iproute2
                wine wine32:i386 wine64 xvfb xauth xfonts-base fonts-liberation
                libgl1-mesa-dri:i386)

# Documentation and translations are never read in the machine; leaving them out keeps the
# image small and its build short.
log "the root, from $mirror"
mmdebstrap --variant=minbase --architectures=amd64,i386 --include="$(IFS=,; echo "${GUEST_PACKAGES[*]}")" \
    --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
    --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt='path-include=/usr/share/locale/locale.alias' \
    --aptopt='Acquire::Retries "3"' --skip=cleanup/apt/lists \
    bookworm "$root" "$mirror" >"$out/mmdebstrap.log" 2>&1 ||
    { tail -n 30 "$out/mmdebstrap.log"; exit 1; }
rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin

log "a small initrd: the machine's disk, its file system and the shared folders"
sed -i 's/^MODULES=.*/MODULES=list/; s/^COMPRESS=.*/COMPRESS=gzip/' \
    "$root/etc/initramfs-tools/initramfs.conf"
printf '%s\n' virtio_pci virtio_blk ext4 crc32c_generic 9pnet_virtio 9p \
    >>"$root/etc/initramfs-tools/modules"
chroot "$root" update-initramfs -u -k all >/dev/null

printf '127.0.0.1\tlocalhost\n127.0.1.1\tostrel-vm\n' >"$root/etc/hosts"
echo ostrel-vm >"$root/etc/hostname"
# Process 1 mounts the run's control folder and hands over to the init script each run brings
# (scripts/vm-init.sh), so that the image need not change when that script does.
cat >"$root/sbin/vm-init" <<'EOF'
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
mkdir -p /vmctl
if mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288 vmctl /vmctl && [ -f /vmctl/init.sh ]; then
  exec /bin/sh /vmctl/init.sh
fi
echo "vm-init: no init script in the control folder" >/dev/console
echo o >/proc/sysrq-trigger
EOF
chmod 755 "$root/sbin/vm-init"

log "kernel, initrd and the ext4 image"
cp "$(ls -1 "$root"/boot/vmlinuz-* | sort -V | tail -n 1)" "$out/vmlinuz"
cp "$(ls -1 "$root"/boot/initrd.img-* | sort -V | tail -n 1)" "$out/initrd.img"
truncate -s 8G "$out/rootfs.img"
mkfs.ext4 -q -F -L ostrel-vm -E lazy_itable_init=0,lazy_journal_init=0 -d "$root" "$out/rootfs.img"
rm -rf --one-file-system "$root"

# Wine's first start in a prefix takes minutes under emulation: both prefixes are made here,
# once. Wine's UDEV bus lists hidraw devices only while its SDL bus is off.
log "the Wine prefixes, inside the machine"
prefixes='
set -e
for prefix in /root/.wine:win32:wine /root/.wine64:win64:/usr/lib/wine/wine64; do
  IFS=: read -r WINEPREFIX WINEARCH loader <<<"$prefix"
  export WINEPREFIX WINEARCH
  $loader wineboot -i
  $loader reg add "HKCU\\Software\\Wine\\WineDbg" /v ShowCrashDialog /t REG_DWORD /d 0 /f
  $loader reg add "HKLM\\System\\CurrentControlSet\\Services\\winebus" /v "Enable SDL" /t REG_DWORD /d 0 /f
  wineserver -w
  echo "prefix $WINEPREFIX: $(grep -m 1 "^#arch" "$WINEPREFIX/system.reg")"
done'
OSTREL_VM_DIR=$out OSTREL_VM_PERSIST=1 "$here/vm" run --timeout 1800 --share "$out" -- bash -c "$prefixes"
log "done: $(du -h "$out/rootfs.img" | cut -f1) used"
