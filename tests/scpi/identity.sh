#!/usr/bin/env bash
# Three boards on one LAN told apart by name: three hosts, rack1 to rack3, each a network, mount
# and UTS namespace with its host name, its own D-Bus system bus and avahi-daemon, and a
# simulated panel on its SCPI port; a fourth host, desk, is the lab's PC. All four are joined on
# 10.79.0.0/24 by a bridge in a fifth namespace. From desk, DNS-SD lists three distinct names,
# PyVISA finds each board by its name (find_board.py) and *IDN? gives that name as its serial,
# and all of it is the same after each panel is restarted; a name given with --name replaces it. Namespaces are named with the
# test's pid and removed.
#   tests/scpi/identity.sh SIM_PROGRAM
set -euo pipefail
sim=$(realpath "$1")
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: network namespaces need root"
    exit 77
fi
for tool in unshare nsenter ip dbus-daemon avahi-daemon avahi-browse lxi; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup)"; exit 77; }
done
here=$(cd "$(dirname "$0")" && pwd)
tag=zq$$
lan=${tag}lan
hosts=(rack1 rack2 rack3 desk)
scratch=$(mktemp -d)
declare -A holder panel
cleanup() {
    for pid in "${panel[@]}" "${holder[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    for host in "${hosts[@]}"; do ip netns del "$tag$host" 2>/dev/null || true; done
    ip netns del "$lan" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
printf '[server]\nuse-ipv4=yes\nuse-ipv6=no\n' >"$scratch/avahi.conf"

ip netns add "$lan"
ip -n "$lan" link add "${tag}br" type bridge
ip -n "$lan" link set "${tag}br" up
for i in "${!hosts[@]}"; do
    host=${hosts[$i]} link=$tag$i
    ip netns add "$tag$host"
    ip link add "${link}h" netns "$tag$host" type veth peer name "${link}l" netns "$lan"
    ip -n "$lan" link set "${link}l" master "${tag}br" up
    ip -n "$tag$host" link set lo up
    ip -n "$tag$host" link set "${link}h" addrgenmode none
    ip -n "$tag$host" link set "${link}h" multicast on up
    ip -n "$tag$host" addr add "10.79.0.$((i + 1))/24" dev "${link}h"
    # The host: its name, a private /run with its bus and daemon; it lives until the test ends.
    ip netns exec "$tag$host" unshare --mount --uts --propagation private bash -c '
        trap "kill \$(jobs -p) 2>/dev/null; exit" TERM
        hostname "$0"
        mount -t tmpfs tmpfs /run
        mkdir -p /run/dbus /run/avahi-daemon
        dbus-daemon --system --nofork --nopidfile 2>/dev/null &
        for _ in $(seq 50); do [ -S /run/dbus/system_bus_socket ] && break; sleep 0.1; done
        avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$1" 2>"$2" &
        wait' "$host" "$scratch/avahi.conf" "$scratch/avahi.$host" >"$scratch/host.$host" 2>&1 &
    holder[$host]=$!
done
on() { # HOST COMMAND...: runs it on that host
    nsenter -t "${holder[$1]}" -n -m -u "${@:2}"
}
for host in "${hosts[@]}"; do
    for _ in $(seq 50); do
        on "$host" avahi-browse -at >/dev/null 2>&1 && break
        sleep 0.1
    done
done

# Starts the panel on rack N (nsenter execs it: $! is the panel), with any further options,
# and waits for its start-up.
start() {
    local host=rack$1
    shift
    nsenter -t "${holder[$host]}" -n -m -u env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch" \
        "$sim" --headless --scpi 0.0.0.0:5025 --allow 10.79.0.0/24 "$@" >/dev/null 2>"$scratch/err.$host" &
    panel[$host]=$!
    for _ in $(seq 50); do
        grep -q "simulated board" "$scratch/err.$host" && return 0
        sleep 0.1
    done
}
stop() {
    kill "${panel[rack$1]}"
    wait "${panel[rack$1]}" || true
}
# The SCPI records desk sees, one a line: name;address;port.
records() {
    on desk avahi-browse -rpt _scpi-raw._tcp 2>/dev/null |
        awk -F';' '$1 == "=" { print $4 ";" $8 ";" $9 }' | sort
}
# avahi-browse escapes the space and the slash, by their decimal codes.
expected=$(for n in 1 2 3; do echo "ZQ80415\\032rack$n\\047simulated;10.79.0.$n;5025"; done)
settles() { # waits up to about 10 s for desk to see the three boards as expected
    local until=$((SECONDS + 10))
    while [ "$SECONDS" -lt "$until" ]; do
        [ "$(records)" = "$expected" ] && return 0
        sleep 0.2
    done
    echo "records: $(records | tr '\n' ' ')"
    return 1
}
found() { # N [NAME]: PyVISA on desk finds rack N by name, at its address, the name its serial
    local got name=${2:-rack$1/simulated}
    got=$(on desk /usr/bin/python3 "$here/find_board.py" "$name" 2>&1) || true
    [ "$got" = "10.79.0.$1:5025 ZQ80415 project,ZQ80415,$name,1.2" ] ||
        { echo "  rack$1: $got"; return 1; }
}

source "$(dirname "$0")/../support/checks.sh"
for n in 1 2 3; do start "$n"; done
check "three distinct DNS-SD names, the host's and the board's" settles
for n in 1 2 3; do check "PyVISA finds rack$n/simulated by name" found "$n"; done
on desk timeout 20 lxi discover --mdns -t 2 >"$scratch/lxi" 2>&1 || true
listed() { # lxi discover --mdns on desk lists each board under its name
    for n in 1 2 3; do
        grep -qF "Found \"ZQ80415 rack$n/simulated\" on address 10.79.0.$n" "$scratch/lxi" ||
            { cat "$scratch/lxi"; return 1; }
    done
}
check "lxi discover --mdns lists the three names" listed
for n in 2 3 1; do
    stop "$n"
    start "$n"
done
check "the same names after each panel is restarted" settles
for n in 1 2 3; do check "PyVISA finds rack$n/simulated again" found "$n"; done
stop 3
start 3 --name "Bench 7"
check "a name given with --name is found" found 3 "Bench 7"
check "no name was taken twice" test -z "$(grep -h "is taken" "$scratch"/err.rack* || true)"
checks_end || { tail -n 3 "$scratch"/err.* "$scratch"/avahi.*; false; }
