#!/usr/bin/python3
"""A set-then-query sweep as a lab script runs it: 32 steps of "SPE:VOL N" then "SPE:VOL?",
against the simulated board's SCPI port on loopback, from clients with their default sockets
(pyvisa-py's raw socket resource, Octave's tcpclient, a plain Python socket) and from a Python
socket with TCP_NODELAY. Prints each client's median step and its ratio to the TCP_NODELAY one
(aim: at most 1.2). Usage: bench_sweep.py SIM [SWEEPS]"""
import os
import re
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SIM = sys.argv[1]
SWEEPS = int(sys.argv[2]) if len(sys.argv) > 2 else 5
STEPS = 32


def start(runtime):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    board = subprocess.Popen([SIM, "--scpi", "0"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE, env=env, text=True)
    found = re.search(r"SCPI on [\d.]+:(\d+)", board.stderr.readline())
    if not found:
        board.kill()
        sys.exit("bench_sweep: no SCPI port announced")
    return board, int(found.group(1))


def socket_sweeps(port, nodelay):
    with socket.create_connection(("127.0.0.1", port)) as client:
        if nodelay:
            client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        reader = client.makefile("rb")
        steps = []
        for _ in range(SWEEPS):
            for step in range(STEPS):
                began = time.perf_counter()
                client.sendall(b"SPE:VOL %d\n" % step)
                client.sendall(b"SPE:VOL?\n")
                if reader.readline() != b"%d\n" % step:
                    sys.exit("bench_sweep: wrong answer over a socket")
                steps.append(time.perf_counter() - began)
        return steps


def pyvisa_sweeps(port):
    import pyvisa
    inst = pyvisa.ResourceManager("@py").open_resource(
        f"TCPIP::127.0.0.1::{port}::SOCKET", read_termination="\n", write_termination="\n")
    steps = []
    for _ in range(SWEEPS):
        for step in range(STEPS):
            began = time.perf_counter()
            inst.write(f"SPE:VOL {step}")
            if inst.query("SPE:VOL?") != str(step):
                sys.exit("bench_sweep: wrong answer over pyvisa-py")
            steps.append(time.perf_counter() - began)
    inst.close()
    return steps


OCTAVE = """
pkg load instrument-control
t = tcpclient("127.0.0.1", %d);
for sweep = 1:%d
  for step = 0:%d
    began = tic;
    if %d
      write(t, uint8(sprintf("SPE:VOL %%d\\nSPE:VOL?\\n", step)));
    else
      write(t, uint8(sprintf("SPE:VOL %%d\\n", step)));
      write(t, uint8("SPE:VOL?\\n"));
    end
    wanted = sprintf("%%d\\n", step);
    got = char(read(t, numel(wanted)));
    if ! strcmp(got, wanted)
      error("wrong answer: %%s", got);
    end
    printf("%%.9f\\n", toc(began));
  end
end
clear t
"""


def octave_sweeps(port, together=False):
    """Octave's steps; `together`: the setting and the query in one write, which Nagle's
    algorithm cannot hold back (Octave's own time for a step, without the socket's)."""
    if shutil.which("octave-cli") is None:
        return None
    done = subprocess.run(["octave-cli", "--no-gui", "--quiet", "--eval",
                           OCTAVE % (port, SWEEPS, STEPS - 1, int(together))],
                          capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        print("  octave tcpclient: unusable:", done.stderr.strip().splitlines()[-1:])
        return None
    return [float(line) for line in done.stdout.split()]


def main():
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        board, port = start(runtime)
        try:
            reference = statistics.median(socket_sweeps(port, nodelay=True))
            print(f"{SWEEPS} sweeps of {STEPS} set-then-query steps, loopback, simulated board")
            print(f"  Python socket, TCP_NODELAY:       median step {reference * 1e6:8.1f} us")
            for name, sweeps in (("Python socket, default", lambda: socket_sweeps(port, False)),
                                 ("pyvisa-py SOCKET, default", lambda: pyvisa_sweeps(port)),
                                 ("Octave tcpclient, default", lambda: octave_sweeps(port))):
                steps = sweeps()
                if steps:
                    median = statistics.median(steps)
                    print(f"  {name + ':':33} median step {median * 1e6:8.1f} us, "
                          f"ratio to TCP_NODELAY {median / reference:.2f}")
            # Octave's tcpclient cannot set TCP_NODELAY: its own reference sends both at once.
            together = octave_sweeps(port, together=True)
            if together and steps:
                median = statistics.median(together)
                print(f"  {'Octave, set and query in 1 write:':33} median step {median * 1e6:8.1f}"
                      f" us; Octave default/this {statistics.median(steps) / median:.2f}")
        finally:
            board.terminate()
            board.wait(timeout=10)


if __name__ == "__main__":
    main()
