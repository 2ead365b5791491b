#!/usr/bin/env bash
# End-to-end check of the run path: the device start script brings the device
# manager up on a fresh device root, a separate process reaches the simulated
# device through Profilelink, a UPnP peer reads it through Netherald on
# loopback, and SIGTERM stops everything in order.
#   run_device_test.sh <repo> <bin-folder>
set -uo pipefail
repo=$1 bin=$2
source "$(dirname "$0")/device_start.sh"
export OPCWATCH_PORT=$(free_port)
start_device_and_wait

# Opcwatch listens on the configured port of its folder in the device root.
grep -q "^OPC UA server: opc.tcp://localhost:$OPCWATCH_PORT$" "$log" || fail "no OPC UA server line"
(exec 3<>"/dev/tcp/127.0.0.1/$OPCWATCH_PORT") 2>/dev/null || fail "Opcwatch does not listen on $OPCWATCH_PORT"
grep -q "<Url>$OPCWATCH_PORT</Url>" "$DEVICE_ROOT/Opcwatch/Opcwatch.xml" || fail "no configuration in the device root"
[ -s "$DEVICE_ROOT/Opcwatch/PKI/CA/certs/Corvanta_Opcwatch.der" ] || fail "Opcwatch made no certificate"

# The peer checks the vendor id (a constant of the shipped description), then
# writes and reads back the backlight brightness 20 times.
"$bin/profilelink_peer" 0x8033 4 20 50 0x1018 1 0xE4C || fail "profilelink_peer exit $?"

# The README's Read: the vendor id (0x1018, subindex 1) through the device host.
url=$(sed -n 's/^upnphostd: serving \(http:\/\/127\.0\.0\.1:[0-9]*\)$/\1/p' "$log")
[ -n "$url" ] || fail "the UPnP device host does not serve on 127.0.0.1"
udn=$(curl -sf "$url/UpnpWebsite/upnp.js" | sed -n 's/^var deviceid="\([0-9a-f-]*\)";.*/\1/p')
[ -n "$udn" ] || fail "no device id in upnp.js"
answer=$(curl -sf -X POST "$url/upnpisapi?uuid:$udn+urn:corvanta-com:serviceId:Netherald1" \
  -H 'Content-Type: text/xml; charset="utf-8"' -H 'SOAPACTION: "urn:corvanta-com:service:Netherald:1#Read"' \
  --data '<?xml version="1.0"?><s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"><s:Body><u:Read xmlns:u="urn:corvanta-com:service:Netherald:1"><netId></netId><nPort>0</nPort><indexGroup>0</indexGroup><indexOffset>270008576</indexOffset><cbRdLen>4</cbRdLen></u:Read></s:Body></s:Envelope>')
echo "$answer" | grep -q '<ppData>TA4AAAA=</ppData>' || fail "Read answered: $answer"

stop_device
[ ! -e "$DEVICE_ROOT/devmgr.sock" ] || fail "device manager socket left behind"
grep -q "devmgr: stopped" "$log" || fail "device manager did not stop in order"
(exec 3<>"/dev/tcp/127.0.0.1/$OPCWATCH_PORT") 2>/dev/null && fail "Opcwatch still listens after the stop"
rm -rf "$DEVICE_ROOT"
echo "device run path: ok"
