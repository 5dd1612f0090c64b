#!/usr/bin/env bash
# Inside tools/sandbox: packages this build with the project's debian/ folder (the binary
# sequence alone, on the existing build), installs both packages with dpkg into a private
# overlay of /usr and /var (the host's package database and files stay as they are), checks
# what the maintainer scripts set up, then runs the plug sequence against the installed files.
# (tools/vm-test builds the packages in full and runs them under a real systemd.)
#   package_install.sh BUILD_DIR PLUG_TEST
set -euo pipefail
build=$1 plug_test=$2
[ "${MDM_SANDBOX:-}" = 1 ] || { echo "run me inside tools/sandbox" >&2; exit 2; }

work=$(mktemp -d)
mkdir "$work/src"
cp -r "$MDM_SOURCE_DIR/debian" "$work/src/"
# This build as it is (its system units stay under /usr/lib: nothing here runs systemd).
(cd "$work/src" && MDM_BUILDDIR="$build" MDM_PREBUILT=1 debian/rules binary >"$work/build.log" 2>&1) ||
    { cat "$work/build.log"; echo "FAIL: debian/rules binary"; exit 1; }
debs=("$work"/mdm_*.deb "$work"/mdm-tarvex-standin_*.deb)

for dir in /usr /var; do
    name=$(echo "$dir" | tr / _)
    mkdir -p "$work/ovl$name"/{upper,work}
    mount -t overlay "pkg$name" \
        -o "lowerdir=$dir,upperdir=$work/ovl$name/upper,workdir=$work/ovl$name/work" "$dir"
done

DEBIAN_FRONTEND=noninteractive dpkg -i "${debs[@]}" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; echo "FAIL: dpkg -i"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for p in mdm mdm-tarvex-standin; do
    [ "$(dpkg-query -W -f='${Status}' "$p")" = "install ok installed" ] || fail "$p not installed"
done
for f in /usr/sbin/plugwatch /usr/sbin/mdmctl /usr/sbin/tarvexctl; do
    [ -x "$f" ] || fail "$f missing"
done
# The postinst ran tmpfiles: the bank files exist with status 0, the store is root's alone.
[ "$(cat /etc/mdm/bank/status/ushield 2>/dev/null)" = 0 ] || fail "bank status files not created"
[ "$(stat -c %a /var/lib/tarvex 2>/dev/null)" = 700 ] || fail "/var/lib/tarvex not created 0700"
# The installed programs use the installed libraries.
libs=$(ldd /usr/sbin/plugwatch)
grep -q 'periphcore.so => /usr/lib/mdm/periphcore.so' <<<"$libs" || fail "plugwatch's periphcore"
# The installed stand-in, not the build's (/lib is /usr/lib on a merged system).
grep -Eq 'libtarvex_extend.so.0 => (/usr)?/lib/' <<<"$libs" || fail "framework library"
! grep -q "$build" <<<"$libs" || fail "plugwatch loads a library of the build tree"
[ $failures -eq 0 ] || exit 1

"$plug_test"
