"""The front panel page in a real browser (Chromium headless through Selenium) against the real
programs: each option and DEFAULT clicked on the page writes what the same click in the window
writes; keys, a drag and a click on a slider's groove write every position passed, one a write,
in order; a change made elsewhere shows on the page within 100 ms; the page reloads into the
present state, says when it has lost the panel and comes back with it; a port failure reaches
it; a page of another origin cannot open the channel. Screenshots go to the folder named by
--screenshots. Exit status 77 (skipped) when Chromium, its driver or Selenium is missing."""

import os
import queue
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from http.server import SimpleHTTPRequestHandler, ThreadingHTTPServer

CHROMIUM, DRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError:
    webdriver = None
if webdriver is None or not (os.access(CHROMIUM, os.X_OK) and os.access(DRIVER, os.X_OK)):
    print("skipped: needs chromium, chromium-driver and python3-selenium (scripts/setup)")
    sys.exit(77)

SIM, REAL = sys.argv[1], sys.argv[2]
SHOTS = sys.argv[sys.argv.index("--screenshots") + 1] if "--screenshots" in sys.argv else None
SCRATCH = tempfile.mkdtemp(prefix="zq80415-web-")
STARTUP = ["0x7C <- 0x80", "0x7C <- 0x40", "0x7C <- 0x00"]
failures = []
started = []  # every process the test starts, ended however the test ends


def check(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r}, wanted {wanted!r}")


class Board:
    """A panel started with the page's server, its writes collected as they are printed, each
    with the time it was read."""

    def __init__(self, program, *arguments, port=0, display=None):
        env = dict(os.environ, XDG_RUNTIME_DIR=SCRATCH, QT_QPA_PLATFORM="offscreen")
        if display:
            env.update(DISPLAY=display, QT_QPA_PLATFORM="xcb")
        self.process = subprocess.Popen(
            [program, "--http", f"127.0.0.1:{port}", *arguments], env=env, text=True,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        started.append(self.process)
        self.writes, self.err = queue.Queue(), []
        self.url = self.scpi = None
        while self.url is None:
            line = self.process.stderr.readline()
            if not line:
                raise RuntimeError("the panel ended before announcing its page: "
                                   + "".join(self.err))
            self.err.append(line)
            found = re.search(r"(http://127\.0\.0\.1:(\d+)/)", line)
            self.url, self.port = (found.group(1), int(found.group(2))) if found else (None, 0)
            found = re.search(r"SCPI on 127\.0\.0\.1:(\d+)", line)
            self.scpi = int(found.group(1)) if found else self.scpi
        threading.Thread(target=self.collect, daemon=True).start()
        threading.Thread(target=lambda: self.err.extend(self.process.stderr), daemon=True).start()

    def collect(self):
        for line in self.process.stdout:
            self.writes.put((time.time(), line.strip()))

    def take(self, count, wait=5.0):
        """The next `count` writes (fewer if they do not come), then any that follow at once."""
        taken, end = [], time.time() + wait
        while len(taken) < count and time.time() < end:
            try:
                taken.append(self.writes.get(timeout=0.05)[1])
            except queue.Empty:
                pass
        time.sleep(0.15)
        while not self.writes.empty():
            taken.append(self.writes.get()[1])
        return taken

    def send(self, *commands):
        env = dict(os.environ, XDG_RUNTIME_DIR=SCRATCH)
        return subprocess.run([SIM, "--send", *commands], env=env, capture_output=True,
                              text=True, timeout=10).stdout.strip()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--no-first-run",
                 "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                 "--hide-scrollbars",
                 "--user-data-dir=" + tempfile.mkdtemp(dir=SCRATCH)):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(options=options, service=Service(DRIVER))


def until(page, script, wait=5.0):
    end = time.time() + wait
    while time.time() < end:
        if page.execute_script("return " + script):
            return True
        time.sleep(0.02)
    return False


def opened(page, url):
    page.get(url)
    if not until(page, "!document.getElementById('RESET').disabled"):
        failures.append(f"the page at {url} never enabled its controls")


def writes_of(mode, address="0x7C"):
    return [f"{address} <- 0x{mode:02X}"]


def captions_and_identity(board, page):
    """The window's captions, exactly, and *IDN?'s fields with the SCPI resource string."""
    check("captions", page.execute_script(
        "return [...document.querySelectorAll('title, legend, label, button')]"
        ".map(e => e.textContent)"),
        ["ZQ80415 Audio Program v1.2 ", "LOUDSPEAKER 3D", "ON", "OFF", "CHIP POWER-ON", "ON",
         "OFF", "HEADPHONE OUTPUT COUPLING", "OCL", "C-CUPL", "HEADPHONE 3D ", "ON", "OFF",
         "I2C ADDRESS BIT", "1", "0", "VOLUME CONTROLS", "LOUDSPEAKER VOLUME CONTROL",
         "HEADPHONE VOLUME CONTROL", " DEFAULT"])
    with socket.create_connection(("127.0.0.1", board.scpi)) as scpi:
        scpi.sendall(b"*IDN?\n")
        idn = scpi.makefile().readline().strip().split(",")
    check("identity", page.execute_script(
        "return ['manufacturer', 'model', 'serial', 'firmware', 'resources']"
        ".map(id => document.getElementById(id).textContent)"),
        idn + [f"TCPIP::127.0.0.1::{board.scpi}::SOCKET"])


def options_and_default(board, page):
    """Each option clicked, the selected one again, the address bit and DEFAULT."""
    mode, bits = 0, {"hp3d": 8, "ls3d": 4, "ocl": 2, "power": 1}
    for option, bit, on in [("poweron", "power", True), ("ls3don", "ls3d", True),
                            ("OCL", "ocl", True), ("hp3don", "hp3d", True),
                            ("hp3don", "hp3d", True), ("ls3doff", "ls3d", False),
                            ("CCUPL", "ocl", False), ("hp3doff", "hp3d", False)]:
        page.find_element(By.ID, option).click()
        mode = mode | bits[bit] if on else mode & ~bits[bit]
        check(f"click {option}", board.take(1), writes_of(mode))
    page.find_element(By.ID, "addrone").click()
    check("click addrone", board.take(0, 0.3), [])
    page.find_element(By.ID, "poweroff").click()
    check("poweroff at address bit 1", board.take(1), writes_of(mode & ~1, "0x7D"))
    page.find_element(By.ID, "RESET").click()
    check("DEFAULT", board.take(4), [f"0x7C <- 0x{d}" for d in ("A0", "60", "00", "80")])
    check("DEFAULT on the page", until(page, "['addrzero', 'poweroff', 'CCUPL', 'ls3doff',"
                                        " 'hp3doff'].every(id => document.getElementById(id).checked)"), True)
    # The keyboard alone: an arrow key within a group selects and writes, as in the window.
    page.find_element(By.ID, "poweroff").send_keys(Keys.ARROW_LEFT)
    check("arrow key to poweron", board.take(1), writes_of(0x01))


def key(page, name, code, held=1):
    """A key pressed, or held through `held` auto-repeated key downs, sent as fast as the
    browser takes them, then released."""
    for down in range(held):
        page.execute_cdp_cmd("Input.dispatchKeyEvent", {
            "type": "rawKeyDown", "key": name, "code": name, "windowsVirtualKeyCode": code,
            "autoRepeat": down > 0})
    page.execute_cdp_cmd("Input.dispatchKeyEvent", {"type": "keyUp", "key": name, "code": name,
                                                     "windowsVirtualKeyCode": code})


def slider_writes(first, last, prefix):
    step = 1 if last >= first else -1
    return [f"0x7C <- 0x{prefix | p:02X}" for p in range(first, last + step, step)]


def sliders(board, page):
    """After DEFAULT the loudspeaker's register prefix is 101 (0xA0), the headphone's 011."""
    page.find_element(By.ID, "monovol").click()  # focus; the click steps 5 towards the middle
    check("groove click", board.take(5), slider_writes(1, 5, 0xA0))
    key(page, "ArrowRight", 39, held=12)
    check("held arrow key", board.take(12), slider_writes(6, 17, 0xA0))
    key(page, "PageDown", 34)
    check("Page Down", board.take(5), slider_writes(16, 12, 0xA0))
    key(page, "Home", 36)
    key(page, "End", 35)
    check("Home and End", board.take(0, 0.3), [])
    check("gain box", page.find_element(By.ID, "hfgainbox").text, " 1.5 dB")
    volume = page.find_element(By.ID, "rightvol")
    width = volume.size["width"]
    handle = -width / 2 + 7  # position 0, as the page draws the 14-pixel handle
    ActionChains(page).move_to_element_with_offset(volume, int(handle), 0).click_and_hold() \
        .move_by_offset(int((width - 14) * 20 / 31), 0).move_by_offset(-int((width - 14) * 8 / 31), 0) \
        .release().perform()
    check("drag", board.take(28), slider_writes(1, 20, 0x60) + slider_writes(19, 12, 0x60))


def seen_within(board, page, watch, change):
    """How long after the change began (the time `change` returns, else its write as read) the
    page showed it, `watch` becoming true, in ms."""
    page.execute_script("window.seenAt = 0; const w = setInterval(() => {"
                        f" if ({watch}) {{ window.seenAt = Date.now(); clearInterval(w); }} }}, 1);")
    began = change()
    written = board.writes.get(timeout=5)[0]
    until(page, "window.seenAt > 0")
    return page.execute_script("return window.seenAt") - (began or written) * 1000


def follows(board, page, other):
    """A change from --send (from its write, as the client's own start is not the panel's
    doing), SCPI (from the message sent) and a second page (from its key press) shows on the
    first page within 100 ms."""
    scpi = socket.create_connection(("127.0.0.1", board.scpi))
    board.send("headphone-volume 20")
    check("headphone volume 20 by --send", board.take(1), ["0x7C <- 0x74"])
    until(page, "document.getElementById('rightvol').value == '20'")

    def by_scpi(value):
        began = time.time()
        scpi.sendall(f"HEAD:VOL {value}\n".encode())
        return began

    def by_page(value):
        other.execute_script("document.addEventListener('keydown', () => {"
                             " window.keyAt = Date.now(); }, {once: true, capture: true})")
        other.find_element(By.ID, "rightvol").send_keys(
            Keys.ARROW_RIGHT if value == 21 else Keys.ARROW_LEFT)
        return other.execute_script("return window.keyAt") / 1000

    ways = {"--send": lambda value: board.send(f"headphone-volume {value}") and None,
            "SCPI": by_scpi, "a second page": by_page}
    for way, change in ways.items():
        delays = []
        for _ in range(5):
            value = 41 - int(page.find_element(By.ID, "rightvol").get_attribute("value"))
            watch = f"document.getElementById('rightvol').value == '{value}'"
            delays.append(seen_within(board, page, watch, lambda: change(value)))
            board.take(0, 0.2)
        print(f"{way}: {', '.join(f'{d:.0f}' for d in delays)} ms")
        if statistics.median(delays) > 100:
            failures.append(f"a change through {way} took {delays} ms to reach the page")
    scpi.close()


def reload_lose_and_reconnect(board, page):
    page.refresh()
    until(page, "!document.getElementById('RESET').disabled")
    shown = page.execute_script("return ['rightvol', 'poweron'].map(id =>"
                                " document.getElementById(id).type == 'range' ?"
                                " document.getElementById(id).value : document.getElementById(id).checked)")
    check("reloaded page", shown, ["21", True])
    port = board.port
    board.stop()
    check("lost notice", until(page, "!document.getElementById('lost').hidden"
                               " && document.getElementById('poweron').disabled"), True)
    board = Board(SIM, "--listen", "--scpi", "127.0.0.1:0", port=port)
    check("start-up writes of the new panel", board.take(3), STARTUP)
    check("reconnected", until(page, "document.getElementById('lost').hidden"
                               " && document.getElementById('poweroff').checked"
                               " && !document.getElementById('poweroff').disabled", 10), True)
    return board


def foreign_origin(board, page):
    """A page served from another origin opens the channel and sends a command: refused."""
    folder = tempfile.mkdtemp(dir=SCRATCH)
    with open(os.path.join(folder, "index.html"), "w") as html:
        html.write(f"""<script>const s = new WebSocket('ws://127.0.0.1:{board.port}/channel');
s.onopen = () => {{ s.send('power on'); document.title = 'opened'; }};
s.onclose = () => {{ if (document.title != 'opened') document.title = 'refused'; }};
</script>""")
    class Quiet(SimpleHTTPRequestHandler):
        def log_message(self, *arguments):
            pass

    handler = lambda *a: Quiet(*a, directory=folder)
    other = ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=other.serve_forever, daemon=True).start()
    page.get(f"http://127.0.0.1:{other.server_address[1]}/")
    until(page, "document.title != ''")
    check("cross-origin channel", page.title, "refused")
    check("cross-origin writes", board.take(0, 0.5), [])
    other.shutdown()


def port_failure(page):
    """The real program with a port that is no port: the page shows the failure, all disabled.
    The virtual X server is started again should another test's take its display first."""
    plain = os.path.join(SCRATCH, "plain")
    open(plain, "w").close()
    for attempt in range(3):
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset",
                                 "-screen", "0", "640x480x24"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)
        started.append(xvfb)
        try:
            board = Board(REAL, "--port", plain, display=":" + xvfb.stdout.readline().strip())
            break
        except RuntimeError as refused:
            xvfb.terminate()
            if attempt == 2:
                raise refused
    page.get(board.url)
    check("failure shown", until(page, "document.getElementById('failure').textContent"
                                 ".includes('not a character device')"), True)
    check("controls disabled", page.execute_script(
        "return [...document.querySelectorAll('input, button')].every(c => c.disabled)"), True)
    board.stop()


def screenshots(board, page):
    board.send("power on", "coupling ocl", "speaker-volume 11", "headphone-volume 19")
    board.take(32)
    for width, height, name in [(1280, 800, "web-desktop.png"), (390, 844, "web-phone.png")]:
        page.set_window_size(width, height)
        inner = page.execute_script("return [innerWidth, innerHeight]")
        page.set_window_size(2 * width - inner[0], 2 * height - inner[1])
        opened(page, board.url)
        page.save_screenshot(os.path.join(SHOTS, name))


def main():
    board = Board(SIM, "--listen", "--scpi", "127.0.0.1:0")
    check("start-up writes", board.take(3), STARTUP)
    browsers = []
    try:
        browsers.append(browser())
        browsers.append(browser())
        page, other = browsers
        opened(page, board.url)
        foreign = [e for e in page.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)")
            if not e.startswith(board.url)]
        check("resources from elsewhere", foreign, [])
        captions_and_identity(board, page)
        options_and_default(board, page)
        sliders(board, page)
        opened(other, board.url)
        follows(board, page, other)
        board = reload_lose_and_reconnect(board, page)
        errors = [e["message"] for e in page.get_log("browser") if e["level"] == "SEVERE"
                  and "favicon" not in e["message"] and "/channel" not in e["message"]]
        check("console errors (CSP, script)", errors, [])
        foreign_origin(board, other)
        if SHOTS:
            screenshots(board, page)
        port_failure(other)
    finally:
        for each in browsers:
            each.quit()
        for process in started:
            if process.poll() is None:
                process.terminate()
                process.wait(10)
        shutil.rmtree(SCRATCH, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    if failures:
        print("stderr of the last panel:", "".join(board.err[-5:]))
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    return 1 if failures else 0


sys.exit(main())
