#!/bin/sh
# SPDX-License-Identifier: MIT
# /init of the ARM guests: what a firmware's init does before and after
# the network, with lab/guest/guest.sh's stages in between.
/bin/busybox --install -s
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs -o mode=1777 tmpfs /tmp
/usr/share/hostq-boot/guest.sh boot
ip link set lo up
dnsmasq --conf-file=/etc/dnsmasq.conf
exec /usr/share/hostq-boot/guest.sh table
