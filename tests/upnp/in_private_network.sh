#!/usr/bin/env bash
# Runs a test program in a private network namespace whose loopback carries multicast and
# holds the address 192.0.2.7/24 (a documentation network), so that SSDP can be tested
# without any datagram reaching a real interface. Exit 77 (skipped) where the namespace
# cannot be made.
#   in_private_network.sh <program> [arguments...]
set -u
command -v unshare >/dev/null && command -v ip >/dev/null || { echo "no unshare or ip: skipped"; exit 77; }
unshare -n true 2>/dev/null || { echo "private network namespaces refused: skipped"; exit 77; }
exec unshare -n bash -c '
  ip link set lo up && ip link set lo multicast on && ip route add 239.0.0.0/8 dev lo &&
    ip addr add 192.0.2.7/24 dev lo || { echo "the namespace cannot be set up: skipped"; exit 77; }
  UPNP_TEST_ADDRESS=192.0.2.7 exec "$@"' bash "$@"
