#!/usr/bin/env bash
# End-to-end check of the run path: the device start script brings the device
# manager up on a fresh device root, a separate process reaches the simulated
# device through Profilelink, and SIGTERM stops everything in order.
#   run_device_test.sh <repo> <bin-folder>
set -uo pipefail
repo=$1 bin=$2
export DEVICE_ROOT=$(mktemp -d)
log=$DEVICE_ROOT/start.log
fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; kill -TERM "$pid" 2>/dev/null; rm -rf "$DEVICE_ROOT"; exit 1; }

"$repo/scripts/start-device.sh" "$bin" > "$log" 2>&1 &
pid=$!
for _ in $(seq 1 200); do
  grep -q "device running" "$log" && break
  kill -0 "$pid" 2>/dev/null || fail "start script ended early"
  sleep 0.1
done
grep -q "device running" "$log" || fail "device not running after 20 s"

# The peer checks the vendor id (a constant of the shipped description), then
# writes and reads back the backlight brightness 20 times.
"$bin/profilelink_peer" 0x8033 4 20 50 0x1018 1 0xE4C || fail "profilelink_peer exit $?"

kill -TERM "$pid"
wait "$pid"; rc=$?
[ "$rc" -eq 0 ] || fail "start script exit $rc after SIGTERM"
[ ! -e "$DEVICE_ROOT/devmgr.sock" ] || fail "device manager socket left behind"
grep -q "devmgr: stopped" "$log" || fail "device manager did not stop in order"
rm -rf "$DEVICE_ROOT"
echo "device run path: ok"
