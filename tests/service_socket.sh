#!/usr/bin/env bash
# The service's control socket as zq80415@.service lays it out: a folder root made (as in /run)
# for a user of the service's own, in the service's group, with the unit's RuntimeDirectoryMode,
# and the panel running as that user and group with the unit's UMask. Root and a member of the
# group script it with --send; an outsider is refused, and so is anyone when the folder could
# be tampered with, each refusal naming what is wrong. Users and the group are made for the
# test and removed, however it ends.
#   tests/service_socket.sh SIM_PROGRAM UNIT_TEMPLATE
# Exits 77 (skipped) when not root.
set -euo pipefail
sim=$1
unit=$2
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: making users needs root"
    exit 77
fi
tag=zq$$
service=${tag}svc member=${tag}mem outsider=${tag}out group=${tag}grp
scratch=$(mktemp -d)
pid=
cleanup() {
    [ -z "$pid" ] || { kill "$pid" 2>/dev/null; wait "$pid"; } || true # userdel refuses a user
    for user in "$service" "$member" "$outsider"; do userdel "$user" 2>/dev/null || true; done
    groupdel "$group" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
setting() { sed -n "s/^$1=//p" "$unit"; }
mode=$(setting RuntimeDirectoryMode)
mask=$(setting UMask)
[ -n "$mode" ] && [ -n "$mask" ] || { echo "no RuntimeDirectoryMode or UMask in $unit" >&2; exit 1; }

groupadd "$group"
useradd --system --no-create-home --gid "$group" "$service"
useradd --no-create-home --groups "$group" "$member"
useradd --no-create-home "$outsider"
# Every user runs a copy of the program, as the installed one is reached.
chmod 755 "$scratch"
install -m 755 "$sim" "$scratch/zq80415-sim"
sim=$scratch/zq80415-sim
folder=$scratch/zq80415-parport0
install -d -m "$mode" -o "$service" -g "$group" "$folder"

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$folder
setpriv --reuid="$service" --regid="$group" --clear-groups \
    bash -c "umask $mask; exec \"\$0\" --headless --listen" "$sim" >/dev/null 2>"$scratch/err" &
pid=$!
for _ in $(seq 100); do
    [ -S "$folder/zq80415-sim.socket" ] && break
    sleep 0.1
done

source "$(dirname "$0")/support/checks.sh"
as() { # USER COMMAND...: runs it as USER with USER's groups, stdout and stderr together
    if [ "$1" = root ]; then "${@:2}" 2>&1; else
        setpriv --reuid="$1" --regid="$1" --init-groups "${@:2}" 2>&1
    fi
}
sends() { # USER: --send state succeeds and answers with the state line
    local got
    got=$(as "$1" "$sim" --send state) && grep -q "^power=" <<<"$got" ||
        { echo "  $1: $got"; return 1; }
}
refused() { # USER WHY: --send state ends with status 1, saying WHY
    local got status=0
    got=$(as "$1" "$sim" --send state) || status=$?
    [ "$status" -eq 1 ] && grep -qF -- "$2" <<<"$got" || { echo "  $1 ($status): $got"; return 1; }
}
check "the panel listens in its folder (mode $mode, umask $mask)" test -S "$folder/zq80415-sim.socket"
check "root scripts it" sends root
check "a member of the group scripts it" sends "$member"
XDG_RUNTIME_DIR=$folder/ check "as the folder's path with a slash at its end" sends "$member"
check "an outsider is refused, told of the group" \
    refused "$outsider" "you ($outsider) are neither root nor in group $group"
chmod 0770 "$folder"
check "a folder its group may write in is refused" refused root "mode 0770: its group may write in it"
chmod 0751 "$folder"
check "a folder others may enter is refused" refused "$member" "mode 0751: others may enter it"
chmod "$mode" "$folder"
chmod 1777 "$scratch"
check "a folder others could have made is refused" \
    refused root "not made by root for a service"
chmod 755 "$scratch"
check "and once mended, it is scripted again" sends "$member"
checks_end
