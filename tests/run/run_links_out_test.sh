#!/usr/bin/env bash
# The device's files of fixed names, each a link to a file outside the device root: a start and
# stop of the device writes nothing through them, and every file outside stays byte for byte.
#   run_links_out_test.sh <repo> <bin-folder>
set -uo pipefail
repo=$1 bin=$2
source "$(dirname "$0")/device_start.sh"
outside=$(mktemp -d)
fail_extra() { rm -rf "$outside"; }
export OPCWATCH_PORT=$(free_port)

# One device start a row, as a file written through a link may keep the device from running on.
# The programs' files: the event log (router), the simulator's log, the router's process id. The
# start script's: Opcwatch's program copy, configuration and standard error; the registry's
# temporary file.
rows=("VosEvent.log ncksim.log vosrouter.pid"
      "Opcwatch/opcwatch Opcwatch/Opcwatch.xml.new Opcwatch/opcwatch.stderr registry.reg.tmp")
written=""
for row in "${rows[@]}"; do
  [ -d "$DEVICE_ROOT" ] || { export DEVICE_ROOT=$(mktemp -d); log=$DEVICE_ROOT/start.log; }
  mkdir -p "$DEVICE_ROOT/Opcwatch"
  read -r -a names <<< "$row"
  for i in "${!names[@]}"; do
    printf 'a file outside the device root, linked as %s\n' "${names[$i]}" > "$outside/$i"
    cp "$outside/$i" "$outside/$i.expected"
    ln -s "$outside/$i" "$DEVICE_ROOT/${names[$i]}"
  done

  # Whether the device runs with a file refused is not the point: the start ends or runs.
  start_device
  for _ in $(seq 1 1200); do
    grep -q "device running" "$log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    grep -q "device running" "$log" || fail "the start script neither ended nor ran the device in 120 s"
    stop_device
  else
    wait "$pid"; pid=
  fi

  for i in "${!names[@]}"; do
    cmp -s "$outside/$i" "$outside/$i.expected" || written+=" ${names[$i]}"
  done
  rm -rf "$DEVICE_ROOT" "$outside"/*
done
[ -z "$written" ] || fail "written through the links:$written"
rm -rf "$outside"
echo "links out of the device root: nothing written through them"
