#!/usr/bin/env bash
# Runs the sandbox once and checks that the host's fixed paths, bus socket and kernel
# settings are as they were before.
set -euo pipefail
sandbox=$1
build=$2

snapshot() {
    for p in /etc/mdm /usr/lib/mdm /var/lib/tarvex /run/dbus/system_bus_socket /dev/log; do
        if [ -e "$p" ]; then stat -c '%n %i %Y' "$p"; else echo "$p absent"; fi
    done
    ls -A /media 2>/dev/null | sed 's/^/media: /'
    cat /proc/sys/net/unix/max_dgram_qlen
    ip -o link show | awk '{print $2}'
    md5sum /etc/fstab 2>/dev/null || echo "no fstab"
}

before=$(snapshot)
"$sandbox" --build "$build" -- sh -c '
    set -e
    test -d /etc/mdm && test -z "$(ls -A /etc/mdm)"
    touch /etc/mdm/probe /var/lib/tarvex/probe /usr/lib/mdm/probe
    echo "/dev/sdz1 /media/x tmpfs user 0 0" >> /etc/fstab
    test "$(cat /proc/sys/net/unix/max_dgram_qlen)" = 1000
    ip -4 addr show mdm0 | grep -q 192.0.2.10
    gdbus call --system --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
        --method org.freedesktop.DBus.GetId >/dev/null
'
after=$(snapshot)
if [ "$before" != "$after" ]; then
    echo "the host changed:"
    diff <(echo "$before") <(echo "$after") || true
    exit 1
fi
echo "host untouched"
