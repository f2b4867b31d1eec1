#!/bin/sh
# Process 1 of the virtual machine (scripts/vm), brought by each run in its control folder
# (/vmctl): sets up the system, mounts the shared folder, starts what Wine's HID stack needs
# (udevd, uhid) and a virtual display, runs the run's command and powers off.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 TERM=dumb
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=1777 tmpfs /tmp
mount -t tmpfs -o mode=755 tmpfs /run
mkdir -p /run/lock /run/udev /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
ip link set lo up 2>/dev/null
hostname ostrel-vm
echo "vm: up at $(cut -d' ' -f1 /proc/uptime) s" >/dev/console

SHARE=$(cat /vmctl/share)
mkdir -p "$SHARE"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=524288,cache=mmap share "$SHARE" ||
    echo "vm: the shared folder could not be mounted at $SHARE" >>/vmctl/out

# Wine's UDEV bus finds hidraw devices through udev's database.
modprobe uhid
modprobe hid-generic
/lib/systemd/systemd-udevd --daemon >/dev/null 2>&1
Xvfb :0 -screen 0 1024x768x24 -nolisten tcp -noreset >/tmp/Xvfb.log 2>&1 &
export DISPLAY=:0
i=0
while [ ! -S /tmp/.X11-unix/X0 ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done

echo "vm: command starts at $(cut -d' ' -f1 /proc/uptime) s" >/dev/console
/bin/bash /vmctl/command.sh >>/vmctl/out 2>&1 </dev/null
status=$?
echo "vm: command ended ($status) at $(cut -d' ' -f1 /proc/uptime) s" >/dev/console
echo $status >/vmctl/status.part && mv /vmctl/status.part /vmctl/status

wineserver -k 2>/dev/null
sync
cd /
umount "$SHARE" 2>/dev/null
umount /vmctl 2>/dev/null
echo o >/proc/sysrq-trigger
sleep 30
