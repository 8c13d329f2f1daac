#!/usr/bin/python3
"""Finds a board on the LAN by its name, as a lab script does: DNS-SD (avahi-browse) gives the
address and port the name is advertised at, and PyVISA asks the board there for *IDN?. Prints
"ADDRESS:PORT *IDN?'s answer"; ends with status 1 when no board has the name.
    find_board.py NAME"""
import re
import subprocess
import sys

import pyvisa


def boards():
    """The SCPI boards DNS-SD lists, {instance name: (address, port)}."""
    browsed = subprocess.run(["avahi-browse", "--resolve", "--parsable", "--terminate",
                              "_scpi-raw._tcp"], capture_output=True, text=True, timeout=30)
    found = {}
    for line in browsed.stdout.splitlines():
        fields = line.split(";")
        if fields[0] == "=" and fields[2] == "IPv4":
            # avahi-browse escapes a space as \032 and a dot as \.
            name = re.sub(r"\\(\d{3}|.)",
                          lambda m: chr(int(m[1])) if m[1].isdigit() else m[1], fields[3])
            found[name] = (fields[7], int(fields[8]))
    return found


def main():
    place = boards().get("ZQ80415 " + sys.argv[1])
    if place is None:
        print(f"no board named {sys.argv[1]!r}", file=sys.stderr)
        return 1
    address, port = place
    board = pyvisa.ResourceManager("@py").open_resource(
        f"TCPIP::{address}::{port}::SOCKET", read_termination="\n", write_termination="\n",
        timeout=5000)
    print(f"{address}:{port} {board.query('*IDN?')}")
    board.close()
    return 0


sys.exit(main())
