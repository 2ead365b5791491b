#!/usr/bin/env bash
# The device start on a full disk: Opcwatch's server cannot start and its standard error file
# takes no line. The start script still hears the failure, prints Opcwatch's lines and ends with
# a non-zero code long before its own wait for a listener (60 s) runs out.
#   run_full_disk_test.sh <repo> <bin-folder>   (as root; skipped, code 77, where no file system can be mounted)
set -uo pipefail
repo=$1 bin=$2
# A mount namespace of its own: the small file system goes with the test, however it ends.
if [ -z "${IN_OWN_MOUNTS:-}" ]; then
  unshare --mount --propagation private true 2>/dev/null || { echo "SKIP: no mount namespace can be made"; exit 77; }
  IN_OWN_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi
source "$(dirname "$0")/device_start.sh"
export OPCWATCH_PORT=$(free_port)
log=$(mktemp) # the terminal's lines: not on the full disk
# The Vos router outlives the device for a while: it is stopped so that the disk can go.
unmount() { "$bin/vosrouter" --stop; umount "$DEVICE_ROOT" || umount -l "$DEVICE_ROOT"; }
fail_extra() { unmount; rm -f "$log"; }

# Room for a device root of an earlier start (the registry, Opcwatch's program and configuration)
# and no more: then the disk is filled.
size_kib=$(( $(du -k "$bin/opcwatch" | cut -f1) + 1024 ))
mount -t tmpfs -o size=${size_kib}k tmpfs "$DEVICE_ROOT" ||
  { echo "SKIP: no file system can be mounted here"; rm -rf "$DEVICE_ROOT" "$log"; exit 77; }
"$bin/reg" set 'HKLM\Platform' HostAddress sz 127.0.0.1 || fail "no registry"
mkdir -p "$DEVICE_ROOT/Opcwatch"
cp "$bin/opcwatch" "$DEVICE_ROOT/Opcwatch/opcwatch" || fail "no room for Opcwatch"
sed "s|<Url>4840</Url>|<Url>$OPCWATCH_PORT</Url>|" "$bin/Opcwatch.xml" > "$DEVICE_ROOT/Opcwatch/Opcwatch.xml"
dd if=/dev/zero of="$DEVICE_ROOT/filler" bs=4k 2>/dev/null
[ "$(df --output=avail -k "$DEVICE_ROOT" | tail -n1 | tr -d ' ')" -eq 0 ] || fail "the disk is not full"

start=$SECONDS
start_device
wait_for_end 45

[ "$rc" -ne 0 ] || fail "the start script ended with 0"
grep -q "device running" "$log" && fail "the start script says the device runs"
grep -q "^opcwatch: the OPC UA server did not start; no endpoint is open$" "$log" ||
  fail "Opcwatch's failure line is not on the terminal"
grep -q "^Opcwatch does not serve on port $OPCWATCH_PORT" "$log" || fail "the script does not say what failed"
cat "$log"
echo "start script on a full disk: ok (ended after $((SECONDS - start)) s with $rc)"
unmount
rm -rf "$DEVICE_ROOT" "$log"
