# Shared by the run-path tests (sourced): a private device root, free ports, and the device start
# script started in the background and waited for until it says the device runs.
# The sourcing script sets repo and bin and may define fail_extra to stop what else it started.
export DEVICE_ROOT=$(mktemp -d)
# Any free port: other device runs may hold 5120 and 4840 on this machine.
export UPNP_HTTP_PORT=0
log=$DEVICE_ROOT/start.log
pid=

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

fail() {
  echo "FAIL: $*"
  cat "$log" 2>/dev/null
  [ -n "$pid" ] && { kill -TERM "$pid" 2>/dev/null; wait "$pid"; }
  declare -F fail_extra >/dev/null && fail_extra
  rm -rf "$DEVICE_ROOT"
  exit 1
}

# Starts the device with the script into $log (its process id in $pid).
start_device() {
  "$repo/scripts/start-device.sh" "$bin" > "$log" 2>&1 &
  pid=$!
}

# Starts the device and waits up to 120 s for the script's "device running".
start_device_and_wait() {
  start_device
  for _ in $(seq 1 1200); do
    grep -q "device running" "$log" && return 0
    kill -0 "$pid" 2>/dev/null || fail "start script ended early"
    sleep 0.1
  done
  fail "device not running after 120 s"
}

# Waits up to the given seconds for the script to end by itself; its exit code in $rc.
wait_for_end() {
  for _ in $(seq 1 $(($1 * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the start script still runs after $1 s"
  wait "$pid"; rc=$?
  pid=
}

# SIGTERM to the script; it must end with 0.
stop_device() {
  kill -TERM "$pid"
  wait "$pid"; local rc=$?
  pid=
  [ "$rc" -eq 0 ] || fail "start script exit $rc after SIGTERM"
}
