"""Driving the real installer under wine on a private X display: processes, windows, clicks and pixels.

Used by run_gui_tests.py and by scripts/demo_gui.py (the window part of make demo). Everything here
talks to the display through the command-line tools a Debian machine has: Xvfb, xdotool, xwininfo and
ImageMagick's import. Screenshots are read as binary PPM and parsed here, so no imaging library is needed.
"""

import os
import pwd
import signal
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "scripts"))
import winlab  # noqa: E402
from winlab import TITLE  # noqa: E402

WIN_W, WIN_H = 600, 400
PANEL = (235, 235, 235)
LINK_ORANGE = (221, 118, 16)

# ImageMagick's own binaries, not any wrapper that may sit earlier in PATH.
IMPORT = "/usr/bin/import" if os.path.exists("/usr/bin/import") else "import"
CONVERT = "/usr/bin/convert" if os.path.exists("/usr/bin/convert") else "convert"

# Debian packages for the tools used here: Xvfb, xdotool, xwininfo, import and convert, lnkinfo (the wine side
# comes with scripts/setup.sh).
TOOL_PACKAGES = ["xvfb", "xdotool", "x11-utils", "imagemagick", "liblnk-utils"]


class Timeout(AssertionError):
    pass


def ensure_tools():
    """Installs the display tools when one is missing."""
    subprocess.run([os.path.join(winlab.TOP, "scripts", "apt_need.sh"), "gui"] + TOOL_PACKAGES, check=True)


def wait_for(what, predicate, timeout=10.0, interval=0.05):
    """Polls predicate until it returns something true; returns that, or raises Timeout naming what."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def stays(predicate, seconds=0.8, interval=0.1):
    """True when predicate holds at every poll for the given time: for things that must NOT happen."""
    deadline = time.monotonic() + seconds
    while True:
        if not predicate():
            return False
        if time.monotonic() > deadline:
            return True
        time.sleep(interval)


# ---------------------------------------------------------------------------------------------------------
# Pictures
# ---------------------------------------------------------------------------------------------------------

class Image:
    """RGB pixels, row 0 at the top."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    def px(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + w) * 3] for r in range(h)]
        return Image(w, h, b"".join(rows))

    def to_ppm(self):
        return b"P6\n%d %d\n255\n" % (self.width, self.height) + bytes(self.data)

    def save_png(self, path):
        subprocess.run([CONVERT, "ppm:-", "-strip", path], input=self.to_ppm(), check=True)


def parse_ppm(blob):
    """Binary PPM (P6, maxval 255) as written by ImageMagick."""
    fields, pos = [], 0
    while len(fields) < 4:
        while blob[pos:pos + 1].isspace():
            pos += 1
        if blob[pos:pos + 1] == b"#":
            pos = blob.index(b"\n", pos) + 1
            continue
        end = pos
        while not blob[end:end + 1].isspace():
            end += 1
        fields.append(blob[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    data = blob[pos + 1:pos + 1 + width * height * 3]
    if len(data) != width * height * 3:
        raise ValueError("short PPM")
    return Image(width, height, data)


def read_bmp(path):
    """An uncompressed 24-bit BMP (BITMAPINFOHEADER, either row order) as an Image."""
    with open(path, "rb") as f:
        blob = f.read()
    if blob[:2] != b"BM":
        raise ValueError(path + ": not a BMP")
    offset = struct.unpack_from("<I", blob, 10)[0]
    _, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", blob, 14)
    if bits != 24 or compression != 0:
        raise ValueError(path + ": not an uncompressed 24-bit BMP")
    bottom_up = height > 0
    height = abs(height)
    stride = (width * 3 + 3) & ~3
    out = bytearray()
    for y in range(height):
        src = offset + ((height - 1 - y) if bottom_up else y) * stride
        for x in range(width):
            b, g, r = blob[src + 3 * x:src + 3 * x + 3]
            out += bytes((r, g, b))
    return Image(width, height, bytes(out))


def mismatches(shot, ref, x0, y0):
    """How many pixels of ref differ from shot at (x0, y0)."""
    return sum(1 for y in range(ref.height) for x in range(ref.width) if shot.px(x0 + x, y0 + y) != ref.px(x, y))


def is_ink(p):
    """A pixel of black text on the panel: grey, and darker than the panel (glyph edges are smoothed)."""
    return p != PANEL and max(p) - min(p) < 40 and max(p) < 228


def is_white(p):
    return min(p) >= 235 and p != PANEL


# ---------------------------------------------------------------------------------------------------------
# The display
# ---------------------------------------------------------------------------------------------------------

class Display(winlab.Xvfb):
    """A private Xvfb screen (winlab.Xvfb) driven by xdotool, xwininfo and ImageMagick's import."""

    def run(self, *args, check=True):
        r = subprocess.run(list(args), env=self.env, capture_output=True, text=True)
        if check and r.returncode != 0:
            if not self.alive():
                raise RuntimeError(self.ended())
            raise RuntimeError("%s failed: %s" % (" ".join(args), r.stderr.strip()))
        return r

    def screenshot(self):
        r = subprocess.run([IMPORT, "-silent", "-window", "root", "-depth", "8", "ppm:-"], env=self.env,
                           capture_output=True)
        if r.returncode != 0:
            if not self.alive():
                raise RuntimeError(self.ended())
            raise RuntimeError("import failed: " + r.stderr.decode(errors="replace").strip())
        return parse_ppm(r.stdout)

    # Pointer and keyboard, in screen coordinates.
    def click(self, x, y, count=1):
        self.run("xdotool", "mousemove", str(x), str(y), "click", "--repeat", str(count), "--delay", "100", "1")

    def press(self, x, y):
        self.run("xdotool", "mousemove", str(x), str(y), "mousedown", "1")

    def release(self):
        self.run("xdotool", "mouseup", "1")

    def key(self, *keys):
        self.run("xdotool", "key", "--delay", "40", *keys)

    def type(self, text):
        self.run("xdotool", "type", "--delay", "30", text)

    def focus(self, window):
        self.run("xdotool", "windowfocus", "--sync", str(window), check=False)

    # Windows.
    def windows_named(self, pattern, pid=None):
        args = ["xdotool", "search"]
        if pid is not None:
            args += ["--pid", str(pid)]
        r = self.run(*(args + ["--name", pattern]), check=False)
        return [int(w) for w in r.stdout.split()]

    def mapped(self, window):
        r = self.run("xwininfo", "-id", str(window), check=False)
        return r.returncode == 0 and "Map State: IsViewable" in r.stdout

    def geometry(self, window):
        """x, y, width, height of a window on the screen."""
        r = self.run("xwininfo", "-id", str(window))
        values = {}
        for line in r.stdout.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]), int(values["Border width"]))


# ---------------------------------------------------------------------------------------------------------
# Wine
# ---------------------------------------------------------------------------------------------------------

class Wine:
    """A wine prefix for one run.

    Own prefix (the tests): one persistent wineserver for the whole run, warmed up by wineboot, and
    stopped with everything in the prefix at the end; a server left from an earlier run (another display,
    another locale) is ended first. Shared prefix (the demo, in the project's prefix that other runs may be
    using): no server of its own and nothing stopped; wine starts a server when needed, which ends by itself
    after the last program. locale: see winlab.wine_env.
    """

    def __init__(self, prefix, display, shared=False, locale=winlab.DEFAULT_LOCALE):
        self.prefix = prefix
        self.display = display
        self.shared = shared
        self.env = winlab.wine_env(prefix, display.name if display else None, locale)
        self.server = None
        if not shared:
            winlab.end_wineserver(prefix)
            # All output to /dev/null: wine's background services must not inherit a pipe of ours, or
            # reading a program's output (output() below) would wait for them.
            self.server = subprocess.Popen(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.run(["wineboot"])

    def run(self, args, env=None, timeout=60):
        return subprocess.run([winlab.WINE] + args, env=dict(self.env, **(env or {})), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout).returncode

    def output(self, args, timeout=30):
        r = subprocess.run([winlab.WINE] + args, env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                           timeout=timeout)
        return r.stdout.decode("utf-8", "replace")

    def start(self, args, env=None, log=None):
        out = open(log, "wb") if log else subprocess.DEVNULL
        try:
            return subprocess.Popen([winlab.WINE] + args, env=dict(self.env, **(env or {})), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=subprocess.STDOUT if log else subprocess.DEVNULL)
        finally:
            if log:
                out.close()

    @property
    def drive_c(self):
        return os.path.join(self.prefix, "drive_c")

    def desktop(self):
        users = os.path.join(self.drive_c, "users")
        return os.path.join(users, user_name(), "Desktop")

    def close(self):
        if self.shared:
            return
        winlab.end_wineserver(self.prefix)
        winlab.reap(self.server, 10)


def shortcut_fields(path, code_page="936"):
    """What lnkinfo (liblnk-utils) reads in a .lnk file: its local path (in the system code page the shortcut
    was written under), working directory and description, by lnkinfo's names; empty if unread."""
    r = subprocess.run(["lnkinfo", "-c", "windows-" + code_page, path], capture_output=True, text=True)
    fields = {}
    for line in r.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        if key.strip() in ("Local path", "Working directory", "Description"):
            fields.setdefault(key.strip(), value.strip())
    return fields


def ansi_form(text, code_page):
    """text as a program of that system code page writes it in an ANSI field: '?' for what it lacks."""
    return text.encode("cp" + code_page, "replace").decode("cp" + code_page)


def user_name():
    """Wine names the profile folder after the Unix user."""
    return pwd.getpwuid(os.getuid()).pw_name


class WindowList:
    """What wintext.exe saw: top-level windows (topmost first) with their child controls."""

    def __init__(self, text):
        self.tops = []
        for line in text.splitlines():
            parts = line.rstrip("\r").split("\t")
            if len(parts) < 6:
                continue
            rect = tuple(int(v) for v in parts[5].split(","))
            if parts[0] == "top":
                self.tops.append({"hwnd": int(parts[1]), "pid": int(parts[2]), "class": parts[3],
                                  "text": parts[4], "rect": rect, "state": parts[6] if len(parts) > 6 else "",
                                  "children": []})
            elif parts[0] == "child" and self.tops:
                self.tops[-1]["children"].append({"hwnd": int(parts[1]), "class": parts[3], "text": parts[4],
                                                  "rect": rect})

    def titled(self, title):
        return [w for w in self.tops if w["text"] == title]


# ---------------------------------------------------------------------------------------------------------
# The installer window
# ---------------------------------------------------------------------------------------------------------

class Installer:
    """One run of an installer exe: its wine process and its 600 x 400 window."""

    def __init__(self, wine, exe, env=None, log=None):
        self.wine, self.display, self.exe = wine, wine.display, exe
        self.proc = wine.start([exe], env=env, log=log)
        self.window = wait_for("the installer window of " + os.path.basename(exe), self._find_window, timeout=20)
        x, y, w, h, border = wait_for("the window's geometry", lambda: self.display.geometry(self.window))
        self.origin = (x, y)
        self.size = (w, h)
        self.border = border

    def _find_window(self):
        if self.proc.poll() is not None:
            raise AssertionError("the installer ended before showing its window (exit %s)" % self.proc.returncode)
        found = [w for w in self.display.windows_named("^%s$" % TITLE, pid=self.proc.pid) if self.display.mapped(w)]
        return found[0] if found else None

    def alive(self):
        return self.proc.poll() is None

    def shot(self):
        """The window's 600 x 400 pixels as they are on the screen now."""
        x, y = self.origin
        return self.display.screenshot().crop(x, y, WIN_W, WIN_H)

    def click(self, x, y):
        self.display.click(self.origin[0] + x, self.origin[1] + y)

    def double_click(self, x, y):
        self.display.click(self.origin[0] + x, self.origin[1] + y, count=2)

    def press(self, x, y):
        self.display.press(self.origin[0] + x, self.origin[1] + y)

    def release(self):
        self.display.release()

    def wait_shot(self, what, predicate, timeout=10.0):
        """Polls screenshots until predicate(shot) holds; returns that shot."""
        found = []

        def probe():
            shot = self.shot()
            if predicate(shot):
                found.append(shot)
                return True
            return False

        wait_for(what, probe, timeout=timeout, interval=0.05)
        return found[0]

    def wait_exit(self, timeout=30.0):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Timeout("the installer did not end within %.0f s" % timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
