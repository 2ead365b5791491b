#!/usr/bin/env bash
# Runs the round-trip benchmark on today's transport and on an earlier one in
# the same run, and prints each figure with its ratio (today / earlier).
#
#   bench/uatcp_compare.sh [--base REV] [--rounds N] [benchmark options...]
#
# REV defaults to the transport before the receive budget and the new hot path
# came. The earlier tree is exported into build/bench-base and built in
# Release with today's benchmark sources, so both sides run the same clients
# and the same test server; only the stack differs. Rounds alternate between
# the two, and the figures are the medians over the rounds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
base=""
rounds=3
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --base) base="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ -z "$base" ]; then
  first=$(git log --format=%H --diff-filter=A -- uastack/transport/src/receive_budget.h | tail -1)
  base="$first^"
fi
base=$(git rev-parse --verify "$base^{commit}")

today="$root/build/release"
earlier="$root/build/bench-base"
cmake -S . -B "$today" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$today" --target uatcp_roundtrip_bench >/dev/null

# The earlier tree with today's benchmark, client helper and counters.
if [ ! -f "$earlier/.rev" ] || [ "$(cat "$earlier/.rev")" != "$base" ]; then
  rm -rf "$earlier/src"
  mkdir -p "$earlier/src"
  git archive "$base" | tar -x -C "$earlier/src"
  echo "$base" > "$earlier/.rev"
fi
# The code generator reads the standard's schema files from the npm packages.
ln -sfn "$root/node_modules" "$earlier/src/node_modules"
for f in bench/uatcp.cmake bench/uatcp_roundtrip_bench.cpp bench/uatcp_process_counters.cpp \
         bench/uatcp_process_counters.h bench/uatcp_roundtrips.h tests/uatcp/uatcp_session_client.h; do
  cp "$f" "$earlier/src/$f"
done
cmake -S "$earlier/src" -B "$earlier/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$earlier/build" --target uatcp_roundtrip_bench >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds" >&2
  "$earlier/build/bin/uatcp_roundtrip_bench" "${args[@]}" > "$out/earlier.$r"
  "$today/bin/uatcp_roundtrip_bench" "${args[@]}" > "$out/today.$r"
done

echo "earlier transport: $(git log -1 --format='%h %s' "$base")"
echo "today's transport: $(git log -1 --format='%h %s' HEAD)"
# Rows are "pool policy conns roundtrips cpu syscalls waits preemptions"; medians over the rounds.
python3 - "$out" "$rounds" <<'EOF'
import statistics, sys
folder, rounds = sys.argv[1], int(sys.argv[2])
def rows(side):
    runs = {}
    for r in range(1, rounds + 1):
        for line in open(f"{folder}/{side}.{r}"):
            f = line.split()
            if len(f) >= 8 and f[0] in ("on", "off"):
                runs.setdefault(tuple(f[:3]), []).append([float(x) for x in f[3:8]])
    return {k: [statistics.median(col) for col in zip(*v)] for k, v in runs.items()}
earlier, today = rows("earlier"), rows("today")
names = ["round trips/s", "CPU us/req", "syscalls/req", "waits/req", "preempted/req"]
print(f"{'pool':5} {'policy':9} {'conns':>5} | " + " | ".join(f"{n:>24}" for n in names))
print(f"{'':21}| " + " | ".join(f"{'earlier  today   ratio':>24}" for _ in names))
for key in earlier:
    if key not in today:
        continue
    cells = []
    for e, t in zip(earlier[key], today[key]):
        ratio = f"{t / e:6.2f}" if e > 0 and t >= 0 else "     -"
        cells.append(f"{e:8.1f} {t:8.1f} {ratio}")
    print(f"{key[0]:5} {key[1]:9} {key[2]:>5} | " + " | ".join(cells))
EOF
