#!/usr/bin/python3
"""Finds a board on the LAN by its name, as a lab script does (the README's example): DNS-SD
(avahi-browse) gives the address and port the name is advertised at, and PyVISA asks the board
there for *IDN?. Prints "ADDRESS:PORT *IDN?'s answer"; ends with status 1 when no board has
the name.
    find_board.py NAME"""
import re
import subprocess
import sys
import threading

import pyvisa


def find_board(name, seconds=10):
    """The VISA resource of the board DNS-SD lists as "ZQ80415 NAME", once avahi-browse has
    resolved it (waiting at most `seconds`); None when it did not."""
    browse = subprocess.Popen(["avahi-browse", "--resolve", "--parsable", "_scpi-raw._tcp"],
                              stdout=subprocess.PIPE, text=True)
    timer = threading.Timer(seconds, browse.kill)
    timer.start()
    try:
        for fields in (line.split(";") for line in browse.stdout):
            # avahi-browse writes a space as \032, a slash as \047, a dot as \.
            unescaped = re.sub(r"\\(\d{3}|.)",
                               lambda m: chr(int(m[1])) if m[1].isdigit() else m[1], fields[3])
            if fields[0] == "=" and fields[2] == "IPv4" and unescaped == "ZQ80415 " + name:
                return f"TCPIP::{fields[7]}::{fields[8]}::SOCKET"
        return None
    finally:
        timer.cancel()
        browse.kill()
        browse.wait()


def main():
    resource = find_board(sys.argv[1])
    if resource is None:
        print(f"no board named {sys.argv[1]!r}", file=sys.stderr)
        return 1
    board = pyvisa.ResourceManager("@py").open_resource(
        resource, read_termination="\n", write_termination="\n", timeout=5000)
    print(f"{resource.split('::')[1]}:{resource.split('::')[2]} {board.query('*IDN?')}")
    board.close()
    return 0


sys.exit(main())
