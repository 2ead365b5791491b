#!/usr/bin/env bash
# The run command's Opcwatch, with the configuration the device start script writes, listens on
# loopback only: it accepts on 127.0.0.1 and ::1, and refuses on the addresses of the host's
# network (192.0.2.7 and 2001:db8::7 here). Run inside a private network namespace
# (tests/upnp/in_private_network.sh), whose loopback also holds those two addresses, so that no
# connection reaches a real interface. Exit 77 (skipped) where that cannot be set up.
#   run_loopback_test.sh <repo> <bin-folder>
set -uo pipefail
repo=$1 bin=$2
network_v4=${UPNP_TEST_ADDRESS:?run me through in_private_network.sh}
network_v6=2001:db8::7
ip -6 addr add "$network_v6/64" dev lo nodad 2>/dev/null || { echo "no IPv6 in the namespace: skipped"; exit 77; }
source "$(dirname "$0")/device_start.sh"
export OPCWATCH_PORT=$(free_port)
accepts() { (exec 3<>"/dev/tcp/$1/$OPCWATCH_PORT") 2>/dev/null; }

start_device_and_wait
grep -q "<Url>$OPCWATCH_PORT</Url>" "$DEVICE_ROOT/Opcwatch/Opcwatch.xml" || fail "not the configuration the script writes"

accepts 127.0.0.1 || fail "Opcwatch does not accept on 127.0.0.1"
accepts ::1 || fail "Opcwatch does not accept on ::1"
accepts "$network_v4" && fail "Opcwatch accepts on $network_v4"
accepts "$network_v6" && fail "Opcwatch accepts on $network_v6"

stop_device
rm -rf "$DEVICE_ROOT"
echo "Opcwatch on loopback only: ok"
