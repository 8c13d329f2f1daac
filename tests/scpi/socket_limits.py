#!/usr/bin/python3
"""What no client may do to the simulated board's SCPI and VXI-11 servers: a flood a client
leaves behind when it closes runs for a bounded number of writes only, and the raw port at [::]
serves IPv4 clients, at full speed with Nagle's algorithm on. With --vxi11, inside the namespace tests/scpi/vxi11.sh makes: a record that
cannot end within the read-ahead ends its channel and frees its lock, oversized writes and wrong
versions are refused as VXI-11 and ONC RPC say, a client beyond the cap gets create_link's own
refusal, and sixteen peers whose host vanished are reaped by keepalive (lowered for the test)."""
import atexit
import os
import re
import signal
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

SIM = sys.argv[1]
failures = []
# What a closed client can leave to run: its own kernel's send buffer, which the flooding client
# below keeps at 4096 (doubled by Linux; a close() does not discard it and the panel cannot see
# the close behind it), the panel's receive buffer (the same) and its read-ahead (4096), in
# messages of the flood, two register writes each.
FLOOD = b"SPE:VOL 31;VOL 0\n"
MOST_LEFT = (2 * 4096 + 2 * 4096 + 4096) // len(FLOOD) * 2


def check(what, got, wanted):
    print("PASS" if got == wanted else "FAIL", what)
    if got != wanted:
        failures.append(f"{what}: got {got!r}, wanted {wanted!r}")


class Board:
    """The simulated board, its writes counted as it prints them."""

    def __init__(self, runtime, *arguments, env=None):
        self.process = subprocess.Popen(
            [SIM, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            env=dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime,
                     **(env or {})))
        atexit.register(lambda: self.process.poll() is None and self.process.kill())
        self.ports = []
        for _ in range(2 if "--vxi11" in arguments else 1):
            found = re.search(r" on (?:[\d.]+|\[[:\d]+\]):(\d+)", self.process.stderr.readline())
            if not found:
                self.process.kill()
                sys.exit("no port announced")
            self.ports.append(int(found.group(1)))
        self.writes = 0
        threading.Thread(target=self.count, daemon=True).start()

    def count(self):
        for _ in self.process.stdout:
            self.writes += 1

    def settled(self):
        """The writes once none has come for half a second."""
        while True:
            before = self.writes
            time.sleep(0.5)
            if self.writes == before:
                return before

    def end(self):
        self.process.terminate()
        return self.process.communicate(timeout=10)[1]


def flood_then_close(runtime):
    """A sweep script that queues settings faster than the chip takes them and closes."""
    board = Board(runtime, "--scpi", "0")
    client = socket.socket()
    client.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4096)
    client.connect(("127.0.0.1", board.ports[0]))
    client.setblocking(False)
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline:
        try:
            client.send(FLOOD * 1000)
        except BlockingIOError:
            time.sleep(0.001)
    at_close = board.writes
    client.close()
    left = board.settled() - at_close
    print(f"  writes after the close: {left} (bound {MOST_LEFT})")
    check("a closed flood runs a bounded number of writes", 0 < left <= MOST_LEFT, True)
    board.end()


def dual_stack_and_nagle(runtime):
    """An IPv4 client of [::], with Nagle's algorithm on, as most clients leave it: a setting
    that nothing answers must not hold its query back until a delayed acknowledgement (about
    40 ms)."""
    board = Board(runtime, "--scpi", "[::]:0", "--allow", "10.0.0.0/8")
    with socket.create_connection(("127.0.0.1", board.ports[0]), timeout=5) as client:
        client.sendall(b"*IDN?\n")
        check("IPv4 client of [::]", client.recv(100).startswith(b"ZQ80415 project"), True)
        steps = []
        for step in range(32):
            began = time.monotonic()
            client.sendall(b"SPE:VOL %d\n" % step)
            client.sendall(b"SPE:VOL?\n")
            answer = client.recv(100)
            steps.append(time.monotonic() - began)
        print(f"  set-then-query step with Nagle on: median {statistics.median(steps) * 1e3:.2f} ms")
        check("the last step's answer", answer, b"31\n")
        check("set-then-query with Nagle on: median step under 20 ms",
              statistics.median(steps) < 0.02, True)
    board.end()


class Channel:
    """A VXI-11 core channel: ONC RPC calls, one record each, with no credentials."""

    def __init__(self, address, port, source=None):
        self.socket = socket.create_connection((address, port), timeout=5,
                                               source_address=(source, 0) if source else None)
        self.xid = 0

    def call(self, procedure, *words, data=None, rpc=2, version=1):
        self.xid += 1
        body = struct.pack(">6I4I", self.xid, 0, rpc, 0x0607AF, version, procedure, 0, 0, 0, 0)
        body += struct.pack(f">{len(words)}i", *words)
        if data is not None:
            body += struct.pack(">I", len(data)) + data + bytes(-len(data) % 4)
        self.socket.sendall(struct.pack(">I", 0x80000000 | len(body)) + body)
        return self.reply()

    def reply(self):
        """(accepted, status, result words): status is accept_stat, or reject_stat if denied."""
        length = struct.unpack(">I", self.exactly(4))[0] & 0x7FFFFFFF
        record = self.exactly(length)
        _, _, denied = struct.unpack(">3I", record[:12])
        if denied:
            return False, struct.unpack(">I", record[12:16])[0], ()
        verifier = struct.unpack(">I", record[16:20])[0]
        rest = record[20 + verifier:]
        words = struct.unpack(f">{len(rest) // 4}i", rest[:len(rest) // 4 * 4])
        return True, words[0], words[1:]

    def exactly(self, count):
        got = b""
        while len(got) < count:
            piece = self.socket.recv(count - len(got))
            if not piece:
                raise ConnectionResetError("closed")
            got += piece
        return got

    def create_link(self, lock=False):
        """create_link's error and link id."""
        _, _, result = self.call(10, 1, int(lock), 0, data=b"inst0")
        return result[0], result[1]

    def close(self):
        self.socket.close()


def link_until(address, port, seconds):
    """A locking create_link retried until it is served or `seconds` pass: its last error."""
    deadline = time.monotonic() + seconds
    while True:
        channel = Channel(address, port)
        error = channel.create_link(lock=True)[0]
        channel.close()
        if error == 0 or time.monotonic() > deadline:
            return error
        time.sleep(0.05)


def unfinished_record(core):
    """Fragments never marked last that fill the read-ahead exactly, from a lock holder."""
    holder = Channel("10.231.0.1", core)
    check("the holder's locking link", holder.create_link(lock=True)[0], 0)
    holder.socket.sendall(b"\0\0\0\0" * 1024)
    holder.close()
    check("lock free and a new link served within a second", link_until("10.231.0.1", core, 1), 0)


def refusals(core):
    channel = Channel("10.231.0.1", core)
    _, link = channel.create_link()
    _, _, written = channel.call(11, link, 0, 0, 8, data=b"*CLS;" * 205)
    check("a write over maxRecvSize: error 5", written[0], 5)
    channel.socket.sendall(struct.pack(">I", 0x80000000 | 64) + struct.pack(
        ">6I4I", 99, 0, 2, 0x0607AF, 1, 11, 0, 0, 0, 0) + struct.pack(">5I", link, 0, 0, 8, 10**6)
        + bytes(4))
    check("a write claiming a megabyte: garbage arguments", channel.reply()[:2], (True, 4))
    check("ONC RPC version 3: RPC_MISMATCH", channel.call(0, rpc=3)[:2], (False, 0))
    check("VXI-11 version 2: PROG_MISMATCH", channel.call(0, version=2)[:2], (True, 2))
    channel.close()


def dead_peers(core):
    """Sixteen channels from a host of their own, the seventeenth refused by create_link, then
    the host's link cut and its clients killed: keepalive frees every slot and the lock."""
    peer = subprocess.Popen(["unshare", "--net", sys.executable, __file__, SIM, "--peer",
                             str(core)], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    atexit.register(peer.kill)  # however the test ends
    for command in (f"ip link add zqp{os.getpid()} type veth peer name zqq netns {peer.pid}",
                    f"ip addr add 10.232.0.1/24 dev zqp{os.getpid()}",
                    f"ip link set zqp{os.getpid()} up"):
        subprocess.run(command.split(), check=True)
    peer.stdin.write("go\n")
    peer.stdin.flush()
    check("sixteen peers linked, one locking", peer.stdout.readline(), "linked 16\n")
    seventeenth = Channel("10.231.0.1", core)
    try:
        refused = seventeenth.create_link()[0]
    except OSError:
        refused = "closed"
    check("the seventeenth channel: create_link error 9", refused, 9)
    seventeenth.close()
    subprocess.run(["ip", "link", "del", f"zqp{os.getpid()}"], check=True)
    peer.send_signal(signal.SIGKILL)
    peer.wait()
    began = time.monotonic()
    error = link_until("10.231.0.1", core, 20)
    print(f"  dead peers reaped after {time.monotonic() - began:.1f} s")
    check("a new locking link once the dead peers are reaped", error, 0)


def peer(core):
    """Inside the peer's own namespace: sixteen channels to the panel, then nothing."""
    sys.stdin.readline()
    for command in ("ip link set lo up", "ip addr add 10.232.0.2/24 dev zqq",
                    "ip link set zqq up"):
        subprocess.run(command.split(), check=True)
    time.sleep(0.2)
    channels = [Channel("10.232.0.1", core) for _ in range(16)]
    linked = sum(channel.create_link(lock=index == 0)[0] == 0
                 for index, channel in enumerate(channels))
    print(f"linked {linked}", flush=True)
    time.sleep(600)


def main():
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        if sys.argv[2:] == ["--vxi11"]:
            board = Board(runtime, "--scpi", "[::]:0", "--allow",
                          "::ffff:10.231.0.0/120,10.232.0.0/24", "--vxi11", "0",
                          env={"ZQ_TCP_KEEPALIVE": "1,1,2"})
            with socket.create_connection(("10.231.0.1", board.ports[0]), timeout=5) as client:
                client.sendall(b"*IDN?\n")
                check("a v4-mapped peer in --allow", client.recv(9), b"ZQ80415 p")
            unfinished_record(board.ports[1])
            refusals(board.ports[1])
            dead_peers(board.ports[1])
            notes = board.end()
            check("the overlong record said once",
                  notes.count("VXI-11: closed a connection whose record does not end"), 1)
        else:
            flood_then_close(runtime)
            dual_stack_and_nagle(runtime)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(peer(int(sys.argv[3])) if sys.argv[2:3] == ["--peer"] else main())
