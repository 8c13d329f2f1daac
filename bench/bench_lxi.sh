#!/usr/bin/env bash
# lxi-tools' own benchmark against the simulated board: *IDN? requests per second on loopback,
# over VXI-11 and over the raw SCPI port, five runs of COUNT (default 10000) each, alternating;
# prints each run, the medians and their ratio. Runs in a network and mount namespace with a
# portmapper of its own, so it needs root.
set -euo pipefail
sim=${1:-build/zq80415-sim}
count=${2:-10000}
if [ "${ZQ_IN_NAMESPACE:-}" != 1 ]; then
    [ "$(id -u)" -eq 0 ] || { echo "bench_lxi: needs root (a namespace of its own)" >&2 && exit 1; }
    exec env ZQ_IN_NAMESPACE=1 unshare --net --mount --fork bash "$0" "$sim" "$count"
fi
mount -t tmpfs tmpfs /run
mkdir /run/rpcbind
ip link set lo up
rpcbind -f -w &
portmapper=$!
scratch=$(mktemp -d)
trap 'kill "$portmapper" ${board:-}; rm -rf "$scratch"' EXIT
until rpcinfo -p >/dev/null 2>&1; do sleep 0.05; done
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch "$sim" --headless --scpi 0 --vxi11 0 \
    >/dev/null 2>"$scratch/err" &
board=$!
until grep -q "VXI-11 on" "$scratch/err"; do sleep 0.05; done
raw=$(sed -n 's/.*SCPI on 127.0.0.1:\([0-9]*\),.*/\1/p' "$scratch/err")

rate() { lxi benchmark "$@" -a 127.0.0.1 -c "$count" | grep -o 'Result: [0-9.]*' | cut -d' ' -f2; }
median() { sort -n | sed -n 3p; }
for _ in 1 2 3 4 5; do
    rate >>"$scratch/vxi11"
    rate --raw -p "$raw" >>"$scratch/raw"
done
echo "lxi benchmark -c $count, *IDN? requests/s on loopback:"
echo "  VXI-11:   $(paste -sd' ' "$scratch/vxi11")  median $(median <"$scratch/vxi11")"
echo "  raw SCPI: $(paste -sd' ' "$scratch/raw")  median $(median <"$scratch/raw")"
awk -v v="$(median <"$scratch/vxi11")" -v r="$(median <"$scratch/raw")" \
    'BEGIN { printf "  VXI-11 / raw: %.2f\n", v / r }'
