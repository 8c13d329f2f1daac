#!/usr/bin/env bash
# Checks the service template as installed: systemd-analyze verify passes on a parallel-port
# and an I2C instance without a remark, and the starter gives the panel the device, its kind,
# the SCPI address and the name the instance and /etc/default/zq80415 ask for.
#   tests/service.sh BUILD_DIR
# Exits 77 (skipped) where systemd-analyze is missing or cannot run.
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root" >/dev/null
units=$root/lib/systemd/system
starter=$root/libexec/zq80415/start-headless
fail() {
    echo "service.sh: $*" >&2
    exit 1
}

if ! systemd-analyze --version >/dev/null 2>&1; then
    echo "systemd-analyze cannot run here (scripts/setup installs systemd): skipped"
    exit 77
fi
for instance in parport0 i2c-1; do
    remarks=$(SYSTEMD_UNIT_PATH=$units: systemd-analyze verify --man=no "zq80415@$instance.service" 2>&1) ||
        fail "systemd-analyze verify refuses zq80415@$instance.service: $remarks"
    [ -z "$remarks" ] || fail "systemd-analyze verify remarks on zq80415@$instance.service: $remarks"
done
echo "systemd-analyze verify: zq80415@parport0.service and zq80415@i2c-1.service pass"

# The starter runs a stand-in for the panel that prints its arguments.
printf '#!/bin/sh\necho "$@"\n' >"$root/bin/zq80415"
starts() { # INSTANCE SCPI EXPECTED [ALLOW [VXI11 [NAME]]]
    got=$(SCPI=$2 ALLOW=${4:-} VXI11=${5:-} NAME=${6:-} "$starter" "$1") || fail "start-headless $1 failed"
    [ "$got" = "$3" ] || fail "start-headless $1 (SCPI=$2) runs 'zq80415 $got', not 'zq80415 $3'"
}
starts parport1 "" "--headless --listen --port /dev/parport1"
starts i2c-1 "" "--headless --listen --i2c /dev/i2c-1"
starts i2c-12 5025 "--headless --listen --i2c /dev/i2c-12 --scpi 127.0.0.1:5025"
starts parport0 0.0.0.0:5025 \
    "--headless --listen --port /dev/parport0 --scpi 0.0.0.0:5025 --allow 10.0.0.0/24 --vxi11 1024" \
    10.0.0.0/24 1024
starts parport0 "" "--headless --listen --port /dev/parport0" 10.0.0.0/24 1024
starts parport0 5025 "--headless --listen --port /dev/parport0 --scpi 127.0.0.1:5025 --name bench 7" \
    "" "" "bench 7"
for bad in "" ../sda1 .; do
    if "$starter" "$bad" 2>/dev/null; then fail "start-headless takes '$bad' for a device"; fi
done
echo "start-headless: a device's kind, node and SCPI address as the instance names them"
