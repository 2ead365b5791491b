#!/usr/bin/env bash
# Starts the device's processes in order from a build's bin folder and stops
# them in reverse order on Ctrl-C (SIGINT) or SIGTERM.
#   usage: start-device.sh <bin-folder>
# DEVICE_ROOT (default $HOME/.device-root) holds the device's file system and
# registry; a new one is seeded by the programs on first start.
set -uo pipefail
bin=$(cd "${1:?usage: start-device.sh <bin-folder>}" && pwd)
export DEVICE_ROOT=${DEVICE_ROOT:-$HOME/.device-root}
mkdir -p "$DEVICE_ROOT"
echo "device root: $DEVICE_ROOT"

pids=()
stop_all() {
  for ((i=${#pids[@]}-1; i>=0; i--)); do
    kill -TERM "${pids[$i]}" 2>/dev/null
    wait "${pids[$i]}" 2>/dev/null
  done
  pids=()
}
trap 'stop_all; exit 0' INT TERM

# wait_for <pid> <file> <what>: until the file exists, or fail if the process died.
# Generous, as a loaded machine may take long to start a sanitizer build.
wait_for() {
  for _ in $(seq 1 600); do
    [ -e "$2" ] && return 0
    kill -0 "$1" 2>/dev/null || { echo "$3 did not start" >&2; stop_all; exit 1; }
    sleep 0.1
  done
  echo "$3 not ready after 60 s" >&2; stop_all; exit 1
}

# A device root seeded before a driver or class was shipped lacks its key: its
# registry fragment is added, so that the device manager loads every shipped driver
# (the simulated board "MPH1:", the device profile "GKT1:", Boarddrv "WMD1:", the
# display and processor "ZRD1:") and COM finds every shipped class (the UPnP registrar).
registry="$DEVICE_ROOT/registry.reg"
if [ -f "$registry" ]; then
  for fragment in "$bin"/registry.d/*.reg; do
    key=$(grep -m1 -i -E '^\[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\|^\[HKEY_CLASSES_ROOT\\CLSID\\' "$fragment") || continue
    if ! grep -qiF -- "$key" "$registry"; then
      echo "adding $(basename "$fragment") to the device's registry"
      printf '\n' >>"$registry"
      cat "$fragment" >>"$registry"
    fi
  done
fi

# The device manager comes first: every process reaches the drivers through it.
"$bin/devmgr" & pids+=($!)
wait_for "${pids[-1]}" "$DEVICE_ROOT/devmgr.sock" "device manager"

# Opcwatch, the device's OPC UA server, from a program folder of its own in the device root: its
# configuration "Opcwatch.xml", its certificate store and its trace "_Opcwatch.log" lie beside it
# there. A new folder gets the build's default configuration, with OPCWATCH_PORT (default 4840)
# as its port; the libraries come from the build's folder.
if [ -x "$bin/opcwatch" ]; then
  opcwatch_dir="$DEVICE_ROOT/Opcwatch"
  mkdir -p "$opcwatch_dir/PKI/CA/certs" "$opcwatch_dir/PKI/CA/private" "$opcwatch_dir/PKI/CA/crl"
  cp -f "$bin/opcwatch" "$opcwatch_dir/opcwatch"
  [ -f "$opcwatch_dir/Opcwatch.xml" ] ||
    sed "s|<Url>4840</Url>|<Url>${OPCWATCH_PORT:-4840}</Url>|" "$bin/Opcwatch.xml" > "$opcwatch_dir/Opcwatch.xml"
  port=$(sed -n 's|.*<Url>\([0-9]*\)</Url>.*|\1|p' "$opcwatch_dir/Opcwatch.xml" | head -n1)
  LD_LIBRARY_PATH="$bin" "$opcwatch_dir/opcwatch" & pids+=($!)
  opcwatch_pid=${pids[-1]}
  for _ in $(seq 1 600); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    kill -0 "$opcwatch_pid" 2>/dev/null || { echo "Opcwatch did not start (see $opcwatch_dir/_Opcwatch.log)" >&2; stop_all; exit 1; }
    sleep 0.1
  done
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null ||
    { echo "Opcwatch not listening on port $port after 60 s" >&2; stop_all; exit 1; }
  echo "OPC UA server: opc.tcp://localhost:$port"
fi

# The NC kernel simulator, then Millpath on the sample project ("NcPrjPath"
# names "\Nc" of the device root); the user server starts its service.
if [ -x "$bin/ncksim" ] && [ -x "$bin/millpath" ]; then
  [ -d "$DEVICE_ROOT/Nc" ] || cp -r "$bin/ncproject" "$DEVICE_ROOT/Nc"
  grep -qi NcPrjPath "$DEVICE_ROOT/registry.reg" 2>/dev/null ||
    { echo; cat "$bin/ncproject/Millpath.reg"; } >> "$DEVICE_ROOT/registry.reg"
  "$bin/ncksim" --log "$DEVICE_ROOT/ncksim.log" & pids+=($!)
  QBUSERSRV_AUTOSTART=Millpath "$bin/millpath" & pids+=($!)
fi

# The UPnP device host on the device's address (loopback unless "HostAddress" names
# another; no multicast while "SsdpEnable" is 0), then Netherald registered with it (the
# simulated device's type unless the device root has one). UPNP_HTTP_PORT (default 5120;
# 0: any free port) moves its HTTP port.
"$bin/reg" get 'HKLM\Platform' HostAddress >/dev/null || "$bin/reg" set 'HKLM\Platform' HostAddress sz 127.0.0.1
"$bin/reg" get 'HKLM\Ident' DeviceType >/dev/null || "$bin/reg" set 'HKLM\Ident' DeviceType sz IPC-4120
rm -f "$DEVICE_ROOT/upnphost.sock"
"$bin/upnphostd" --http-port "${UPNP_HTTP_PORT:-5120}" & pids+=($!)
wait_for "${pids[-1]}" "$DEVICE_ROOT/upnphost.sock" "UPnP device host"
"$bin/regsvr" Netherald.dll || { echo "Netherald not registered" >&2; stop_all; exit 1; }

echo "device running; Ctrl-C stops it"
wait -n "${pids[@]}"
echo "a device process ended; stopping the others" >&2
stop_all
exit 1
