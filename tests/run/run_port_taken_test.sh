#!/usr/bin/env bash
# The device start script while another program holds Opcwatch's port on loopback: the script
# must not take that program for Opcwatch. It prints Opcwatch's own failure lines and ends with
# a non-zero code long before its 60 s wait for a listener runs out, and leaves no process behind.
#   run_port_taken_test.sh <repo> <bin-folder>
set -uo pipefail
repo=$1 bin=$2
source "$(dirname "$0")/device_start.sh"
holder_log=$DEVICE_ROOT/holder.log
holder=
fail_extra() { [ -n "$holder" ] && kill -TERM "$holder" 2>/dev/null; }

# The other program: it listens on a free port of 127.0.0.1 and says which.
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen()
print(s.getsockname()[1], flush=True); time.sleep(600)' > "$holder_log" &
holder=$!
for _ in $(seq 1 300); do [ -s "$holder_log" ] && break; sleep 0.1; done
export OPCWATCH_PORT=$(cat "$holder_log")
[ -n "$OPCWATCH_PORT" ] || fail "the other program did not listen"

start=$SECONDS
start_device
wait_for_end 90
took=$((SECONDS - start))

[ "$rc" -ne 0 ] || fail "the start script ended with 0"
# Its wait for a listener lasts 60 s: ending before shows that Opcwatch's failure was heard.
[ "$took" -lt 50 ] || fail "the start script took $took s"
grep -q "device running" "$log" && fail "the start script says the device runs"
grep -q "^OPC UA server:" "$log" && fail "the start script names the other program's port as Opcwatch's"
grep -q "^opcwatch: opc.tcp endpoint opc.tcp://localhost:$OPCWATCH_PORT: cannot listen on 127.0.0.1 port $OPCWATCH_PORT: Address already in use$" "$log" ||
  fail "Opcwatch's cause is not printed"
grep -q "^opcwatch: the OPC UA server did not start; no endpoint is open$" "$log" || fail "Opcwatch's failure line is not printed"
grep -q "^Opcwatch does not serve on port $OPCWATCH_PORT" "$log" || fail "the script does not say what failed"
# The device manager and Opcwatch were stopped in order.
grep -q "devmgr: stopped" "$log" || fail "the device manager was not stopped"
[ ! -e "$DEVICE_ROOT/devmgr.sock" ] || fail "device manager socket left behind"
kill -TERM "$holder"
rm -rf "$DEVICE_ROOT"
echo "start script against a taken port: ok (ended after $took s with $rc)"
