#!/usr/bin/env python3
"""End-to-end tests of the installer window: the real setup.exe under wine on a private Xvfb (the i686 build, or
where the kernel runs no 32-bit programs the x86_64 build of the same sources).

    tests/gui/run_gui_tests.py [--build DIR] [--only NAME ...] [--list]

One Xvfb (1024 x 768 x 24) serves the whole run, which goes through every scenario twice: under the system
code page 936 (a Chinese Windows) and 1252 (an English one), in the same prefix, each with its own persistent
wineserver (wine takes the ANSI code page from the locale when its server starts). The idle screen and the
progress screen's text must come out pixel for pixel the same under both. The scenarios click with
xdotool, read the screen with ImageMagick's import, compare pixels with the committed bitmaps in res/,
read window and control texts with the small wintext.exe helper, and check the files the installer
writes into the wine prefix. Positions of texts are measured on the screenshots (the Song-style font
here is a substitute, so its widths are not SimSun's).

The tests use their own wine prefix, BUILD/wineprefix-gui, made once by scripts/wineprefix.sh, so they can
run beside the other wine suites without sharing their server. The installer with a large payload that
the slow-installation scenarios need is made once too (BUILD/gui/big-setup.exe) and remade when the
installer stub changes. The last idle and progress screenshots of each code page are left in BUILD/gui/shots/.
"""

import argparse
import fcntl
import filecmp
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(os.path.dirname(os.path.dirname(HERE)), "scripts")]
import gui  # noqa: E402
import winlab  # noqa: E402
from gui import PANEL, LINK_ORANGE, wait_for, stays  # noqa: E402
from winlab import TITLE, CASHIER, CASHIER_LINK, SERVICE_LINK, PROGRAM_FILES, PRODUCT_DIR  # noqa: E402

TOP = winlab.TOP
RES = os.path.join(TOP, "res")

# The system code pages the scenarios run under, and the locale that gives wine each.
CODE_PAGES = [("936", "zh_CN.UTF-8"), ("1252", "C.UTF-8")]

# The progress screen's text before its figures ("正在安装 "): compared between the code pages.
PROGRESS_LEAD = (20, 322, 54, 24)

# The bitmap resources by id, as res/installer.rc names their files.
BITMAPS = {130: "background.bmp", 134: "button.bmp", 142: "button_pressed.bmp", 139: "progress_track.bmp",
           138: "progress_fill.bmp", 140: "close.bmp", 141: "minimize.bmp", 143: "check_on.bmp",
           144: "check_off.bmp"}

MSG_DAMAGED = "安装程序已损坏，请重新下载"
MSG_FAILED = "安装失败,请重新选择安装路径"
# The buttons of the box that asks to close the programs holding files (wine's own texts, by language).
RETRY_TEXTS = ("重试", "Retry")
CANCEL_BOX_TEXTS = ("取消", "Cancel")
# The sample programs' window titles.
SAMPLE_TITLES = ("霁桐收银端", "霁桐餐饮服务")
# What a failure box's second line begins with, for the causes the scenarios bring about.
REASON_NO_ROOM = "磁盘空间不足："
REASON_PATH_TOO_LONG = "路径太长，Windows 无法创建："
REASON_IN_THE_WAY = "同名的文件或文件夹挡住了安装："
REASON_WRITE = "无法写入文件："
# The temporary a file is written to before it takes its name.
TEMPORARY = "~jt$new.tmp"
PICKER_TEXT = "选择安装路径"
SHORTCUT_COMMENT = "北京霁桐科技"
# Wine's own texts follow the locale's language: Chinese under code page 936, English under 1252.
CANCEL_TEXTS = ("取消", "Cancel")
MY_COMPUTER_TEXTS = ("我的电脑", "My Computer")
AGREEMENT_TAIL = "/?c=about&id=32"

# Fixed places of the window (client pixels); everything that depends on text is measured instead.
INSTALL_BUTTON = (460, 326, 113, 42)   # x, y, width, height; both ends inside
CLOSE_BOX = (565, 10, 18, 18)
MINIMISE_BOX = (535, 10, 18, 18)
CHECK_BOX = (20, 348, 20, 20)

# The large payload: incompressible data behind the two programs, enough for a progress screen of
# several seconds. Generated from a fixed seed, so every machine installs the same bytes.
BIG_FILES = 6
BIG_FILE_SIZE = 16 * 1024 * 1024
BIG_SEED = 20240601

# A chosen install folder this many characters long (C:\ included) would push the change-path label out of
# the window if the directory line were drawn whole; the folder's name is made of the filler.
LONG_FOLDER_CHARS = 97
LONG_FOLDER_FILLER = "long-install-folder-"


def centre(region):
    x, y, w, h = region
    return x + w // 2, y + h // 2


def far_corner(region):
    x, y, w, h = region
    return x + w, y + h


class Fail(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Fail(message)


# ---------------------------------------------------------------------------------------------------------
# Reading the window from a screenshot
# ---------------------------------------------------------------------------------------------------------

class Art:
    """The committed bitmaps, by resource id."""

    def __init__(self):
        self.bmp = {rid: gui.read_bmp(os.path.join(RES, name)) for rid, name in BITMAPS.items()}

    def __getitem__(self, rid):
        return self.bmp[rid]


def button_state(shot, art):
    """'normal' (bitmap 134) or 'pressed' (bitmap 142) with a white caption over it, else None.

    The caption is drawn over the bitmap, so pixels may differ from it only inside the caption's box,
    and there they must be the caption's (white) pixels and its edges.
    """
    x0, y0 = INSTALL_BUTTON[:2]
    for state, rid in (("normal", 134), ("pressed", 142)):
        ref = art[rid]
        outside = inside_white = 0
        for y in range(ref.height):
            for x in range(ref.width):
                if shot.px(x0 + x, y0 + y) != ref.px(x, y):
                    if 10 <= x <= 104 and 4 <= y <= 36:
                        inside_white += gui.is_white(shot.px(x0 + x, y0 + y))
                    else:
                        outside += 1
        if outside == 0 and inside_white >= 40:
            return state
    return None


def caption_box(shot):
    """Bounding box (x0, y0, x1, y1) of the white caption pixels inside the install button."""
    xs, ys = [], []
    for y in range(330, 363):
        for x in range(470, 565):
            if gui.is_white(shot.px(x, y)):
                xs.append(x)
                ys.append(y)
    return (min(xs), min(ys), max(xs), max(ys)) if xs else None


def check_box_state(shot, art):
    if gui.mismatches(shot, art[143], 20, 348) == 0:
        return "ticked"
    if gui.mismatches(shot, art[144], 20, 348) == 0:
        return "empty"
    return None


def ink_columns(shot, rows, x0=0, x1=600):
    """Columns holding pixels of black text in the given rows."""
    return [x for x in range(x0, x1) if any(gui.is_ink(shot.px(x, y)) for y in rows)]


def longest_run(shot, y, colour, x0=0, x1=600):
    """(start, length) of the longest run of exactly colour on row y."""
    best, start = (0, 0), None
    for x in range(x0, x1 + 1):
        if x < x1 and shot.px(x, y) == colour:
            if start is None:
                start = x
        elif start is not None:
            if x - start > best[1]:
                best = (start, x - start)
            start = None
    return best


def change_path_region(shot):
    """The change-path label's region (x, 328, Wc, Hc) from its underline: a solid run of link orange
    on row 328 + Hc from x to x + Wc - 1."""
    for y in range(329, 352):
        start, length = longest_run(shot, y, LINK_ORANGE, 25, 600)
        if length >= 20:
            return (start, 328, length, y - 328)
    return None


def agreement_region(shot):
    """The agreement link's region (41 + Wp, 353, Wl, Hl) from its black underline on row 353 + Hp."""
    for y in range(354, 380):
        start, length = longest_run(shot, y, (0, 0, 0), 42, 460)
        if length >= 20:
            return (start, 353, length, y - 353)
    return None


def idle_screen(shot, art):
    """The idle screen's state when it is showing: button, box and measured regions; else None."""
    button = button_state(shot, art)
    box = check_box_state(shot, art)
    change = change_path_region(shot)
    link = agreement_region(shot)
    if not (button and box and change and link):
        return None
    return {"button": button, "box": box, "change": change, "link": link}


def describe(shot, art):
    """What the idle-screen reader finds on a shot, for a failure message."""
    return "install button %s, check box %s, change-path underline %s, agreement underline %s" % (
        button_state(shot, art) or "not bitmap 134/142 under its white caption",
        check_box_state(shot, art) or "not bitmap 143/144",
        change_path_region(shot) or "not found", agreement_region(shot) or "not found")


def progress_screen(shot, art):
    """Fill width when the progress screen is showing (bar there, no install button, text), else None."""
    fill = winlab.bar_fill(shot, art[139], art[138])
    if fill is None:
        return None
    if any(shot.px(x, y) != PANEL for y in range(326, 348) for x in range(460, 574)):
        return None  # a button (or anything else) where the progress screen has only panel
    if not ink_columns(shot, range(328, 341), 20, 200):
        return None
    return fill


# ---------------------------------------------------------------------------------------------------------
# The run: display, wine, installers, scratch space
# ---------------------------------------------------------------------------------------------------------

class Suite:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.work = os.path.join(self.build, "gui")
        self.shots = os.path.join(self.work, "shots")
        self.failures = os.path.join(self.work, "failures")
        os.makedirs(self.shots, exist_ok=True)
        # One run at a time per build tree: the runs would share the prefix, its folders and the caches.
        self.lock = open(os.path.join(self.work, ".lock"), "w")
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            print("gui tests: waiting for another run on %s to end" % self.build, flush=True)
            fcntl.flock(self.lock, fcntl.LOCK_EX)
        shutil.rmtree(self.failures, ignore_errors=True)
        self.tree = winlab.BuildTree(self.build)
        self.setup = self.tree.setup
        self.stage = self.tree.sample_stage
        self.mkinstaller = self.tree.mkinstaller
        self.prefix = os.path.join(self.build, "wineprefix-gui")
        for path in (self.tree.stub, self.setup, self.mkinstaller):
            if not os.path.exists(path):
                raise SystemExit("gui tests: %s is missing: run make first" % path)
        self.art = Art()
        self.scratch = tempfile.mkdtemp(prefix="jt-gui-")
        self.running = []
        self.helpers = []   # other programs of a scenario (a file holder), ended by clean()
        self.mounts = []    # volumes a scenario mounted, unmounted by clean()
        self.hold_file = os.path.join(self.build, winlab.RUN_TREE, "tests", "install", "hold_file.exe")
        self.display = self.wine = None
        self.code_page = None
        self.kept = {}   # name -> {code page: image}, compared between the code pages at the end

    # -- set-up ------------------------------------------------------------------------------------------
    def start(self):
        gui.ensure_tools()
        winlab.make_prefix(self.prefix)
        self.make_helper()
        self.make_big_installer()
        self.display = gui.Display(log=os.path.join(self.scratch, "xvfb.log"))
        self.use_code_page(*CODE_PAGES[0])
        self.desktop = self.wine.desktop()
        self.program_files = os.path.join(self.wine.drive_c, PROGRAM_FILES)
        self.default_dir = os.path.join(self.program_files, PRODUCT_DIR)
        self.target_name = "jt-gui-%d" % os.getpid()
        self.target_dir = os.path.join(self.wine.drive_c, self.target_name)
        # A folder whose path, C:\ and this name, is LONG_FOLDER_CHARS characters long.
        self.long_name = (self.target_name + "-" + LONG_FOLDER_FILLER * 8)[:LONG_FOLDER_CHARS - 3]
        self.long_dir = os.path.join(self.wine.drive_c, self.long_name)
        for name in os.listdir(self.wine.drive_c):  # left by an interrupted run
            if name.startswith("jt-gui-"):
                shutil.rmtree(os.path.join(self.wine.drive_c, name), ignore_errors=True)
        self.browser_log = os.path.join(self.scratch, "browser.log")
        browser = os.path.join(self.work, "browser.sh")
        with open(browser, "w") as f:
            f.write("#!/bin/sh\n# The tests' web browser: notes the address it was asked to open.\n"
                    '[ -n "$JT_GUI_URL_LOG" ] && printf "%s\\n" "$*" >>"$JT_GUI_URL_LOG"\nexit 0\n')
        os.chmod(browser, 0o755)
        self.wine.run(["reg", "add", "HKCU\\Software\\Wine\\WineBrowser", "/v", "Browsers", "/t", "REG_SZ",
                       "/d", browser, "/f"])

    def use_code_page(self, code_page, locale):
        """Runs what follows under a wineserver started with this locale, in the same prefix."""
        if self.wine:
            self.clean()
            self.wine.close()
        self.wine = gui.Wine(self.prefix, self.display, locale=locale)
        self.code_page = code_page

    def keep_shot(self, name, image):
        """Saves a screenshot for a look and keeps it for the comparison between the code pages."""
        image.save_png(os.path.join(self.shots, "%s-cp%s.png" % (name, self.code_page)))
        self.kept.setdefault(name, {})[self.code_page] = image

    def make_helper(self):
        source = os.path.join(TOP, "tests", "gui", "wintext.cpp")
        self.helper = os.path.join(self.work, "wintext-%s.exe" % winlab.RUN_ARCH)
        if not os.path.exists(self.helper) or os.path.getmtime(self.helper) < os.path.getmtime(source):
            subprocess.run([winlab.MINGW_CXX, "-O2", "-static", "-s", "-o", self.helper, source], check=True)

    def make_big_installer(self):
        self.big = os.path.join(self.work, "big-setup.exe")
        self.blobs = winlab.padded_installer(self.tree, self.big, os.path.join(self.work, "big-stage"), BIG_FILES,
                                             BIG_FILE_SIZE, BIG_SEED,
                                             say=lambda text: print("gui tests: " + text, flush=True))

    def close(self):
        for inst in self.running:
            inst.kill()
        if self.wine:
            self.clean()
            self.wine.close()
        if self.display:
            self.display.close()
        if os.path.isdir(self.failures):  # the logs of a failed run, beside its screenshots
            for name in os.listdir(self.scratch):
                if name.endswith((".log", ".out")):
                    shutil.copy(os.path.join(self.scratch, name), self.failures)
        if getattr(self, "keep", False):
            print("scratch kept: " + self.scratch)
        else:
            shutil.rmtree(self.scratch, ignore_errors=True)
        self.lock.close()

    # -- between scenarios -------------------------------------------------------------------------------
    def clean(self):
        """No installer or held file, no sample program running, nothing installed, no shortcuts, no logs."""
        for inst in self.running:
            inst.kill()
        self.running = []
        for proc in self.helpers:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
        self.helpers = []
        for w in self.windows().tops if self.wine else []:
            if w["text"] in SAMPLE_TITLES:
                self.wine.run([self.helper, "close", str(w["hwnd"])])
        if self.wine:
            wait_for("the sample programs to close", lambda: not any(
                w["text"] in SAMPLE_TITLES for w in self.windows().tops), 10)
        for path in (self.default_dir, self.target_dir, self.long_dir):
            if os.path.islink(path):
                os.remove(path)
            elif os.path.isdir(path):
                shutil.rmtree(path)
            elif os.path.lexists(path):
                os.remove(path)
        for link in (CASHIER_LINK, SERVICE_LINK):
            path = os.path.join(self.desktop, link)
            if os.path.lexists(path):
                os.remove(path)
        for volume in self.mounts:
            subprocess.run(["umount", volume], check=False)
        self.mounts = []
        for log in ("programs.log", "browser.log"):
            path = os.path.join(self.scratch, log)
            if os.path.exists(path):
                os.remove(path)

    # -- helpers for the scenarios -----------------------------------------------------------------------
    def installer(self, exe=None, programs_stay=False):
        """Starts an installer and waits for its first idle paint. The programs it starts log their start and
        exit at once, unless programs_stay: then they keep running, as a restaurant's cashier does."""
        env = {"JT_SAMPLE_LOG": winlab.windows_path(os.path.join(self.scratch, "programs.log")),
               "JT_GUI_URL_LOG": self.browser_log}
        if not programs_stay:
            env["JT_SAMPLE_EXIT"] = "1"
        inst = gui.Installer(self.wine, exe or self.setup, env=env,
                             log=os.path.join(self.scratch, "installer-%d.out" % len(self.running)))
        self.running.append(inst)
        inst.idle = None
        try:
            shot = inst.wait_shot("the first idle paint", lambda s: idle_screen(s, self.art) is not None)
        except gui.Timeout:
            raise Fail("no idle screen within 10 s: " + describe(inst.shot(), self.art))
        inst.idle = idle_screen(shot, self.art)
        inst.first_shot = shot
        return inst

    def windows(self):
        return gui.WindowList(self.wine.output([self.helper]))

    def restore(self, inst):
        tops = self.windows().titled(TITLE)
        check(tops, "no installer window to restore")
        self.wine.run([self.helper, "restore", str(tops[0]["hwnd"])])

    def state_of(self, title=TITLE):
        tops = self.windows().titled(title)
        return tops[0]["state"] if tops else None

    def message_box(self, caption):
        """The message box with this caption: its static text, its OK button's rectangle, its place in the
        z-order (0 = topmost)."""
        tops = self.windows().tops
        for i, w in enumerate(tops):
            if w["text"] == caption and w["class"] == "#32770":
                texts = [c["text"] for c in w["children"] if c["class"].lower() == "static" and c["text"]]
                buttons = [c for c in w["children"] if c["class"].lower() == "button"]
                return {"texts": texts, "buttons": buttons, "z": i, "rect": w["rect"],
                        "installer_z": next((j for j, t in enumerate(tops) if t["text"] == TITLE), None)}
        return None

    def picker(self):
        """The folder picker, when open: its window and controls."""
        for w in self.windows().tops:
            if any(c["text"] == PICKER_TEXT for c in w["children"]):
                return w
        return None

    def click_screen_rect_centre(self, rect):
        left, top, right, bottom = rect
        self.display.click((left + right) // 2, (top + bottom) // 2)

    def programs_log(self):
        path = os.path.join(self.scratch, "programs.log")
        if not os.path.exists(path):
            return []
        with open(path, "rb") as f:
            text = f.read().decode("utf-8")
        return [line.split("\t") for line in text.splitlines() if line]

    def urls(self):
        if not os.path.exists(self.browser_log):
            return []
        with open(self.browser_log) as f:
            return [line.strip() for line in f if line.strip()]

    def save_failure_shot(self, name):
        if self.display:
            try:
                os.makedirs(self.failures, exist_ok=True)
                self.display.screenshot().save_png(os.path.join(self.failures, name + ".png"))
                return os.path.join(self.failures, name + ".png")
            except Exception:  # the failure itself is what matters
                return None
        return None


def same_tree(a, b):
    """Differences between two directory trees, by name and by content (empty when they are equal)."""
    diffs = []

    def walk(root):
        out = {}
        for dirpath, dirnames, filenames in os.walk(root):
            rel = os.path.relpath(dirpath, root)
            for d in dirnames:
                out[os.path.normpath(os.path.join(rel, d))] = "dir"
            for f in filenames:
                out[os.path.normpath(os.path.join(rel, f))] = "file"
        return out

    left, right = walk(a), walk(b)
    for name in sorted(set(left) | set(right)):
        if left.get(name) != right.get(name):
            diffs.append("%s: %s vs %s" % (name, left.get(name, "missing"), right.get(name, "missing")))
        elif left[name] == "file" and not filecmp.cmp(os.path.join(a, name), os.path.join(b, name), shallow=False):
            diffs.append(name + ": contents differ")
    return diffs


def check_shortcut(s, link, target, work_dir):
    """The shortcut's target, working directory and comment. Wine's shell link keeps the target only in the
    system's ANSI code page (its Unicode fields are the working directory and the comment), so under a code
    page without the product's characters the target reads back with '?' in their place."""
    fields = gui.shortcut_fields(link, s.code_page)
    check(fields.get("Local path") == gui.ansi_form(target, s.code_page),
          "the shortcut points at %r" % fields.get("Local path"))
    check(fields.get("Working directory") == work_dir, "the shortcut starts in %r" % fields.get("Working directory"))
    check(fields.get("Description") == SHORTCUT_COMMENT, "the shortcut's comment is %r" % fields.get("Description"))


def win_dir(linux_dir, drive_c):
    """C:\\... form of a folder under drive_c."""
    return "C:\\" + os.path.relpath(linux_dir, drive_c).replace("/", "\\")


# ---------------------------------------------------------------------------------------------------------
# Scenarios
# ---------------------------------------------------------------------------------------------------------

def first_paint(s):
    """The window as it first appears: size, place, no frame, background, panel, button, texts, box."""
    inst = s.installer()
    shot = inst.first_shot
    art = s.art

    x, y = inst.origin
    check(inst.size == (600, 400), "window is %dx%d, not 600x400" % inst.size)
    check(inst.border == 0, "the X window has a border of %d" % inst.border)
    check((x, y) == ((winlab.SCREEN_W - 600) // 2, (winlab.SCREEN_H - 400) // 2),
          "window at %d,%d, not centred on the 1024x768 screen" % (x, y))
    check(s.windows().titled(TITLE), "no top-level window with the title " + TITLE)

    # No caption or frame: the whole 600 x 400 area is the painted picture, starting at its top-left
    # pixel with bitmap 130; the close and minimise boxes sit on it at their places.
    bg = art[130]
    boxes = [(565, 10, art[140]), (535, 10, art[141])]

    def on_box(px, py):
        return any(bx <= px < bx + b.width and by <= py < by + b.height for bx, by, b in boxes)

    banner_bad = sum(1 for py in range(305) for px in range(600)
                     if not on_box(px, py) and shot.px(px, py) != bg.px(px, py))
    check(banner_bad == 0, "%d pixels of the banner (rows 0-304) differ from bitmap 130" % banner_bad)
    for bx, by, b in boxes:
        bad = gui.mismatches(shot, b, bx, by)
        check(bad == 0, "%d pixels of the box at (%d,%d) differ from its bitmap" % (bad, bx, by))

    # The panel: flat (235,235,235) where nothing is drawn, and most of rows 305-399 overall.
    blank_rows = list(range(305, 326)) + list(range(372, 400))
    not_panel = [(px, py) for py in blank_rows for px in range(600) if shot.px(px, py) != PANEL]
    check(not not_panel, "rows above and below the controls are not flat panel, e.g. at %s" % (not_panel[:3],))
    panel = sum(1 for py in range(305, 400) for px in range(600) if shot.px(px, py) == PANEL)
    check(panel >= 0.7 * 600 * 95, "only %d of %d panel pixels are (235,235,235)" % (panel, 600 * 95))

    # The install button: bitmap 134 with the white caption centred in (460, 326, 113, 42).
    check(button_state(shot, art) == "normal", "the install button does not show bitmap 134 with its caption")
    box = caption_box(shot)
    check(box is not None, "no white caption pixels on the install button")
    cx = (box[0] + box[2]) / 2
    cy = (box[1] + box[3]) / 2
    check(abs(cx - (460 + 113 / 2)) <= 3 and abs(cy - (326 + 42 / 2)) <= 4,
          "caption centre (%.1f, %.1f) is not the button's centre" % (cx, cy))

    # The directory line: dark text from x 25 on rows 328-340, ending 10 pixels before the change-path
    # label, whose orange underline is measured.
    change = inst.idle["change"]
    text = ink_columns(shot, range(328, 341), 0, change[0])
    check(text, "no text pixels on the directory row")
    # The label is drawn at 25 + W + 10 (W: the line's measured width), so the line's cell is
    # 25 .. change[0] - 10; its ink starts within the first character's bearing.
    line_end = change[0] - 10
    check(25 <= text[0] <= 28, "the directory line's ink starts at x %d, not at 25" % text[0])
    check(text[-1] < line_end, "the directory line's ink runs past its measured width (to x %d)" % text[-1])
    check(line_end - text[-1] <= 6, "the directory line's ink ends %d pixels before its cell" % (line_end - text[-1]))
    check(not ink_columns(shot, range(305, 400), 0, 20), "text pixels left of the directory line")
    label = [px for px in range(change[0], change[0] + change[2])
             if any(shot.px(px, py) != PANEL and shot.px(px, py)[0] > shot.px(px, py)[2] + 60
                    for py in range(328, 328 + change[3]))]
    check(len(label) >= change[2] // 2, "the change-path label has no orange text above its underline")

    # The agreement: the ticked box (bitmap 143) and the sentence with only its link underlined.
    check(check_box_state(shot, art) == "ticked", "the agreement box does not show bitmap 143 (ticked)")
    link = inst.idle["link"]
    sentence = ink_columns(shot, range(353, 353 + link[3]), 41, 460)
    check(sentence and 41 <= sentence[0] <= 44, "the agreement sentence does not start at x 41")
    check(sentence[-1] <= link[0] + link[2] + 1 and sentence[-1] >= link[0] + link[2] - 4,
          "the sentence does not end where its underlined link ends")
    check(link[0] - 41 > link[2], "the underline starts at x %d: not only the link part is underlined" % link[0])

    s.keep_shot("idle", shot)
    inst.click(*centre(CLOSE_BOX))
    inst.wait_exit(15)


def full_installation(s):
    """A click on the install button installs the payload, links and starts the cashier, and ends."""
    inst = s.installer()
    inst.click(*centre(INSTALL_BUTTON))
    code = inst.wait_exit(60)
    check(code == 0, "the installer exited with %s" % code)
    check(not s.display.windows_named("^%s$" % TITLE), "a window titled %s is still there" % TITLE)

    check(os.path.isdir(s.default_dir), "nothing installed in " + s.default_dir)
    diffs = same_tree(s.stage, s.default_dir)
    check(not diffs, "installed tree differs from the payload: " + "; ".join(diffs[:5]))

    link = os.path.join(s.desktop, CASHIER_LINK)
    check(os.path.isfile(link), CASHIER_LINK + " is not on the desktop " + s.desktop)
    check(not os.path.lexists(os.path.join(s.desktop, SERVICE_LINK)), SERVICE_LINK + " made for option flags 0")
    install_dir = win_dir(s.default_dir, s.wine.drive_c)
    check_shortcut(s, link, install_dir + "\\" + CASHIER, install_dir + "\\")

    lines = wait_for("the cashier program's log line", s.programs_log, timeout=15)
    check(len(lines) == 1, "expected one program started, got %r" % lines)
    module, cwd, show = lines[0][:3]
    check(module == install_dir + "\\" + CASHIER, "started %r" % module)
    check(cwd == install_dir, "the cashier started in %r" % cwd)
    check(show == "3", "the cashier was started with show command %s, not 3 (maximised)" % show)


def agreement_cleared(s):
    """Double click, click: the box is cleared. Then the install click only redraws the button; ticked
    again, it installs."""
    art = s.art
    inst = s.installer()
    # A double click toggles twice (its second press comes as a double-click message, its release as an
    # ordinary one), so with the single click after it the box ends empty and stays so.
    inst.double_click(*centre(CHECK_BOX))
    inst.click(*centre(CHECK_BOX))
    inst.wait_shot("the empty box (bitmap 144)", lambda sh: check_box_state(sh, art) == "empty", 5)
    check(stays(lambda: check_box_state(inst.shot(), art) == "empty", 0.6),
          "a double and a single click on the ticked box did not leave it empty")

    inst.press(*centre(INSTALL_BUTTON))
    held = inst.wait_shot("the pressed button (bitmap 142) while held", lambda sh: button_state(sh, art) == "pressed", 5)
    check(check_box_state(held, art) == "empty", "the box changed while the button was held")
    inst.release()
    shot = inst.wait_shot("the normal button after the release", lambda sh: button_state(sh, art) == "normal", 5)
    check(idle_screen(shot, art) is not None, "not on the idle screen after the refused click")
    still = stays(lambda: inst.alive() and not os.path.exists(s.default_dir)
                  and (lambda sh: idle_screen(sh, art) and check_box_state(sh, art) == "empty")(inst.shot()))
    check(still, "the refused install click changed something (screen, process or files)")

    inst.click(*centre(CHECK_BOX))
    inst.wait_shot("the ticked box again", lambda sh: check_box_state(sh, art) == "ticked", 5)
    inst.click(*centre(INSTALL_BUTTON))
    check(inst.wait_exit(60) == 0, "the installer did not end well after installing")
    diffs = same_tree(s.stage, s.default_dir)
    check(not diffs, "installed tree differs from the payload: " + "; ".join(diffs[:5]))
    check(os.path.isfile(os.path.join(s.desktop, CASHIER_LINK)), "no cashier shortcut after the installation")
    lines = wait_for("the cashier program's log line", s.programs_log, timeout=15)
    check([l[2] for l in lines] == ["3"], "programs started: %r" % lines)


def damaged_installer(s):
    """A broken trailer: the message shows in front of the progress screen; OK returns to idle."""
    art = s.art
    exe = os.path.join(s.scratch, "setup-damaged.exe")
    shutil.copyfile(s.setup, exe)
    size = os.path.getsize(exe)
    with open(exe, "r+b") as f:  # the trailer's directory offset, made negative
        f.seek(size - 9)
        f.write(b"\xff\xff\xff\xff")
    verify = subprocess.run([s.mkinstaller, "verify", exe], capture_output=True)
    check(verify.returncode != 0, "mkinstaller verify accepts the broken copy; the test would prove nothing")

    inst = s.installer(exe)
    inst.click(*centre(INSTALL_BUTTON))
    box = wait_for("the message box captioned setup-damaged", lambda: s.message_box("setup-damaged"), 15)
    check(box["texts"] == [MSG_DAMAGED], "the message box says %r" % box["texts"])
    check(len(box["buttons"]) == 1, "the message box has %d buttons, not one OK" % len(box["buttons"]))
    check(box["installer_z"] is not None and box["z"] < box["installer_z"], "the message box is not in front")
    shot = inst.shot()
    fill = progress_screen(shot, art)
    check(fill == 0, "behind the message the window does not show the progress screen at 0 (fill %r)" % fill)
    check(stays(lambda: s.message_box("setup-damaged") is not None and progress_screen(inst.shot(), art) == 0, 0.5),
          "the progress screen or the box went away before OK")

    s.click_screen_rect_centre(box["buttons"][0]["rect"])
    wait_for("the message box to close", lambda: s.message_box("setup-damaged") is None, 5)
    back = inst.wait_shot("the idle screen after OK", lambda sh: idle_screen(sh, art) is not None, 5)
    check(button_state(back, art) == "normal", "the install button is not back")
    check(inst.alive(), "the installer ended after the damaged-installer message")
    check(not os.path.exists(s.default_dir), "something was written to " + s.default_dir)
    check(not os.path.lexists(os.path.join(s.desktop, CASHIER_LINK)), "a shortcut was made")
    check(not s.programs_log(), "a program was started")
    inst.click(*centre(CLOSE_BOX))
    inst.wait_exit(15)


def failure_box(s, caption, reason, timeout=20):
    """The failure box: the first line as it always was, the second saying why (wintext shows the line break
    as a space); reason is what the second line begins with."""
    box = wait_for("the message box captioned " + caption, lambda: s.message_box(caption), timeout)
    check(len(box["texts"]) == 1 and box["texts"][0].startswith(MSG_FAILED + " " + reason),
          "the message box says %r, not %s and %s..." % (box["texts"], MSG_FAILED, reason))
    check(len(box["buttons"]) == 1, "the failure box has %d buttons, not one OK" % len(box["buttons"]))
    return box


def choose_folder(s, inst, change, name):
    """Chooses C:\<name> (an existing folder) in the folder picker, opened by a click on the change-path
    label at region change.

    Wine's picker (8.0) does not read a path typed into its edit box: OK returns the folder selected in the
    tree. The folder is therefore chosen with the keyboard in the tree, whose selection the edit box then
    shows: My Computer, Right (open it), Down (drive C:), Right (open it), then the folder's name, found by the
    tree's type-ahead (its first 24 characters, enough to tell it from its neighbours here)."""
    inst.click(*centre(change))
    picker = wait_for("the folder picker", s.picker, 10)
    check(any(c["class"].lower() == "edit" for c in picker["children"]), "the picker has no edit box")
    windows = s.display.windows_named("^%s$" % picker["text"], pid=inst.proc.pid)
    check(windows, "the picker has no X window")
    s.display.focus(windows[0])

    def edit_text():
        p = s.picker()
        edits = [c["text"] for c in p["children"] if c["class"].lower() == "edit"] if p else []
        return edits[0] if edits else None

    # The last item is My Computer under the Chinese texts; the English ones sort Trash after it.
    s.display.key("End")
    for _ in range(3):
        if edit_text() in MY_COMPUTER_TEXTS:
            break
        s.display.key("Up")
    wait_for("My Computer selected in the picker", lambda: edit_text() in MY_COMPUTER_TEXTS, 5)
    s.display.key("Right")
    s.display.key("Down")
    wait_for("drive C: selected in the picker", lambda: "C:" in (edit_text() or ""), 5)
    s.display.key("Right")
    s.display.type(name[:24])
    wait_for("%s selected in the picker" % name, lambda: edit_text() == name, 5)
    s.display.key("Return")
    wait_for("the picker to close", lambda: s.picker() is None, 5)


def unwritable_folder(s):
    """The default folder cannot be made: the failure message over the idle screen, a folder chosen
    in the picker, and the retry installs there."""
    art = s.art
    blocker = s.default_dir
    with open(blocker, "w") as f:  # a file where the folder should go: root ignores permissions
        f.write("in the way\n")
    inst = s.installer()
    before = inst.idle["change"]
    inst.click(*centre(INSTALL_BUTTON))
    box = failure_box(s, "setup", REASON_IN_THE_WAY)
    check(win_dir(blocker, s.wine.drive_c) in box["texts"][0], "the box does not name %s" % blocker)
    check(box["z"] < box["installer_z"], "the message box is not in front of the window")
    inst.wait_shot("the idle screen behind the message", lambda sh: idle_screen(sh, art) is not None, 5)
    check(s.message_box("setup") is not None, "the message box went away by itself")
    s.click_screen_rect_centre(box["buttons"][0]["rect"])
    wait_for("the message box to close", lambda: s.message_box("setup") is None, 5)
    check(os.path.isfile(blocker), "the file in the way was replaced")

    os.makedirs(s.target_dir)
    choose_folder(s, inst, before, s.target_name)

    def moved(sh):
        idle = idle_screen(sh, art)
        return idle and idle["change"][0] != before[0]
    shot = inst.wait_shot("the directory line repainted with the new folder", moved, 5)
    after = idle_screen(shot, art)["change"]
    check(after[0] < before[0], "the shorter directory line did not move the label left (%d -> %d)"
          % (before[0], after[0]))
    check(after[2:] == before[2:], "the change-path label changed size")

    inst.click(*centre(INSTALL_BUTTON))
    check(inst.wait_exit(60) == 0, "the retry did not end the installer")
    diffs = same_tree(s.stage, s.target_dir)
    check(not diffs, "the tree in the chosen folder differs from the payload: " + "; ".join(diffs[:5]))
    install_dir = "C:\\" + s.target_name
    lines = wait_for("the cashier program's log line", s.programs_log, timeout=15)
    check([l[:3] for l in lines] == [[install_dir + "\\" + CASHIER, install_dir, "3"]],
          "programs started: %r" % lines)
    check_shortcut(s, os.path.join(s.desktop, CASHIER_LINK), install_dir + "\\" + CASHIER, install_dir + "\\")
    check(os.path.isfile(blocker), "the file in the way did not stay a file")


def close_and_minimise(s):
    """Idle: minimise, close and Escape work. Installing: close box, check box, change-path, Escape and
    Return do nothing, minimise works; the screenshot of the progress screen is kept."""
    art = s.art
    # Idle: minimise, restore, close.
    inst = s.installer()
    inst.click(*centre(MINIMISE_BOX))
    wait_for("the window minimised", lambda: s.state_of() == "iconic", 5)
    x, y, w, h, _ = s.display.geometry(inst.window)
    check((w, h) != (600, 400), "the minimised window still covers 600x400")
    screen = s.display.screenshot()
    shown = sum(1 for py in range(184, 184 + 305, 7) for px in range(212, 812, 7)
                if screen.px(px, py) == art[130].px(px - 212, py - 184))
    check(shown < 50, "the banner is still on the screen after minimising (%d sample pixels)" % shown)
    s.restore(inst)
    inst.wait_shot("the idle screen after restoring", lambda sh: idle_screen(sh, art) is not None, 5)
    inst.click(*centre(CLOSE_BOX))
    check(inst.wait_exit(15) == 0, "the close box did not end the idle installer")
    check(not s.display.windows_named("^%s$" % TITLE), "the window is still there after the close box")
    check(not os.path.exists(s.default_dir), "closing installed something")

    # The keyboard reaches the dialog: Escape is its cancel, which ends it when idle.
    inst = s.installer()
    s.display.focus(inst.window)
    s.display.key("Escape")
    check(inst.wait_exit(15) == 0, "Escape did not end the idle installer")

    # Installing (the large payload): a directory put where its last file goes once the run has begun (too
    # late for the checks before the first write) makes it fail at its very end, so the idle screen comes
    # back and shows what the clicks during the run did.
    last = os.path.join(s.default_dir, "data", os.path.basename(s.blobs[-1]))
    inst = s.installer(s.big)
    change = inst.idle["change"]
    started = time.monotonic()
    inst.click(*centre(INSTALL_BUTTON))
    inst.wait_shot("the progress screen", lambda sh: progress_screen(sh, art) is not None, 10)
    # The programs, the first block's files, are written only after those checks.
    wait_for("the cashier program written", lambda: os.path.isfile(os.path.join(s.default_dir, CASHIER)), 20)
    os.makedirs(last)
    inst.click(*centre(CLOSE_BOX))
    inst.click(*centre(CHECK_BOX))
    inst.click(*centre(change))
    check(stays(lambda: inst.alive() and s.picker() is None
                and progress_screen(inst.shot(), art) is not None, 1.0),
          "a click on the close box, check box or change-path label acted during the installation")
    s.display.focus(inst.window)
    s.display.key("Escape", "Return")
    check(stays(lambda: inst.alive() and progress_screen(inst.shot(), art) is not None, 0.8),
          "Escape or Return acted during the installation")

    inst.click(*centre(MINIMISE_BOX))
    wait_for("the window minimised during the installation", lambda: s.state_of() == "iconic", 5)
    check(inst.alive(), "minimising ended the installer")
    s.restore(inst)
    part = inst.wait_shot("the progress screen with the bar partly filled",
                          lambda sh: 0 < (progress_screen(sh, art) or 0) < 553, 20)
    part.save_png(os.path.join(s.shots, "progress-cp%s.png" % s.code_page))
    s.keep_shot("progress-lead", part.crop(*PROGRESS_LEAD))

    box = failure_box(s, "big-setup", REASON_WRITE, 120)
    elapsed = time.monotonic() - started
    check(os.path.basename(last) in box["texts"][0], "the box does not name %s" % os.path.basename(last))
    shot = inst.wait_shot("the idle screen behind the message", lambda sh: idle_screen(sh, art) is not None, 5)
    idle = idle_screen(shot, art)
    check(idle["box"] == "ticked", "the check-box click during the installation changed the box")
    check(idle["change"] == change, "the directory line changed during the installation")
    check(s.picker() is None, "a folder picker is open: the change-path click acted during the installation")
    s.click_screen_rect_centre(box["buttons"][0]["rect"])
    wait_for("the message box to close", lambda: s.message_box("big-setup") is None, 5)
    for blob in s.blobs[:-1]:
        name = os.path.basename(blob)
        check(filecmp.cmp(blob, os.path.join(s.default_dir, "data", name), shallow=False),
              name + " was not written whole before the failure")
    inst.click(*centre(CLOSE_BOX))
    check(inst.wait_exit(15) == 0, "the close box did not end the installer after the failed run")
    print("     (the large installation ran %.1f s)" % elapsed)


def hit_regions(s):
    """A click on a region's far corner acts; one pixel right of it or below it does not."""
    art = s.art
    inst = s.installer()
    idle = inst.idle
    change, link = idle["change"], idle["link"]
    check(change[3] > 8 and link[3] > 8, "implausible text heights measured: %r %r" % (change, link))

    def outside(region):
        fx, fy = far_corner(region)
        return [(fx + 1, fy), (fx, fy + 1)]

    def box():
        return check_box_state(inst.shot(), art)

    # Check box: both corners toggle, the pixels beyond do nothing.
    for point in [CHECK_BOX[:2], far_corner(CHECK_BOX)]:
        was = box()
        inst.click(*point)
        wait_for("the box toggled by a click at %s" % (point,), lambda: box() not in (was, None), 5)
    for point in outside(CHECK_BOX):
        was = box()
        inst.click(*point)
        check(stays(lambda: box() == was, 0.6), "a click at %s toggled the box" % (point,))

    # Agreement link: the pixels beyond first, then the far corner, which opens the page once.
    for point in outside(link):
        inst.click(*point)
    inst.click(*far_corner(link))
    urls = wait_for("the agreement page opened", s.urls, 10)
    check(stays(lambda: len(s.urls()) == 1, 1.0), "more than one page opened: %r" % s.urls())
    check(urls[0].startswith("http://") and urls[0].endswith(AGREEMENT_TAIL), "opened %r" % urls[0])
    check(inst.alive(), "opening the agreement page ended the installer")

    # Change-path label: the far corner opens the picker (cancelled again), the pixels beyond do not.
    for point in outside(change):
        inst.click(*point)
        check(stays(lambda: s.picker() is None, 0.6), "a click at %s opened the folder picker" % (point,))
    inst.click(*far_corner(change))
    picker = wait_for("the folder picker", s.picker, 10)
    cancel = [c for c in picker["children"] if c["class"].lower() == "button" and c["text"] in CANCEL_TEXTS]
    check(cancel, "no cancel button in the picker")
    s.click_screen_rect_centre(cancel[0]["rect"])
    wait_for("the picker to close", lambda: s.picker() is None, 5)
    check(idle_screen(inst.shot(), art)["change"] == change, "cancelling the picker changed the directory")

    # Minimise box.
    for point in outside(MINIMISE_BOX):
        inst.click(*point)
    check(stays(lambda: s.state_of() == "normal", 0.6), "a click beside the minimise box minimised")
    inst.click(*far_corner(MINIMISE_BOX))
    wait_for("minimised by the box's far corner", lambda: s.state_of() == "iconic", 5)
    s.restore(inst)
    inst.wait_shot("the idle screen after restoring", lambda sh: idle_screen(sh, art) is not None, 5)

    # Close box.
    for point in outside(CLOSE_BOX):
        inst.click(*point)
    check(stays(inst.alive, 0.8), "a click beside the close box ended the installer")
    inst.click(*far_corner(CLOSE_BOX))
    check(inst.wait_exit(15) == 0, "the close box's far corner did not end the installer")

    # Install button, in a new run: beside it nothing, its far corner installs.
    inst = s.installer()
    for point in outside(INSTALL_BUTTON):
        inst.click(*point)
    check(stays(lambda: idle_screen(inst.shot(), art) is not None and not os.path.exists(s.default_dir), 0.8),
          "a click beside the install button started something")
    inst.click(*far_corner(INSTALL_BUTTON))
    check(inst.wait_exit(60) == 0, "the install button's far corner did not install")
    check(not same_tree(s.stage, s.default_dir), "the installation from the far corner is incomplete")


def long_folder(s):
    """A chosen folder of 97 characters: the directory line gives way, the change-path label stays whole
    left of the install button, and a click on it opens the picker again."""
    art = s.art
    inst = s.installer()
    before = inst.idle["change"]
    os.makedirs(s.long_dir)
    check(len("C:\\" + s.long_name) == LONG_FOLDER_CHARS, "the long folder is %d characters" % len(s.long_name))
    choose_folder(s, inst, before, s.long_name)

    def moved(sh):
        idle = idle_screen(sh, art)
        return idle and idle["change"][0] != before[0]
    try:
        shot = inst.wait_shot("the directory line repainted with the long folder", moved, 5)
    except gui.Timeout:
        raise Fail("no idle screen with the label moved after choosing the long folder: "
                   + describe(inst.shot(), art))
    s.keep_shot("long-folder", shot)
    change = idle_screen(shot, art)["change"]
    check(change[2:] == before[2:], "the change-path label changed size: %r -> %r" % (before, change))
    check(change[0] > before[0], "the longer folder did not move the label right (%d -> %d)" % (before[0], change[0]))
    # Both ends of the region are inside (x to x + width), and the install button's region is tested first.
    check(change[0] + change[2] < INSTALL_BUTTON[0],
          "the change-path region (%d to %d) reaches the install button at x %d"
          % (change[0], change[0] + change[2], INSTALL_BUTTON[0]))
    check(button_state(shot, art) == "normal", "the install button is not drawn whole with its caption")

    # The line, drawn shortened, fills its cell up to 10 pixels before the label and nothing of it runs on
    # under or past the label.
    text = ink_columns(shot, range(328, 341), 0, change[0])
    line_end = change[0] - 10
    check(text and 25 <= text[0] <= 28, "the directory line does not start at x 25")
    check(text[-1] < line_end and line_end - text[-1] <= 6,
          "the directory line's ink ends at x %d, its cell at %d" % (text[-1], line_end))
    check(not ink_columns(shot, range(328, 341), change[0] + change[2] + 1, INSTALL_BUTTON[0]),
          "text between the change-path label and the install button")

    # The label's far corner is where it is drawn, and a click there opens the picker; cancelled, nothing changes.
    inst.click(*far_corner(change))
    picker = wait_for("the folder picker from the moved label", s.picker, 10)
    cancel = [c for c in picker["children"] if c["class"].lower() == "button" and c["text"] in CANCEL_TEXTS]
    check(cancel, "no cancel button in the picker")
    s.click_screen_rect_centre(cancel[0]["rect"])
    wait_for("the picker to close", lambda: s.picker() is None, 5)
    check(stays(lambda: (idle_screen(inst.shot(), art) or {}).get("change") == change, 0.6),
          "cancelling the picker changed the directory line")
    inst.click(*centre(CLOSE_BOX))
    check(inst.wait_exit(15) == 0, "the close box did not end the installer")
    check(not os.listdir(s.long_dir), "something was written into the long folder")


# ---------------------------------------------------------------------------------------------------------
# Reinstalling over a product in use, and failures that must leave it as it was
# ---------------------------------------------------------------------------------------------------------

def tree_bytes(root):
    """Every file below root by its relative path, with its bytes."""
    out = {}
    for dirpath, _, filenames in os.walk(root):
        for name in filenames:
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                out[os.path.relpath(path, root)] = f.read()
    return out


def make_earlier(root, keep=()):
    """Turns the installed tree at root into an earlier version: every file but those named in keep (relative
    paths, e.g. a running program's) gets other bytes. Returns the tree's bytes as they are then."""
    for rel in tree_bytes(root):
        if rel not in keep:
            with open(os.path.join(root, rel), "wb") as f:
                f.write(b"earlier version of " + rel.encode("utf-8"))
    return tree_bytes(root)


def retry_box(s, caption, timeout=20):
    """The box that asks to close the programs holding files: its text, Retry and Cancel."""
    box = wait_for("the Retry/Cancel box captioned " + caption, lambda: s.message_box(caption), timeout)

    def button(words):
        found = [b for b in box["buttons"] if any(w in b["text"].replace("&", "") for w in words)]
        check(found, "the box has no %s button: %r" % (words[0], [b["text"] for b in box["buttons"]]))
        return found[0]
    box["retry"], box["cancel"] = button(RETRY_TEXTS), button(CANCEL_BOX_TEXTS)
    check(len(box["buttons"]) == 2, "the box has %d buttons, not Retry and Cancel" % len(box["buttons"]))
    return box


def answer(s, box, choice, caption):
    s.click_screen_rect_centre(box[choice]["rect"])
    wait_for("the box to close", lambda: s.message_box(caption) is None, 5)


def sample_window(s, title):
    tops = s.windows().titled(title)
    return tops[0] if tops else None


def reinstall_while_running(s):
    """Installing again while the cashier program runs: the box names it and nothing is written; Cancel
    leaves every file as it was; with the cashier closed, Retry installs every file new."""
    art = s.art
    inst = s.installer(programs_stay=True)
    inst.click(*centre(INSTALL_BUTTON))
    check(inst.wait_exit(60) == 0, "the first installation did not end well")
    cashier_title = os.path.splitext(CASHIER)[0]
    wait_for("the cashier program's window", lambda: sample_window(s, cashier_title), 15)
    earlier = make_earlier(s.default_dir, keep=(CASHIER,))

    inst = s.installer()
    inst.click(*centre(INSTALL_BUTTON))
    box = retry_box(s, "setup")
    # Wine's Restart Manager names no program, so the box names the file the program holds.
    held = win_dir(s.default_dir, s.wine.drive_c) + "\\" + CASHIER
    check(held in box["texts"][0], "the box does not name %s: %r" % (held, box["texts"]))
    check(box["z"] < box["installer_z"], "the box is not in front of the window")
    check(progress_screen(inst.shot(), art) == 0, "the progress screen at 0 is not behind the box")
    check(tree_bytes(s.default_dir) == earlier, "files changed while the box asked")

    answer(s, box, "cancel", "setup")
    inst.wait_shot("the idle screen after Cancel", lambda sh: idle_screen(sh, art) is not None, 5)
    check(stays(lambda: s.message_box("setup") is None and inst.alive(), 0.8), "Cancel did not end at the idle screen")
    check(tree_bytes(s.default_dir) == earlier, "Cancel left files changed")
    check(len(s.programs_log()) == 1, "a program was started: %r" % s.programs_log())

    # Again, and this time the technician closes the cashier before Retry.
    inst.click(*centre(INSTALL_BUTTON))
    box = retry_box(s, "setup")
    s.wine.run([s.helper, "close", str(sample_window(s, cashier_title)["hwnd"])])
    wait_for("the cashier program to close", lambda: sample_window(s, cashier_title) is None, 10)
    check(tree_bytes(s.default_dir) == earlier, "files changed before Retry")
    answer(s, box, "retry", "setup")
    check(inst.wait_exit(60) == 0, "the installer did not end after Retry")
    diffs = same_tree(s.stage, s.default_dir)
    check(not diffs, "after Retry the tree differs from the payload: " + "; ".join(diffs[:5]))
    wait_for("the new cashier program's log line", lambda: len(s.programs_log()) == 2, 15)


def held_data_file(s):
    """A data file another program holds: the box names it, nothing is written, Cancel changes nothing."""
    art = s.art
    inst = s.installer()
    inst.click(*centre(INSTALL_BUTTON))
    check(inst.wait_exit(60) == 0, "the first installation did not end well")
    earlier = make_earlier(s.default_dir)
    data = sorted(rel for rel in earlier if rel.startswith("data" + os.sep))
    check(data, "the sample has no file under data")
    path = os.path.join(s.default_dir, data[0])
    log = os.path.join(s.scratch, "holder.out")
    s.helpers.append(s.wine.start([s.hold_file, winlab.windows_path(path)], log=log))
    wait_for("the file held", lambda: os.path.exists(log) and b"holding" in open(log, "rb").read(), 15)

    inst = s.installer()
    inst.click(*centre(INSTALL_BUTTON))
    box = retry_box(s, "setup")
    named = win_dir(path, s.wine.drive_c)
    check(named in box["texts"][0], "the box does not name %s: %r" % (named, box["texts"]))
    answer(s, box, "cancel", "setup")
    inst.wait_shot("the idle screen after Cancel", lambda sh: idle_screen(sh, art) is not None, 5)
    check(tree_bytes(s.default_dir) == earlier, "files changed though one was held")
    inst.click(*centre(CLOSE_BOX))
    inst.wait_exit(15)


def small_volume(s):
    """An upgrade to a volume too small (a 6 MiB tmpfs where the product's folder is, 100 KiB of it left,
    less than the product): the box says how much is needed and free, nothing changes, and the volume is not
    filled."""
    art = s.art
    if os.geteuid() != 0:
        print("     skipped: mounting the small volume needs root")
        return
    volume = os.path.join(s.scratch, "small-volume")
    os.makedirs(volume, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=6m", "tmpfs", volume], check=True)
    s.mounts.append(volume)
    # The earlier version on the small volume, the product's folder leading there.
    product = os.path.join(volume, PRODUCT_DIR)
    shutil.copytree(s.stage, product)
    earlier = make_earlier(product)
    os.makedirs(os.path.dirname(s.default_dir), exist_ok=True)
    os.symlink(product, s.default_dir)
    # Room left: 100 KiB, less than the product's files take.
    room = os.statvfs(volume)
    with open(os.path.join(volume, "filler.bin"), "wb") as f:
        f.write(b"\0" * (room.f_bavail * room.f_frsize - (100 << 10)))
    free = os.statvfs(volume).f_bavail * os.statvfs(volume).f_frsize
    check(free < sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(s.stage) for f in fs),
          "the volume's %d free bytes would hold the product" % free)

    inst = s.installer()
    inst.click(*centre(INSTALL_BUTTON))
    box = failure_box(s, "setup", REASON_NO_ROOM)
    check(" MB" in box["texts"][0] and "%.1f MB" % (free / 1048576.0) in box["texts"][0],
          "the box does not say the %.1f MB free: %r" % (free / 1048576.0, box["texts"]))
    s.click_screen_rect_centre(box["buttons"][0]["rect"])
    wait_for("the message box to close", lambda: s.message_box("setup") is None, 5)
    inst.wait_shot("the idle screen after OK", lambda sh: idle_screen(sh, art) is not None, 5)
    check(tree_bytes(product) == earlier, "files changed on the small volume")
    after = os.statvfs(volume).f_bavail * os.statvfs(volume).f_frsize
    check(after == free, "the volume's free space went from %d to %d bytes" % (free, after))
    inst.click(*centre(CLOSE_BOX))
    inst.wait_exit(15)


def long_paths(s):
    """A folder under which the product's paths pass Windows' limit: the box says so, nothing is written."""
    art = s.art
    # The longest path of the product below its folder, in UTF-16 units, and a folder that takes the rest
    # of Windows' 259 and a few more.
    longest = max(len(os.path.relpath(os.path.join(d, f), s.stage).encode("utf-16-le")) // 2
                  for d, _, files in os.walk(s.stage) for f in files)
    # C:\ + name + \ + the longest path: 4 units over the 259 Windows takes for a file.
    name = s.target_name + "-" + "l" * (259 - 3 - 1 - longest + 4 - len(s.target_name) - 1)
    folder = os.path.join(s.wine.drive_c, name)
    os.makedirs(folder)
    try:
        inst = s.installer()
        choose_folder(s, inst, inst.idle["change"], name)
        inst.click(*centre(INSTALL_BUTTON))
        failure_box(s, "setup", REASON_PATH_TOO_LONG)
        check(os.listdir(folder) == [], "something was written in the long folder: %r" % os.listdir(folder))
        check(not os.path.exists(s.default_dir), "something was written to " + s.default_dir)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def killed_installation(s):
    """The installer killed at several moments of a long installation over an earlier version: every file is
    the earlier version or the new one, whole; the next complete installation leaves no temporary."""
    big_stage = os.path.dirname(os.path.dirname(s.blobs[0]))
    shutil.copytree(big_stage, s.default_dir)
    earlier = make_earlier(s.default_dir)
    new = tree_bytes(big_stage)
    mixed = []
    for delay in (0.5, 1.5, 3.0, 4.5):
        inst = s.installer(s.big)
        inst.click(*centre(INSTALL_BUTTON))
        time.sleep(delay)
        ended = not inst.alive()
        inst.kill()
        now = tree_bytes(s.default_dir)
        for rel, content in now.items():
            if os.path.basename(rel) == TEMPORARY:
                continue
            check(content in (earlier.get(rel), new.get(rel)),
                  "killed after %.1f s: %s is neither the earlier nor the new version (%d bytes)"
                  % (delay, rel, len(content)))
        check(set(r for r in now if os.path.basename(r) != TEMPORARY) == set(new),
              "killed after %.1f s: files missing or extra" % delay)
        mixed.append("%.1f s: %d new of %d%s" % (delay, sum(now[r] == new[r] for r in new), len(new),
                                                 ", ended by itself" if ended else ""))
    print("     (" + "; ".join(mixed) + ")")
    inst = s.installer(s.big)
    inst.click(*centre(INSTALL_BUTTON))
    check(inst.wait_exit(120) == 0, "the complete installation did not end well")
    diffs = same_tree(big_stage, s.default_dir)
    check(not diffs, "after the complete installation: " + "; ".join(diffs[:5]))


SCENARIOS = [first_paint, full_installation, agreement_cleared, damaged_installer, unwritable_folder,
             close_and_minimise, hit_regions, long_folder, reinstall_while_running, held_data_file, small_volume, long_paths,
             killed_installation]
# Scenarios whose texts and files do not depend on the system's code page (the boxes are drawn by wine's
# own wide calls either way): they run under the first code page only, to keep the suite short.
ONCE = {reinstall_while_running, held_data_file, small_volume, long_paths, killed_installation}


def same_pixels_under_every_code_page(s):
    """The idle screen, and the progress screen's text, are the same pixels under every code page."""
    check(s.kept, "no screenshots were kept to compare")
    for name, shots in sorted(s.kept.items()):
        check(len(shots) == len(CODE_PAGES), "%s: shot under code pages %s only" % (name, sorted(shots)))
        first = shots[CODE_PAGES[0][0]]
        for code_page, image in shots.items():
            differ = sum(1 for y in range(first.height) for x in range(first.width) if image.px(x, y) != first.px(x, y))
            check(differ == 0, "%s: %d pixels differ between code page %s and %s (BUILD/gui/shots/)"
                  % (name, differ, CODE_PAGES[0][0], code_page))


def run_scenario(suite, scenario, label):
    """One scenario from a clean state; prints its line and says whether it passed."""
    suite.clean()
    t0 = time.monotonic()
    try:
        scenario(suite)
    except Exception as error:  # a scenario's own failure, or a tool that broke under it
        picture = suite.save_failure_shot(label.split(" ")[0] + "-cp%s" % suite.code_page)
        print("FAIL %s (%.1f s): %s" % (label, time.monotonic() - t0, error), flush=True)
        if not isinstance(error, AssertionError):
            traceback.print_exc()
        if picture:
            print("     screen at the failure: " + picture)
        return False
    print("ok   %s (%.1f s)" % (label, time.monotonic() - t0), flush=True)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(TOP, "build"))
    parser.add_argument("--only", nargs="*", help="scenario names to run")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder (installer output, logs)")
    args = parser.parse_args()
    if args.list:
        for scenario in SCENARIOS:
            print("%-20s %s" % (scenario.__name__, scenario.__doc__.splitlines()[0]))
        return 0
    chosen = [sc for sc in SCENARIOS if not args.only or sc.__name__ in args.only]
    if args.only and len(chosen) != len(set(args.only)):
        parser.error("unknown scenario in %s" % args.only)

    # make's SIGTERM (or a CI timeout) still runs the clean-up below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    began = time.monotonic()
    suite = Suite(args.build)
    suite.keep = args.keep
    passed = failed = 0
    try:
        suite.start()
        print("gui tests on display %s, wine prefix %s" % (suite.display.name, suite.prefix), flush=True)
        for code_page, locale in CODE_PAGES:
            if code_page != suite.code_page:
                suite.use_code_page(code_page, locale)
            for scenario in chosen:
                if scenario in ONCE and code_page != CODE_PAGES[0][0]:
                    continue
                ok = run_scenario(suite, scenario, "%s [code page %s]" % (scenario.__name__, code_page))
                passed, failed = passed + ok, failed + (not ok)
        if len(CODE_PAGES) > 1 and first_paint in chosen and close_and_minimise in chosen:
            ok = run_scenario(suite, same_pixels_under_every_code_page, "same_pixels_under_every_code_page")
            passed, failed = passed + ok, failed + (not ok)
    finally:
        suite.close()
    print("%d passed, %d failed (%.0f s)" % (passed, failed, time.monotonic() - began))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
