"""What the GUI tests, the demo and the benchmark share to run the installer under wine on a private X display.

The wine environment (values from wine.env beside this file, which scripts/wine_env.sh reads too), ending a
prefix's wineserver, Linux paths as wine sees them, a private Xvfb, a build tree's files, the slow-installing
sample installer, and the progress bar's fill measured on a screenshot.
"""

import filecmp
import os
import random
import select
import shutil
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)

# The installer and the sample product, as the scripts see them.
TITLE = "霁桐智能餐饮"                               # the installer window's title
CASHIER, SERVICE = "霁桐收银端.exe", "霁桐餐饮服务.exe"  # the sample's two programs, at the top of its tree
SAMPLE_PROGRAMS = (CASHIER, SERVICE)
CASHIER_LINK, SERVICE_LINK = "霁桐收银端.lnk", "霁桐餐饮.lnk"   # desktop shortcuts the installer may make

# The Windows programs that run here: the i686 build where the kernel runs 32-bit programs, else the x86_64
# build of the same sources under wine64 (scripts/win_run_arch.sh decides for the shell scripts too).
RUN_ARCH = subprocess.run([os.path.join(HERE, "win_run_arch.sh")], capture_output=True, text=True,
                          check=True).stdout.strip()
WINE = "wine" if RUN_ARCH == "i686" else "/usr/lib/wine/wine64"
RUN_TREE = "win32" if RUN_ARCH == "i686" else "win64"
MINGW_CXX = RUN_ARCH + "-w64-mingw32-g++-posix"   # for the scripts' own small Windows helpers
# The default folder C:\PROGRAM_FILES\PRODUCT_DIR: a 32-bit program on 64-bit Windows gets Program Files (x86).
PROGRAM_FILES = "Program Files (x86)" if RUN_ARCH == "i686" else "Program Files"
PRODUCT_DIR = "霁桐餐饮"

SCREEN_W, SCREEN_H = 1024, 768


# ---------------------------------------------------------------------------------------------------------
# Wine
# ---------------------------------------------------------------------------------------------------------

def read_wine_settings(path=os.path.join(HERE, "wine.env")):
    """NAME=value lines, taken literally; blank lines and # comments skipped."""
    settings = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                name, _, value = line.partition("=")
                settings[name] = value
    return settings


WINE_SETTINGS = read_wine_settings()
DEFAULT_LOCALE = WINE_SETTINGS["LC_ALL"]   # zh_CN.UTF-8: ANSI code page 936


def wine_env(prefix, display=None, locale=DEFAULT_LOCALE):
    """The environment of a wine command in prefix: this process's environment with the project's wine
    settings, the locale (it picks wine's ANSI code page: zh_CN.UTF-8 936, C.UTF-8 1252) and, when given,
    the X display name. Programs of one prefix must all run under one locale: end_wineserver between."""
    env = dict(os.environ)
    env.update(WINE_SETTINGS, WINEPREFIX=prefix, LC_ALL=locale)
    if display:
        env["DISPLAY"] = display
    return env


def make_prefix(prefix):
    """Creates the wine prefix the project's way (scripts/wineprefix.sh) unless it is there already."""
    subprocess.run([os.path.join(HERE, "wineprefix.sh")], check=True, env=dict(os.environ, WINEPREFIX=prefix))


def end_wineserver(prefix):
    """Ends the prefix's wineserver and every wine program under it, and waits until they are gone: a
    server left over from another run (another locale, another display) would otherwise serve the next."""
    env = wine_env(prefix)
    for flag in ("-k", "-w"):
        subprocess.run(["wineserver", flag], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def reap(proc, seconds):
    """Waits for a process that was asked to end, and kills it when it has not ended within seconds."""
    try:
        proc.wait(seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


def windows_path(path):
    """The Z: drive path of a Linux path, as wine programs see it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ---------------------------------------------------------------------------------------------------------
# The X display
# ---------------------------------------------------------------------------------------------------------

class Xvfb:
    """One private Xvfb screen, 1024 x 768 x 24, ended by its pid.

    The display number is taken from 200 up, clear of the numbers that xvfb-run (99 up) and servers that
    pick their own (0 up) use, skipping any number with a lock file; a server that still loses a race for
    its number exits at once and the next number is tried. Xvfb's messages go to log: the given file, or a
    temporary one that close() removes unless the server failed to start or ended by itself.
    """

    FIRST = 200

    def __init__(self, log=None):
        self.own_log = log is None
        if self.own_log:
            fd, log = tempfile.mkstemp(prefix="xvfb-", suffix=".log")
            os.close(fd)
        self.log = log
        self.failed = False
        self.proc = None
        self.start()

    def start(self):
        for number in range(self.FIRST, self.FIRST + 100):
            if os.path.exists("/tmp/.X%d-lock" % number) or os.path.exists("/tmp/.X11-unix/X%d" % number):
                continue
            if self._launch(number):
                self.name = ":%d" % number
                self.env = dict(os.environ, DISPLAY=self.name)
                return
        self.failed = True
        raise RuntimeError("no Xvfb could be started (displays :%d and up; its messages in %s)"
                           % (self.FIRST, self.log))

    def _launch(self, number):
        read_end, write_end = os.pipe()
        try:
            with open(self.log, "ab") as out:
                # -displayfd: Xvfb writes its number there once it accepts clients. -noreset: without it the
                # server resets whenever its last client leaves (every xdotool call may be the last), and a
                # wine program that connects during the reset finds no display and ends at once.
                self.proc = subprocess.Popen(
                    ["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0",
                     "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp", "-noreset"],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        finally:
            os.close(write_end)
        ready = b""
        try:
            deadline = time.monotonic() + 15
            while not ready.endswith(b"\n") and time.monotonic() < deadline:
                if select.select([read_end], [], [], 0.5)[0]:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    ready += chunk
        finally:
            os.close(read_end)
        if ready.strip() == str(number).encode() and self.proc.poll() is None:
            return True
        self._stop()
        return False

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def ended(self):
        """Why the server is gone, for a message."""
        return "the X server %s has ended (exit %s; its messages in %s)" % (self.name, self.proc.returncode, self.log)

    def restart(self):
        """A new server, on a new number, in place of one that something else on the machine ended."""
        self.failed = True
        self._stop()
        self.start()

    def _stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.terminate()
            reap(self.proc, 5)

    def close(self):
        if self.proc is not None and self.proc.poll() is not None:
            self.failed = True
        self._stop()
        if self.own_log and not self.failed:
            os.remove(self.log)


# ---------------------------------------------------------------------------------------------------------
# A build tree and the sample
# ---------------------------------------------------------------------------------------------------------

class BuildTree:
    """The files of a build tree (make BUILD=DIR) that the scripts use."""

    def __init__(self, build):
        self.dir = os.path.abspath(build)
        self.mkinstaller = os.path.join(self.dir, "native", "mkinstaller")
        # What runs under wine here comes from the run tree; the shipped image is always the i686 one.
        self.shipped_stub = os.path.join(self.dir, "win32", "setup-stub.exe")
        self.mkinstaller_exe = os.path.join(self.dir, RUN_TREE, "mkinstaller.exe")
        self.stub = os.path.join(self.dir, RUN_TREE, "setup-stub.exe")
        self.programs = os.path.join(self.dir, RUN_TREE, "sample")   # the sample's programs as built
        self.sample_stage = os.path.join(self.dir, "sample-stage" if RUN_TREE == "win32" else "sample-stage-win64")
        self.setup = os.path.join(self.dir, "dist", *([] if RUN_TREE == "win32" else ["win64"]), "setup.exe")
        self.prefix = os.path.join(self.dir, "wineprefix")


def padded_installer(tree, exe, stage, blobs, blob_size, seed, say=lambda text: print(text, flush=True)):
    """An installer that installs for seconds: the sample's two programs and `blobs` files of blob_size
    incompressible bytes (data/blob-NN.bin, random from seed, so every machine installs the same bytes),
    staged in stage (kept: it is what exe holds) and packed onto the build's stub as exe. Level 0 with a
    small dictionary: the data does not compress anyway, and packing stays quick. Packed again only when the
    programs or the stub have changed; say tells what takes a while. Returns the blob paths in stage."""
    data = os.path.join(stage, "data")
    paths = [os.path.join(data, "blob-%02d.bin" % i) for i in range(blobs)]
    if not all(os.path.isfile(p) and os.path.getsize(p) == blob_size for p in paths):
        say("staging %s (%d MB of random bytes, once)" % (stage, blobs * blob_size >> 20))
        shutil.rmtree(stage, ignore_errors=True)
        os.makedirs(data)
        rng = random.Random(seed)
        for path in paths:
            with open(path, "wb") as f:
                f.write(rng.randbytes(blob_size))
    # make_sample.sh stages the programs afresh every time: copied only when their bytes changed, so the
    # modification times below say what changed.
    programs = [os.path.join(stage, name) for name in SAMPLE_PROGRAMS]
    for dst in programs:
        src = os.path.join(tree.sample_stage, os.path.basename(dst))
        if not os.path.exists(dst) or not filecmp.cmp(src, dst, shallow=False):
            shutil.copyfile(src, dst)
    inputs = paths + programs + [tree.stub]
    if not (os.path.exists(exe) and os.path.getmtime(exe) >= max(map(os.path.getmtime, inputs))):
        say("packing %s (once per installer stub)" % exe)
        # Random bytes decoded as LZMA, in one block: stored blocks, or blocks decoded side by side, would
        # make the installation too quick to be watched.
        subprocess.run([tree.mkinstaller, "pack", "--level", "0", "--dict", "64K", "--no-stored", "--block-size", "256M",
                        "--stub", tree.stub, "--out", exe, stage], check=True, stdout=subprocess.DEVNULL)
    return paths


# ---------------------------------------------------------------------------------------------------------
# The progress bar
# ---------------------------------------------------------------------------------------------------------

BAR = (20, 350)   # the progress bar's top-left pixel in the window


def bar_fill(shot, track, fill):
    """Fill width of the progress bar, or None when the bar is not there as a prefix of the fill bitmap
    followed by the track bitmap. shot is the window's pixels, track and fill the bar's bitmaps
    (res/progress_track.bmp, res/progress_fill.bmp); each has px(x, y) giving (r, g, b)."""
    kinds = []
    for x in range(track.width):
        column = [shot.px(BAR[0] + x, BAR[1] + y) for y in range(track.height)]
        is_fill = all(column[y] == fill.px(x, y) for y in range(fill.height))
        is_track = all(column[y] == track.px(x, y) for y in range(track.height))
        if not (is_fill or is_track):
            return None
        kinds.append("b" if is_fill and is_track else "f" if is_fill else "t")
    last_fill = max([i for i, k in enumerate(kinds) if k == "f"], default=-1)
    first_track = min([i for i, k in enumerate(kinds) if k == "t"], default=len(kinds))
    if last_fill > first_track:
        return None
    return last_fill + 1
