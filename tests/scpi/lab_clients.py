#!/usr/bin/python3
"""The simulated board's SCPI server driven by the lab's own clients: PyVISA with pyvisa-py over
a raw socket resource, and lxi-tools. Every setting is checked against the writes the board
prints, and the command line's refusals against the exit statuses they promise. With --vxi11,
inside the network namespace tests/scpi/vxi11.sh makes, the same over VXI-11, found through the
namespace's own portmapper."""
import atexit
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

import pyvisa

SIM = sys.argv[1]
# The simulated board's default name: the host's and "simulated".
IDENTITY = f"ZQ80415 project,ZQ80415,{socket.gethostname().split('.')[0]}/simulated,1.2"
failures = []
boards = []  # every panel started, ended when the test ends however it ends
atexit.register(lambda: [board.kill() for board in boards if board.poll() is None])


def check(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r}, wanted {wanted!r}")


def environment(runtime):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    return env


def start(runtime, *arguments):
    board = subprocess.Popen([SIM, *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             env=environment(runtime), text=True)
    boards.append(board)
    ports = []
    for service in ("SCPI", "VXI-11")[:2 if "--vxi11" in arguments else 1]:
        line = board.stderr.readline()
        found = re.search(service + r" on [\d.]+:(\d+)", line)
        if not found:
            board.kill()
            sys.exit(f"no {service} port announced: {line!r}")
        ports.append(int(found.group(1)))
    startup = [board.stdout.readline() for _ in range(3)]
    check("start-up writes", startup, ["0x7C <- 0x80\n", "0x7C <- 0x40\n", "0x7C <- 0x00\n"])
    return board, *ports


def session(resource):
    """What a test sequencer does, and the writes each step must make."""
    rm = pyvisa.ResourceManager("@py")
    inst = rm.open_resource(resource, read_termination="\n", write_termination="\n",
                            timeout=5000)
    writes = []
    check("*IDN?", inst.query("*IDN?"), IDENTITY)
    for step in range(32):
        inst.write(f"SPEaker:VOLume {step}")
        check(f"volume {step}", inst.query("SPE:VOL?"), str(step))
        writes.append(0x80 | step)
    check("gain at 31", inst.query(":SPEAKER:GAIN?"), "30.0")
    check("compound", inst.query("POW ON;:HEAD:VOL 20;VOL?;:HEAD:COUP OCL;COUP?"), "20;OCL")
    writes += [0x01, 0x54, 0x03]
    learned = inst.query("*LRN?")
    inst.write("*RST")
    writes += [0xA0, 0x60, 0x00, 0x80]
    check("*RST", inst.query("*LRN?").endswith(":SPE:VOL 0;:HEAD:VOL 0"), True)
    inst.write(learned)  # power last, after the volumes and the other options
    writes += [0x00, 0x00, 0x02, 0xBF, 0x74, 0x03]
    check("*LRN? round trip", inst.query("*LRN?"), learned)
    for bad, number in (("BOGUS", "-113"), ("SPE:VOL 40", "-222"), ("HEAD:COUP XYZ", "-224")):
        inst.write(bad)
        check(f"error after {bad}", inst.query("SYST:ERR?").split(",")[0], number)
    check("queue empty", inst.query("SYSTem:ERRor?"), '0,"No error"')
    check("*ESR? after errors", int(inst.query("*ESR?")) & 0x30 != 0, True)
    check("root and path rules", inst.query(":HEAD:VOL?;:SPE:VOL?;GAIN?;*STB?;:HEADPHONE:COUP?"),
          "20;31;30.0;0;OCL")
    inst.write("POW ON;" + "A" * 300)  # over the limit: refused whole, nothing written
    check("a message over 256 bytes", inst.query("SYST:ERR?").split(",")[0], "-363")
    inst.close()
    return writes


def connection_cap(port):
    """Sixteen clients are served; the seventeenth is closed before it is read, and the others
    go on."""
    time.sleep(0.3)  # the sequencer's own connection is gone
    clients = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(17)]
    try:
        clients[-1].sendall(b"*IDN?\n")
        answer = clients[-1].recv(100)
    except ConnectionResetError:
        answer = b""
    check("the client beyond the cap", answer, b"")
    clients[0].sendall(b"*IDN?\n")
    check("a client within the cap", clients[0].recv(100).startswith(b"ZQ80415 project"), True)
    for client in clients:
        client.close()


def documented_headers():
    """Each manual's headers as SYSTem:HELP:HEADers? marks them: the README's table rows and
    the manual page's entries in SCPI COMMANDS."""
    here = os.path.dirname(os.path.abspath(__file__))
    marks = {"command, query": "", "query only": "/qonly/", "command only": "/nquery/"}
    with open(os.path.join(here, "..", "..", "README.md")) as readme:
        rows = re.findall(r"^\| `([^`]+)` \| (command, query|query only|command only) \|",
                          readme.read(), re.M)
    table = [header.removesuffix("?") + ("?" if marks[kind] == "/qonly/" else "") + marks[kind]
             for header, kind in rows]
    pages = {}
    for page in ("zq80415.1", "zq80415-sim.1"):
        with open(os.path.join(here, "..", "..", "docs", "man", page)) as roff:
            text = roff.read().split(".SH SCPI COMMANDS")[1].split("\n.SH ")[0]
        entries = re.findall(r"^\.B (\S+)\n(Command and query|Query only|Command only):", text,
                             re.M)
        kinds = {"Command and query": "", "Query only": "/qonly/", "Command only": "/nquery/"}
        pages[page] = [h.replace("\\-", "-").removesuffix("?")
                       + ("?" if kinds[k] == "/qonly/" else "") + kinds[k] for h, k in entries]
    return table, pages


def manuals(port):
    """The README's table and the manual pages list exactly the headers the instrument says it
    knows, in its own order."""
    with socket.create_connection(("127.0.0.1", port), timeout=5) as client:
        client.sendall(b"SYST:HELP:HEAD?\n")
        answer = b""
        while not answer.endswith(b"\n\n"):
            answer += client.recv(4096)
    digits = int(answer[1:2])
    length = int(answer[2:2 + digits])
    block = answer[2 + digits:]
    check("definite-length block", len(block), length + 1)
    known = block.decode().split("\n")[:-2]
    table, pages = documented_headers()
    check("README table against SYST:HELP:HEAD?", table, known)
    for page, headers in pages.items():
        check(f"{page} against SYST:HELP:HEAD?", headers, known)


def hog_and_sequencer(port):
    """A client that sends queries without end and never reads its responses: the panel stops
    reading it once its responses back up, and a second client's round trips stay quick while
    the hog still holds its connection."""
    time.sleep(0.3)  # the clients of the cap's check are gone
    hog = socket.create_connection(("127.0.0.1", port), timeout=5)
    hog.setblocking(False)
    flood = b"*IDN?\n" * 10000

    def send_for(seconds):
        sent, deadline = 0, time.monotonic() + seconds
        while time.monotonic() < deadline:
            try:
                sent += hog.send(flood)
            except BlockingIOError:
                time.sleep(0.01)
        return sent

    # Until the buffers on both sides are full: a second in which the panel takes nothing, at
    # most 30 s after the first (a loaded machine fills them slower).
    first, deadline = send_for(3), time.monotonic() + 30
    while (last := send_for(1)) > 0 and time.monotonic() < deadline:
        pass
    check("the hog is read no more once its responses back up", (first > 0, last), (True, 0))
    other = socket.create_connection(("127.0.0.1", port), timeout=5)
    trips = []
    for _ in range(50):
        began = time.monotonic()
        other.sendall(b"SPE:VOL?\n")
        answer = other.recv(100)
        trips.append(time.monotonic() - began)
    check("answers beside the hog", answer, b"31\n")
    # Held up by the hog, a round trip would wait for it without end; these bounds leave room
    # for a loaded machine's pauses.
    check("round trips beside the hog: median under 0.05 s, slowest under 1 s",
          (statistics.median(trips) < 0.05, max(trips) < 1), (True, True))
    other.close()
    hog.close()


def main():
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        board, port = start(runtime, "--scpi", "0")
        writes = session(f"TCPIP::127.0.0.1::{port}::SOCKET")
        manuals(port)
        connection_cap(port)
        hog_and_sequencer(port)
        lxi = subprocess.run(["lxi", "scpi", "--raw", "-a", "127.0.0.1", "-p", str(port),
                              "*IDN?"], capture_output=True, text=True, timeout=30)
        check("lxi *IDN?", IDENTITY in lxi.stdout, True)
        second = subprocess.run([SIM, "--scpi", str(port)], capture_output=True, text=True,
                                env=environment(runtime), timeout=30)
        check("a second panel on the port", (second.returncode, second.stdout), (1, ""))
        board.terminate()
        printed, _ = board.communicate(timeout=10)
        check("status after SIGTERM", board.returncode, 143)
        check("writes", printed.split("\n")[:-1], [f"0x7C <- 0x{w:02X}" for w in writes])
        for arguments in (["--scpi", "192.0.2.1:5025"], ["--allow", "10.0.0.0/8"],
                          ["--scpi", "5025", "--send", "state"], ["--scpi", "70000"],
                          ["--vxi11", "0"], ["--scpi", "0", "--vxi11", "x"],
                          ["--scpi", "0", "--name", "a,b"], ["--scpi", "0", "--name", "x" * 56]):
            refused = subprocess.run([SIM, *arguments], capture_output=True, text=True,
                                     env=environment(runtime), timeout=30)
            check(f"usage error {arguments}", (refused.returncode, refused.stdout), (2, ""))
    for failure in failures:
        print("FAIL:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


def run(*command, **options):
    return subprocess.run(command, capture_output=True, text=True, timeout=30, **options)


def entered():
    """Whether the portmapper lists the VXI-11 core channel."""
    return " 395183 " in run("rpcinfo", "-p").stdout


def vxi11_links(resource):
    """VXI-11's own rules through PyVISA: a read in pieces smaller than the response (no read
    answers more than it asked for), MAV in the status byte while a response waits,
    and a lock that keeps a second link out until it is released."""
    rm = pyvisa.ResourceManager("@py")
    first = rm.open_resource(resource, read_termination="\n", timeout=5000)
    second = rm.open_resource(resource, read_termination="\n", timeout=2000)
    first.chunk_size = 5
    check("*IDN? read 5 bytes at a time", first.query("*IDN?"), IDENTITY)
    first.write("SPE:VOL?")
    check("MAV while a response waits", first.read_stb() & 0x10, 0x10)
    first.read()
    check("no MAV once it is read", first.read_stb() & 0x10, 0)
    power = second.query("POW?")
    first.lock_excl()
    try:
        second.write("POW " + ("OFF" if power == "1" else "ON"))
        locked_out = False
    except pyvisa.errors.VisaIOError:
        locked_out = True
    check("a locked device refuses another link", locked_out, True)
    first.unlock()
    check("untouched while locked, free again once unlocked", second.query("POW?"), power)
    first.close()
    second.close()


def vxi11_main():
    """The panel at 10.231.0.1 (the namespace's own address), allowing only that address. A
    client at 10.231.0.2, outside the list, is closed unread; the portmapper's entry lives as
    long as the panel, and one a killed panel left is taken over."""
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        env = environment(runtime)
        board, _, core = start(runtime, "--scpi", "10.231.0.1:0", "--allow", "10.231.0.1/32",
                               "--vxi11", "1024")
        writes = session("TCPIP::10.231.0.1::INSTR")
        vxi11_links("TCPIP::10.231.0.1::INSTR")
        identity = IDENTITY
        check("the core channel's port", core, 1024)
        found = run("lxi", "discover", "-t", "1").stdout
        check("lxi discover", f'Found "{identity}" on address 10.231.0.1' in found, True)
        check("lxi scpi over VXI-11", run("lxi", "scpi", "-a", "10.231.0.1", "*IDN?").stdout,
              identity + "\n")
        outsider = socket.socket()
        outsider.bind(("10.231.0.2", 0))
        outsider.connect(("10.231.0.1", core))
        try:
            outsider.sendall(b"\x80\x00\x00\x28" + bytes(40))
            answer = outsider.recv(100)
        except ConnectionResetError:
            answer = b""
        check("a client outside --allow", answer, b"")
        second = run(SIM, "--scpi", "0", "--vxi11", "0", env=env)
        check("a second VXI-11 panel", (second.returncode,
                                         "another program serves VXI-11" in second.stderr), (1, True))
        board.terminate()
        printed, notes = board.communicate(timeout=10)
        check("status after SIGTERM", board.returncode, 143)
        check("writes", printed.split("\n")[:-1], [f"0x7C <- 0x{w:02X}" for w in writes])
        check("the outsider noted as VXI-11's", "VXI-11: closed a connection from 10.231.0.2" in notes,
              True)
        check("entry withdrawn at the end", entered(), False)

        killed, _, _ = start(runtime, "--scpi", "0", "--vxi11", "0")
        killed.kill()
        killed.communicate(timeout=10)
        check("entry a killed panel left", entered(), True)
        heir, _, _ = start(runtime, "--scpi", "0", "--vxi11", "0")
        heir.terminate()
        heir.communicate(timeout=10)
        check("a new panel takes the entry over, and withdraws it", entered(), False)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(vxi11_main() if sys.argv[2:] == ["--vxi11"] else main())
