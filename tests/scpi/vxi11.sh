#!/usr/bin/env bash
# The panel over VXI-11, found through a portmapper of the test's own: a network and mount
# namespace with a private /run, its loopback and a veth pair (10.231.0.1 and 10.231.0.2),
# Debian's rpcbind in it, and tests/scpi/lab_clients.py --vxi11 driving the simulated board with
# PyVISA and lxi-tools, then tests/scpi/socket_limits.py --vxi11 with hostile and vanishing
# clients. Nothing reaches the host's network or its portmapper.
set -euo pipefail
sim=$1
if [ "${ZQ_IN_NAMESPACE:-}" != 1 ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v rpcbind >/dev/null; then
        echo "SKIP: needs root and rpcbind"
        exit 77
    fi
    exec env ZQ_IN_NAMESPACE=1 unshare --net --mount --fork bash "$0" "$@"
fi
mount -t tmpfs tmpfs /run
mkdir /run/rpcbind
ip link set lo up
ip link add zq0 type veth peer name zq1
ip addr add 10.231.0.1/24 dev zq0
ip addr add 10.231.0.2/24 dev zq1
ip link set zq0 up
ip link set zq1 up
rpcbind -f -w &
portmapper=$!
trap 'kill "$portmapper"' EXIT
for _ in $(seq 100); do
    rpcinfo -p >/dev/null 2>&1 && break
    sleep 0.05
done
status=0
/usr/bin/python3 "$(dirname "$0")/lab_clients.py" "$sim" --vxi11 || status=1
/usr/bin/python3 "$(dirname "$0")/socket_limits.py" "$sim" --vxi11 || status=1
exit "$status"
