#!/usr/bin/env bash
# The SCPI server reached from another host: three network namespaces the test makes and removes.
# The panel's host (a) is joined to a client host (b) on 10.77.0.0/24 and to a third host (c) on
# 10.78.0.0/24; the panel listens on 10.77.0.1 and allows only b. b gets its answer; c, which
# reaches the same address through a, is closed before it is read, and the panel says so. The
# front panel page on the same address, under the same --allow, the same.
set -euo pipefail
sim=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: network namespaces need root"
    exit 77
fi
tag=zq$$
a=${tag}a b=${tag}b c=${tag}c
scratch=$(mktemp -d)
pid=
cleanup() {
    [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
    for ns in "$a" "$b" "$c"; do ip netns del "$ns" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
for ns in "$a" "$b" "$c"; do
    ip netns add "$ns"
    ip -n "$ns" link set lo up
done
ip link add "${tag}ab" netns "$a" type veth peer name "${tag}ba" netns "$b"
ip link add "${tag}ac" netns "$a" type veth peer name "${tag}ca" netns "$c"
ip -n "$a" addr add 10.77.0.1/24 dev "${tag}ab"
ip -n "$b" addr add 10.77.0.2/24 dev "${tag}ba"
ip -n "$a" addr add 10.78.0.1/24 dev "${tag}ac"
ip -n "$c" addr add 10.78.0.2/24 dev "${tag}ca"
for link in "$a ${tag}ab" "$a ${tag}ac" "$b ${tag}ba" "$c ${tag}ca"; do
    set -- $link
    ip -n "$1" link set "$2" up
done
ip -n "$c" route add 10.77.0.0/24 via 10.78.0.1

QT_QPA_PLATFORM=offscreen ip netns exec "$a" "$sim" --scpi 10.77.0.1:5025 --allow 10.77.0.2/32 \
    --http 10.77.0.1:8080 >"$scratch/out" 2>"$scratch/err" &
pid=$!
for _ in $(seq 50); do
    grep -q "page on" "$scratch/err" && break
    sleep 0.1
done

source "$(dirname "$0")/../support/checks.sh"
answer=$(ip netns exec "$b" lxi scpi --raw -a 10.77.0.1 -p 5025 -t 5 '*IDN?' 2>&1 || true)
check "an allowed host gets *IDN?" grep -qF "ZQ80415 project,ZQ80415,$(hostname -s)/simulated,1.2" <<<"$answer"
refused=$(ip netns exec "$c" lxi scpi --raw -a 10.77.0.1 -p 5025 -t 2 '*IDN?' 2>&1 || true)
check "a host outside --allow gets nothing" test -z "$(grep ZQ80415 <<<"$refused" || true)"
check "the refusal is noted on stderr" grep -q "10.78.0.2.*not in the --allow networks" "$scratch/err"
check "loopback is not served" test -z "$(ip netns exec "$a" lxi scpi --raw -a 127.0.0.1 -p 5025 -t 2 '*IDN?' 2>&1 | grep ZQ80415 || true)"
page() { # the status of GET /lxi/identification from namespace $1, or the error
    ip netns exec "$1" /usr/bin/python3 -c 'import urllib.request
try:
    print(urllib.request.urlopen("http://10.77.0.1:8080/lxi/identification", timeout=3).status)
except Exception as error:
    print(type(error).__name__)' 2>&1
}
check "an allowed host gets the page" test "$(page "$b")" = 200
check "a host outside --allow gets no page" test "$(page "$c")" != 200
check "the page's refusal is noted" grep -q "page: closed a connection from 10.78.0.2: not in the --allow" "$scratch/err"
kill "$pid"
wait "$pid" || true
pid=
check "the panel wrote only its start-up" test "$(wc -l <"$scratch/out")" -eq 3
checks_end
