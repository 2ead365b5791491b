#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine.
# Debian packages are installed only when one is missing, so a warm machine
# starts building at once.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build ccache pkg-config python3
  libgtest-dev libgmock-dev libbenchmark-dev libssl-dev openssl libxml2-dev
  clang libclang-rt-14-dev procps libcpp-httplib-dev nlohmann-json3-dev chromium iproute2 curl)
# Node.js may come from another source that bundles npm: ask for the commands.
command -v node >/dev/null 2>&1 || packages+=(nodejs)
command -v npm >/dev/null 2>&1 || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi

# npm packages from the committed lock file: reinstall only when the lock changed.
stamp=node_modules/.lock-stamp
if [ ! -f "$stamp" ] || ! cmp -s package-lock.json "$stamp"; then
  npm ci --no-audit --no-fund
  cp package-lock.json "$stamp"
fi
