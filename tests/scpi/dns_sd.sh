#!/usr/bin/env bash
# The SCPI server found with DNS-SD, through an avahi-daemon of the test's own: the script runs
# itself again in a new network and mount namespace, with a private /run holding its own D-Bus
# system bus, so the host's network, bus and daemon are never touched. Two interfaces,
# 10.231.0.1/24 and 10.232.0.1/24 (veth pairs, their peers unused, as not every kernel has dummy
# links): a panel bound to the first is advertised on it alone, a second one on the wildcard
# address on both, renamed as the first has the name; SIGTERM withdraws the records; without the
# daemon the panel still starts and answers, and is advertised once one starts; without D-Bus it
# starts too; on loopback it is not advertised. With VXI-11 (and the namespace's own portmapper)
# the first is advertised as _vxi-11._tcp at the portmapper's port too, and with its page as
# _http._tcp and _lxi._tcp (TXT path=/lxi/identification) at the page's port.
set -euo pipefail
if [ "${1:-}" != --inside ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "SKIP: network and mount namespaces need root"
        exit 77
    fi
    for tool in unshare ip dbus-daemon avahi-daemon avahi-browse lxi rpcbind; do
        command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup)"; exit 77; }
    done
    exec unshare --net --mount --propagation private bash "$0" --inside "$1"
fi
sim=$2
scratch=$(mktemp -d)
pids=()
portmapper=
cleanup() {
    for pid in "${pids[@]}" $portmapper; do kill "$pid" 2>/dev/null || true; done
    wait || true
    rm -rf "$scratch"
}
trap cleanup EXIT
mount -t tmpfs tmpfs /run # the bus and the daemon put their sockets and pid files here
mkdir -p /run/dbus /run/avahi-daemon /run/rpcbind
ip link set lo up
for n in 1 2; do
    ip link add zqdns$n type veth peer name zqpeer$n
    ip link set zqpeer$n up
    ip link set zqdns$n addrgenmode none # no IPv6 link-local address for a record to give
    ip link set zqdns$n multicast on up
    ip addr add 10.23$n.0.1/24 dev zqdns$n
done
printf '[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=zqdns1,zqdns2\n' \
    >"$scratch/avahi.conf"
dbus-daemon --system --nofork --nopidfile 2>/dev/null & # it cannot raise its fd limit here
pids+=($!)
rpcbind -f -w & # apart from pids, whose count numbers the panels' stderr files
portmapper=$!
for _ in $(seq 50); do
    [ -S /run/dbus/system_bus_socket ] && break
    sleep 0.1
done
avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$scratch/avahi.conf" 2>"$scratch/avahi" &
daemon=$!
pids+=($daemon)
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch

source "$(dirname "$0")/../support/checks.sh"
within() { # a command that must succeed within 3 s
    for _ in $(seq 30); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
# The resolved SCPI records (or those of type $1), one a line: interface;protocol;name;address;port.
records() {
    avahi-browse -rpt "${1:-_scpi-raw._tcp}" 2>/dev/null |
        awk -F';' '$1 == "=" { print $2 ";" $3 ";" $4 ";" $8 ";" $9 }' | sort
}
# Waits up to about 5 s for `records` to give exactly the lines of $1 (empty: no record). One
# browse takes about a second, the daemon waiting for answers from the network.
settles() {
    local until=$((SECONDS + 5))
    while [ "$SECONDS" -lt "$until" ]; do
        [ "$(records)" = "$1" ] && return 0
        sleep 0.1
    done
    echo "records: $(records | tr '\n' ' ')"
    return 1
}
# Starts the simulated panel with the given options and waits for its start-up, advertised or
# not; $! is its pid, its stderr in $scratch/err.N.
start() {
    "$sim" --headless "$@" >/dev/null 2>"$scratch/err.${#pids[@]}" &
    pids+=($!)
    for _ in $(seq 50); do
        grep -q "simulated board" "$scratch/err.$((${#pids[@]} - 1))" && return 0
        sleep 0.1
    done
}
for _ in $(seq 50); do
    avahi-browse -at >/dev/null 2>&1 && break
    sleep 0.1
done
avahi-browse -at >/dev/null || { cat "$scratch/avahi"; exit 1; }

start --scpi 10.231.0.1:5025 --allow 10.231.0.0/24 --vxi11 0 --http 10.231.0.1:8080
one=$!
board="$(hostname -s)/simulated" # the default name: the host's and the simulated board
name="ZQ80415\\032${board/\//\\047}" # avahi-browse escapes the space and the slash
check "bound to 10.231.0.1: on zqdns1 only, port 5025" settles "zqdns1;IPv4;$name;10.231.0.1;5025"
check "VXI-11 at the portmapper's port, under the same name" test \
    "$(records _vxi-11._tcp)" = "zqdns1;IPv4;$name;10.231.0.1;111"
check "the page as _http._tcp" within test "$(records _http._tcp)" = "zqdns1;IPv4;$name;10.231.0.1;8080"
check "the page as _lxi._tcp" within test "$(records _lxi._tcp)" = "zqdns1;IPv4;$name;10.231.0.1;8080"
check "_lxi._tcp gives the document's path" grep -q '"path=/lxi/identification"' \
    <<<"$(avahi-browse -rpt _lxi._tcp 2>/dev/null)"
timeout 20 lxi discover --mdns -t 2 >"$scratch/lxi" 2>&1 || true
check "lxi discover --mdns finds it" \
    grep -qF "Found \"ZQ80415 $board\" on address 10.231.0.1" "$scratch/lxi"
check "lxi discover --mdns gives its port" grep -q "scpi-raw service on port 5025" "$scratch/lxi"
check "lxi discover --mdns gives VXI-11" grep -q "vxi-11 service on port 111" "$scratch/lxi"
start --scpi 0.0.0.0:5026 --allow 10.0.0.0/8
two=$!
check "bound to 0.0.0.0: on both interfaces, renamed" settles "$(printf '%s\n' \
    "zqdns1;IPv4;$name;10.231.0.1;5025" "zqdns1;IPv4;$name\032\0352;10.231.0.1;5026" \
    "zqdns2;IPv4;$name\032\0352;10.232.0.1;5026")"
check "the renaming is noted" grep -q \
    "DNS-SD: the name 'ZQ80415 $board' is taken; advertised as 'ZQ80415 $board #2'" \
    "$scratch/err.3"
kill "$one" "$two"
status=0
wait "$one" || status=$?
check "SIGTERM ends the panel with 143" test "$status" -eq 143
wait "$two" || true
check "the records are withdrawn" settles ""
check "the page's records are withdrawn" test -z "$(records _http._tcp)$(records _lxi._tcp)"

kill "$daemon"
wait "$daemon" || true
start --scpi 10.231.0.1:5025 --allow 10.231.0.0/24
check "no daemon: one line says so" test "$(grep -c "DNS-SD" "$scratch/err.4")" -eq 1 -a \
    "$(grep -c "avahi-daemon is not running" "$scratch/err.4")" -eq 1
check "no daemon: *IDN? is answered" grep -qF "ZQ80415 project,ZQ80415,$board," \
    <<<"$(lxi scpi --raw -a 10.231.0.1 -p 5025 -t 5 '*IDN?' 2>&1 || true)"
avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$scratch/avahi.conf" 2>"$scratch/avahi" &
daemon=$!
pids+=($daemon)
check "a daemon started later advertises it" settles "zqdns1;IPv4;$name;10.231.0.1;5025"
kill "$daemon"
wait "$daemon" || true
check "a daemon that stops is noted" within grep -q "DNS-SD: no longer advertised" "$scratch/err.4"
DBUS_SYSTEM_BUS_ADDRESS=unix:path=$scratch/none start --scpi 10.231.0.1:5026 --allow 10.0.0.0/8
check "no D-Bus: one line says so" test "$(grep -c "DNS-SD" "$scratch/err.6")" -eq 1 -a \
    "$(grep -c "D-Bus cannot be reached" "$scratch/err.6")" -eq 1
start --scpi 0
check "loopback: not advertised, and said so" grep -q \
    "DNS-SD: _scpi-raw._tcp on port [0-9]* is not advertised, as it listens on loopback only" \
    "$scratch/err.7"
checks_end
