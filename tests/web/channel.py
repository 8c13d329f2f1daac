#!/usr/bin/python3
"""The simulated board's front panel page driven without a browser: its channel with a WebSocket
client, its answers with plain HTTP. Every command over the channel is held to the writes the
same commands make through the control socket; every request the page's rules refuse is held
to writing nothing. With a real display (Xvfb) also the real program with a failing port."""
import atexit
import http.client
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ElementTree

import websocket

SIM, REAL = sys.argv[1], sys.argv[2]
STARTUP = ["0x7C <- 0x80", "0x7C <- 0x40", "0x7C <- 0x00"]
LXI = "{http://www.lxistandard.org/InstrumentIdentification/1.0}"
failures = []
boards = []
atexit.register(lambda: [board.kill() for board in boards if board.poll() is None])


def check(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r}, wanted {wanted!r}")


class Board:
    """A panel started with `arguments`; its writes are collected as it prints them."""

    def __init__(self, runtime, *arguments, program=SIM, env=None):
        env = env or dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env["XDG_RUNTIME_DIR"] = runtime
        self.env = env
        self.process = subprocess.Popen([program, *arguments], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, env=env, text=True)
        boards.append(self.process)
        self.err = ""
        for line in self.process.stderr:
            self.err += line
            found = re.search(r"page on http://([\d.]+):(\d+)/", line)
            if found:
                self.host, self.port = found.group(1), int(found.group(2))
                break
        else:
            sys.exit(f"no page announced: {self.err!r}")
        self.writes = []
        threading.Thread(target=self.collect, daemon=True).start()

    def collect(self):
        for line in self.process.stdout:
            self.writes.append(line.strip())

    def settled(self, count, seconds=5):
        """The writes once there are `count` of them, or after `seconds`."""
        end = time.monotonic() + seconds
        while len(self.writes) < count and time.monotonic() < end:
            time.sleep(0.01)
        time.sleep(0.1)  # nothing more comes
        return list(self.writes)

    def address(self):
        return f"{self.host}:{self.port}"

    def channel(self, origin=None):
        return websocket.create_connection(f"ws://{self.address()}/channel", timeout=5,
                                           origin=origin or f"http://{self.address()}")

    def request(self, method, path, headers=None, body=None):
        connection = http.client.HTTPConnection(self.host, self.port, timeout=5)
        connection.putrequest(method, path, skip_host=True)
        for name, value in {"Host": self.address(), **(headers or {})}.items():
            connection.putheader(name, value)
        connection.endheaders(body)
        answer = connection.getresponse()
        return answer.status, dict(answer.getheaders()), answer.read()

    def end(self):
        self.process.terminate()
        self.process.wait(10)


def messages(channel, seconds=0.3):
    """Every message the channel carries until it is quiet for `seconds`."""
    got = []
    channel.settimeout(seconds)
    try:
        while True:
            got.append(json.loads(channel.recv()))
    except websocket.WebSocketTimeoutException:
        return got


def idn(board):
    """*IDN?'s four fields, asked over the board's SCPI port."""
    scpi = int(re.search(r"SCPI on [\d.]+:(\d+)", board.err).group(1))
    with socket.create_connection(("127.0.0.1", scpi)) as client:
        client.sendall(b"*IDN?\n")
        return client.makefile().readline().strip().split(",")


COMMANDS = ["power on", "speaker-3d on", "headphone-3d on", "coupling ocl", "address 1",
            "speaker-volume 11", "headphone-volume 20", "power on", "default", "address 0"]


def commands_write_as_the_window(runtime):
    page = Board(runtime, "--headless", "--http", "127.0.0.1:0", "--scpi", "127.0.0.1:0")
    channel = page.channel()
    first = messages(channel)
    identity = first[0]["identity"]
    check("identity", [identity[k] for k in ("manufacturer", "model", "serial", "firmware")],
          idn(page))
    check("addresses", identity["addresses"], [f"http://{page.address()}/"])
    check("resources", len(identity["resources"]), 1)
    check("state on connect", first[1]["state"]["poweroff"], True)
    for line in COMMANDS + [f"speaker-volume {n}" for n in range(3, 8)]:
        channel.send(line)
    channel.send("speaker-volume 40")
    after = messages(channel)
    check("refused", [m for m in after if "error" in m],
          [{"error": "error: speaker-volume takes a position from 0 to 31"}])
    last = [m["state"] for m in after if "state" in m][-1]
    check("last state", (last["monovol"], last["hfgainbox"]), (7, "-9.0 dB"))
    script = Board(runtime, "--headless", "--listen", "--http", "127.0.0.1:0")
    sent = subprocess.run([SIM, "--send", *COMMANDS, *[f"speaker-volume {n}" for n in range(3, 8)]],
                          env=script.env, capture_output=True, text=True, timeout=30)
    check("--send", sent.returncode, 0)
    wanted = script.settled(30)
    check("channel writes", page.settled(len(wanted)), wanted)
    script.end()
    return page, channel


def others_reach_the_page(page, channel, runtime):
    scpi = int(re.search(r"SCPI on [\d.]+:(\d+)", page.err).group(1))
    with socket.create_connection(("127.0.0.1", scpi)) as client:
        started = time.monotonic()
        client.sendall(b"HEAD:VOL 9\n")
        channel.settimeout(5)
        state = json.loads(channel.recv())["state"]
        check("SCPI change pushed", (state["rightvol"], state["rgainbox"]), (9, "-15.0 dB"))
        print(f"SCPI change on the page after {1000 * (time.monotonic() - started):.1f} ms")
    second = page.channel()
    messages(second)
    second.send("headphone-volume 10")
    check("other page's change", messages(channel)[-1]["state"]["rightvol"], 10)


def a_stalled_page_holds_up_nobody(page):
    """A page that reads nothing, on a small receive buffer, while 1,000 changes go by in bursts
    of 200 (under a page's 256 waiting commands): the driving page follows each burst to its
    end, and once the stalled one reads it gets the latest state, not all it missed."""
    stalled = websocket.create_connection(
        f"ws://{page.address()}/channel", origin=f"http://{page.address()}", timeout=5,
        sockopt=((socket.SOL_SOCKET, socket.SO_RCVBUF, 4096),))
    driver = page.channel()
    messages(driver)
    started = time.monotonic()
    states = 0
    for burst in range(5):
        for change in range(200):
            driver.send(f"speaker-volume {change % 32}")
        shown = [m["state"]["monovol"] for m in messages(driver) if "state" in m]
        check(f"burst {burst}: the driving page shows its end", shown[-1:], [199 % 32])
        states += len(shown)
    print(f"1000 changes with a stalled page open: {time.monotonic() - started:.2f} s, "
          f"{states} states to the driving page")
    got = [m["state"]["monovol"] for m in messages(stalled, 1) if "state" in m]
    check("the stalled page missed states", len(got) < states, True)
    check("and then got the latest", got[-1:], [199 % 32])
    stalled.close()
    driver.close()


def refusals_write_nothing(page):
    before = page.settled(0)
    foreign = {"Host": f"evil.example:{page.port}"}
    check("foreign Host", page.request("GET", "/", foreign)[0], 421)
    evil = {"Origin": "http://evil.example"}
    check("cross-origin POST", page.request("POST", "/", evil, b"speaker-volume 3")[0], 403)
    try:
        page.channel(origin="http://evil.example")
        failures.append("cross-origin channel opened")
    except websocket.WebSocketBadStatusException as refused:
        check("cross-origin channel", refused.status_code, 403)
    check("GET with Origin", page.request("GET", "/panel.css", evil)[0], 200)
    check("unknown path", page.request("GET", "/nope")[0], 404)
    status, headers, _ = page.request("POST", "/lxi/identification")
    check("POST", (status, headers.get("Allow")), (405, "GET, HEAD"))
    check("large body", page.request("PUT", "/", {"Content-Length": "5000"})[0], 413)
    check("large head", page.request("GET", "/", {"X-Pad": "x" * 9000})[0], 431)
    check("long target", page.request("GET", "/" + "a" * 3000)[0], 414)
    with socket.create_connection((page.host, page.port)) as raw:  # pipelined: refused whole
        head = f"GET / HTTP/1.1\r\nHost: {page.address()}\r\n\r\n".encode()
        raw.sendall(head + head)
        check("pipelined", raw.recv(100).split(b"\r\n")[0], b"HTTP/1.1 400 Bad Request")
    status, headers, body = page.request("GET", "/")
    check("page", (status, b'id="monovol"' in body), (200, True))
    with socket.create_connection((page.host, page.port)) as raw:  # HEAD: the fields alone
        raw.sendall(f"HEAD / HTTP/1.1\r\nHost: {page.address()}\r\n\r\n".encode())
        head = b"".join(iter(lambda: raw.recv(65536), b""))
        check("HEAD", (head.split(b"\r\n")[0], head.endswith(b"\r\n\r\n"),
                       f"Content-Length: {len(body)}\r\n".encode() in head),
              (b"HTTP/1.1 200 OK", True, True))
    check("CSP", headers.get("Content-Security-Policy", "").startswith(
        "default-src 'self'; connect-src 'self'; frame-ancestors 'none'"), True)
    check("framing", headers.get("X-Frame-Options"), "DENY")
    check("nothing written", page.settled(0), before)


def identification_document(page):
    status, headers, body = page.request("GET", "/lxi/identification")
    check("document", (status, headers.get("Content-Type")), (200, "text/xml; charset=utf-8"))
    root = ElementTree.fromstring(body)
    check("root", root.tag, LXI + "LXIDevice")
    names = [child.tag.replace(LXI, "") for child in root]
    order = ["Manufacturer", "Model", "SerialNumber", "FirmwareRevision",
             "ManufacturerDescription", "HomepageURL", "DriverURL", "ConnectedDevices",
             "UserDescription", "IdentificationURL", "Interface", "IVISoftwareModuleName",
             "Extension", "LXIClass", "Domain", "LXIVersion", "LXIExtendedFunctions"]
    check("schema order", names, sorted(names, key=order.index))
    check("required", "LXIVersion" in names and "Interface" in names, True)
    check("IDN fields", [root.find(LXI + n).text for n in order[:4]],
          idn(page))
    interface = root.find(LXI + "Interface")
    check("interface", interface.get("InterfaceType"), "LXI")
    scpi = re.search(r"SCPI on [\d.]+:(\d+)", page.err).group(1)
    check("addresses", [a.text for a in interface],
          [f"TCPIP::127.0.0.1::{scpi}::SOCKET", f"http://{page.address()}/"])
    if shutil.which("xmllint"):
        lint = subprocess.run(["xmllint", "--noout", "-"], input=body, capture_output=True)
        check("well-formed", lint.returncode, 0)


def second_panel_refused(page, runtime):
    second = subprocess.run([SIM, "--headless", "--http", f"127.0.0.1:{page.port}"],
                            env=dict(page.env, XDG_RUNTIME_DIR=runtime), capture_output=True,
                            text=True, timeout=30)
    check("second panel", (second.returncode, second.stdout), (1, ""))
    check("says why", "cannot listen for the page" in second.stderr, True)


def command_line_rules(runtime):
    """--http takes --scpi's address rules and shares its --allow; each refusal is a usage error
    that says why, before anything is written."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    for arguments, why in ((["--http", "10.0.0.1:80"], "--http 10.0.0.1:80 would serve clients"),
                           (["--http", "[::1]"], "--http takes [ADDRESS]:PORT"),
                           (["--http", "70000"], "--http takes [ADDRESS:]PORT"),
                           (["--http", "host:80"], "--http: 'host' is not an IP address"),
                           (["--send", "state", "--http", "80"], "--send and --http exclude")):
        run = subprocess.run([SIM, "--headless", *arguments], env=env, capture_output=True,
                             text=True, timeout=30)
        check(f"{arguments}", (run.returncode, run.stdout, why in run.stderr), (2, "", True))


def port_failure_reaches_the_page(runtime):
    if not shutil.which("Xvfb"):
        print("SKIP port failure: no Xvfb")
        return
    server = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset",
                               "-screen", "0", "640x480x24"], stdout=subprocess.PIPE, text=True)
    boards.append(server)
    env = dict(os.environ, DISPLAY=":" + server.stdout.readline().strip(), QT_QPA_PLATFORM="xcb")
    plain = os.path.join(runtime, "plain")
    open(plain, "w").close()
    real = Board(runtime, "--port", plain, "--http", "127.0.0.1:0", program=REAL, env=env)
    channel = real.channel()
    got = messages(channel, 2)
    failure = [m["failure"] for m in got if "failure" in m]
    check("failure on connect", len(failure) == 1 and "not a character device" in failure[0], True)
    channel.send("power on")
    check("refused after failure", "error" in messages(channel)[-1], True)
    real.process.kill()
    real.process.wait(10)
    server.terminate()  # a killed server leaves its display's lock and socket behind
    server.wait(10)


def main():
    with tempfile.TemporaryDirectory() as runtime:
        os.chmod(runtime, 0o700)
        page, channel = commands_write_as_the_window(runtime)
        others_reach_the_page(page, channel, runtime)
        a_stalled_page_holds_up_nobody(page)
        refusals_write_nothing(page)
        identification_document(page)
        second_panel_refused(page, runtime)
        page.end()
        command_line_rules(runtime)
        port_failure_reaches_the_page(runtime)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


sys.exit(main())
