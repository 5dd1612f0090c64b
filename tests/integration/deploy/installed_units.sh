#!/usr/bin/env bash
# Installs the build, and the stock-machine component with it, into a private DESTDIR and checks what an install hands to systemd and the
# bus: every unit's exposure rating under its target, bus activation for every system service,
# the folders and bank files tmpfiles.d creates, and a manual page for every program.
#   installed_units.sh BUILD_DIR
set -uo pipefail
build=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

DESTDIR="$stage" cmake --install "$build" >/dev/null || { echo "FAIL: install"; exit 1; }
DESTDIR="$stage" cmake --install "$build" --component standin >/dev/null ||
    { echo "FAIL: install of the stock-machine component"; exit 1; }
units="$stage/usr/lib/systemd/system"

# Exposure targets in systemd-analyze's internal scale (tenths): "below 2.0" is at most 19.
declare -A target=([VaultGate]=19 [TouchGate]=19 [LensGate]=19 [RosterGate]=19 [bankguard]=19
                   [plugwatch]=49 [NicGate]=49 [mdm-logd]=19 [mdm-clientd]=19 [mdm-notifyd]=19
                   # It writes sysfs and sets disks read-only: kernel tunables stay in view.
                   [tarvex-enforce]=29)
checked=0
for unit in "$units"/*.service; do
    name=$(basename "$unit" .service)
    if [ -z "${target[$name]:-}" ]; then
        fail "$name.service has no exposure target"
        continue
    fi
    report=$(systemd-analyze security --offline=true --no-pager --threshold="${target[$name]}" \
        "$unit" 2>&1)
    rc=$?
    echo "$report" | grep 'Overall exposure level'
    [ $rc -eq 0 ] || fail "$name.service is above its target of ${target[$name]}"
    checked=$((checked + 1))
done
[ $checked -ge 5 ] || fail "only $checked units installed"

# Each system-bus service the policy files name is activatable, by its unit, with an installed
# program.
activation="$stage/usr/share/dbus-1/system-services"
for conf in "$stage"/usr/share/dbus-1/system.d/*.conf; do
    bus=$(basename "$conf" .conf)
    [ "$bus" = com.quorl.storage ] && continue  # plugwatch starts at boot; nothing activates it
    file="$activation/$bus.service"
    if [ ! -f "$file" ]; then
        fail "no activation file for $bus"
        continue
    fi
    grep -qx "Name=$bus" "$file" || fail "$file does not name $bus"
    exec_path=$(sed -n 's/^Exec=//p' "$file")
    [ -x "$stage$exec_path" ] || fail "$file starts $exec_path, which is not installed"
    unit=$(sed -n 's/^SystemdService=//p' "$file")
    [ -f "$units/$unit" ] || fail "$file names unit $unit, which is not installed"
    grep -qx "BusName=$bus" "$units/$unit" || fail "$unit does not wait for $bus"
done

# tmpfiles.d: the bank folders with four empty lists and four "0" statuses, created only when
# missing; the stand-in's store root's alone.
root="$stage/root"
mkdir -p "$root/etc/mdm/bank/status"
printf '1' >"$root/etc/mdm/bank/status/taxkey"
systemd-tmpfiles --create --root="$root" "$stage"/usr/lib/tmpfiles.d/*.conf ||
    fail "systemd-tmpfiles --create"
for type in ushield fingerprint taxtray taxkey; do
    list="$root/etc/mdm/bank/devlist/$type"
    [ -f "$list" ] && [ ! -s "$list" ] || fail "$list is not an empty file"
done
for type in ushield fingerprint taxtray; do
    [ "$(cat "$root/etc/mdm/bank/status/$type" 2>/dev/null)" = 0 ] ||
        fail "status/$type is not 0"
done
[ "$(cat "$root/etc/mdm/bank/status/taxkey")" = 1 ] || fail "an existing status was overwritten"
[ "$(stat -c %a "$root/var/lib/tarvex" 2>/dev/null)" = 700 ] || fail "/var/lib/tarvex is not 0700"

# Every installed program has its manual page, and every page renders without a warning.
for program in "$stage"/usr/sbin/* "$stage"/usr/bin/*; do
    [ -f "$stage/usr/share/man/man8/$(basename "$program").8" ] ||
        fail "no manual page for $(basename "$program")"
done
if command -v man >/dev/null; then
    for page in "$stage"/usr/share/man/man*/*; do
        # From the manual's root, where a page's ".so man8/other.8" is found.
        warnings=$(cd "$stage/usr/share/man" &&
            LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    done
fi

[ $failures -eq 0 ] && echo "all checks passed"
exit $((failures > 0))
