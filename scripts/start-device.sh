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
root_real=$(realpath -- "$DEVICE_ROOT")

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
  local deadline=$((SECONDS + 60))
  while ((SECONDS < deadline)); do
    [ -e "$2" ] && return 0
    kill -0 "$1" 2>/dev/null || { echo "$3 did not start" >&2; stop_all; exit 1; }
    sleep 0.1
  done
  echo "$3 not ready after 60 s" >&2; stop_all; exit 1
}

# The device's own files are never written through a link out of the root, as the programs
# write theirs. inside_root <path>: whether the path, its links followed (even to nothing), lies
# in the device root.
inside_root() {
  local real
  real=$(realpath -m -- "$1") && [[ $real == "$root_real" || $real == "$root_real"/* ]]
}
# to_new_file <path>: standard input into a new file of that name. A file or link of the name is
# removed first, and the exclusive create (noclobber) fails where a link was put there meanwhile.
to_new_file() { rm -f -- "$1" && (set -C && cat > "$1"); }

# listens_itself <pid> <port>: whether the process holds a listening TCP socket on the port, so
# that another program on that port is never taken for it (the kernel's socket tables).
listens_itself() {
  local inodes=" " link state local_address inode
  local port_hex
  port_hex=$(printf ':%04X' "${2:-0}")
  for link in /proc/"$1"/fd/*; do
    link=$(readlink "$link" 2>/dev/null) || continue
    [[ $link == socket:* ]] && inodes+="${link//[!0-9]/} "
  done
  while read -r _ local_address _ state _ _ _ _ _ inode _; do
    [[ $state == 0A && $local_address == *"$port_hex" && $inodes == *" $inode "* ]] && return 0
  done < <(grep -h -E "$port_hex [0-9A-F]+:0000 0A " /proc/net/tcp /proc/net/tcp6 2>/dev/null)
  return 1
}

# A device root seeded before a driver or class was shipped lacks its key: its
# registry fragment is added, so that the device manager loads every shipped driver
# (the simulated board "MPH1:", the device profile "GKT1:", Boarddrv "WMD1:", the
# display and processor "ZRD1:") and COM finds every shipped class (the UPnP registrar).
registry="$DEVICE_ROOT/registry.reg"
inside_root "$registry" || { echo "$registry leads out of the device root; nothing is started" >&2; exit 1; }
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

# relay_opcwatch <file>: Opcwatch's standard error, line by line, to the terminal and to a new file
# (made as to_new_file makes one; what a full disk does not take is left out); its failure line
# also signals this script.
relay_opcwatch() {
  local line
  rm -f -- "$1"
  set -C; exec 3>"$1" || exec 3>/dev/null; set +C
  while IFS= read -r line || [ -n "$line" ]; do
    printf '%s\n' "$line" >&2
    printf '%s\n' "$line" >&3 2>/dev/null
    [[ $line == *"the OPC UA server did not start"* ]] && kill -USR1 $$
  done
}

# The device manager comes first: every process reaches the drivers through it.
"$bin/devmgr" & pids+=($!)
wait_for "${pids[-1]}" "$DEVICE_ROOT/devmgr.sock" "device manager"

# Opcwatch, the device's OPC UA server, from a program folder of its own in the device root: its
# configuration "Opcwatch.xml", its certificate store and its trace "_Opcwatch.log" lie beside it
# there. A new folder gets the build's default configuration, with OPCWATCH_PORT (default 4840)
# as its port (a bare port listens on loopback only); the libraries come from the build's folder.
if [ -x "$bin/opcwatch" ]; then
  opcwatch_dir="$DEVICE_ROOT/Opcwatch"
  inside_root "$opcwatch_dir" || { echo "$opcwatch_dir leads out of the device root" >&2; stop_all; exit 1; }
  mkdir -p "$opcwatch_dir/PKI/CA/certs" "$opcwatch_dir/PKI/CA/private" "$opcwatch_dir/PKI/CA/crl"
  # A full disk leaves a part of the program: it is not started.
  cp --remove-destination "$bin/opcwatch" "$opcwatch_dir/opcwatch" ||
    { echo "Opcwatch cannot be copied to $opcwatch_dir" >&2; stop_all; exit 1; }
  # Written beside and renamed: a start stopped half-way leaves no half a configuration.
  if [ ! -f "$opcwatch_dir/Opcwatch.xml" ]; then
    sed "s|<Url>4840</Url>|<Url>${OPCWATCH_PORT:-4840}</Url>|" "$bin/Opcwatch.xml" | to_new_file "$opcwatch_dir/Opcwatch.xml.new" &&
      mv -f "$opcwatch_dir/Opcwatch.xml.new" "$opcwatch_dir/Opcwatch.xml"
  fi
  # The first endpoint's port: a bare port, or the one of an opc.tcp URL.
  port=$(sed -n 's|.*<Url>\(.*:\)\{0,1\}\([0-9][0-9]*\)\(/.*\)\{0,1\}</Url>.*|\2|p' "$opcwatch_dir/Opcwatch.xml" | head -n1)
  # Opcwatch tells what keeps its server from starting on its standard error, whatever its trace
  # level. Its lines reach the terminal, a new "opcwatch.stderr" (while the disk takes them) and
  # this script: the failure line as SIGUSR1, as the file may lie on a full disk.
  opcwatch_failed=""
  trap 'opcwatch_failed=1' USR1
  LD_LIBRARY_PATH="$bin" "$opcwatch_dir/opcwatch" 2> >(relay_opcwatch "$opcwatch_dir/opcwatch.stderr") & pids+=($!)
  opcwatch_pid=${pids[-1]}
  # Up until Opcwatch itself listens on the port (not another program that holds it), says that
  # its server did not start, or ends; a busy machine gets OPCWATCH_START_SECONDS (default 60).
  started=""
  deadline=$((SECONDS + ${OPCWATCH_START_SECONDS:-60}))
  while [ -z "$opcwatch_failed" ] && kill -0 "$opcwatch_pid" 2>/dev/null && ((SECONDS < deadline)); do
    if listens_itself "$opcwatch_pid" "$port"; then started=1; break; fi
    sleep 0.1
  done
  if [ -z "$started" ]; then
    echo "Opcwatch does not serve on port ${port:-?} (its lines above; its trace: $opcwatch_dir/_Opcwatch.log)" >&2
    stop_all; exit 1
  fi
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
# A trapped signal (a later failure line of Opcwatch) ends a wait as well: wait on while all run.
all_running() {
  local p
  for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null || return 1; done
}
while wait -n "${pids[@]}"; [ $? -gt 128 ] && all_running; do :; done
echo "a device process ended; stopping the others" >&2
stop_all
exit 1
