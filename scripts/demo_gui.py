#!/usr/bin/env python3
"""The installer window part of `make demo`: runs the sample installer under wine and shows what it did.

    scripts/demo_gui.py BUILD_DIR

With DISPLAY set, the installer opens on that display and the user clicks through it; the demo goes on
once the installer and the cashier program it starts have ended. Without DISPLAY it runs on a private
Xvfb and clicks through by itself, saving the window's idle and progress screens (600 x 400 each) as
BUILD_DIR/demo/idle.png and BUILD_DIR/demo/progress.png. The sample installs in a blink, so the progress
picture comes from a second installer made for it: the sample's two programs plus 64 MB of incompressible
data, which keeps the progress screen up for a few seconds (BUILD_DIR/demo/setup-large.exe, packed again
only when the programs or the installer stub change; what it installs is removed again).

Either way it then shows where the files, the desktop shortcut and the started cashier program are, in
the project's wine prefix BUILD_DIR/wineprefix.
"""

import os
import shutil
import subprocess
import sys
import time

import winlab
from winlab import CASHIER, CASHIER_LINK, SERVICE_LINK
sys.path.insert(0, os.path.join(winlab.TOP, "tests", "gui"))
import gui  # noqa: E402

INSTALL_BUTTON_CENTRE = (516, 347)
PRODUCT_DIR = os.path.join(winlab.PROGRAM_FILES, winlab.PRODUCT_DIR)
# The large installer's padding: 4 files of 16 MB.
PADDING_FILES, PADDING_FILE_SIZE, PADDING_SEED = 4, 16 * 1024 * 1024, 1


def say(text=""):
    print(text, flush=True)


def tree(root):
    """The installed tree, indented, with file sizes."""
    lines = []
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames.sort()
        rel = os.path.relpath(dirpath, root)
        depth = 0 if rel == "." else rel.count(os.sep) + 1
        if rel != ".":
            lines.append("  " * (depth - 1) + "    " + os.path.basename(dirpath) + "/")
        for name in sorted(filenames):
            size = os.path.getsize(os.path.join(dirpath, name))
            lines.append("  " * depth + "    %s  (%d bytes)" % (name, size))
    return "\n".join(lines)


class Demo:
    def __init__(self, build):
        self.tree = winlab.BuildTree(build)
        self.out = os.path.join(self.tree.dir, "demo")
        os.makedirs(self.out, exist_ok=True)
        self.setup = self.tree.setup
        self.prefix = self.tree.prefix
        self.drive_c = os.path.join(self.prefix, "drive_c")
        self.install_dir = os.path.join(self.drive_c, PRODUCT_DIR)
        self.log = os.path.join(self.out, "programs.log")
        winlab.make_prefix(self.prefix)

    def desktop(self):
        return os.path.join(self.drive_c, "users", gui.user_name(), "Desktop")

    def clear_previous(self):
        """A fresh start: no earlier installation, shortcut or log, so what is shown is this run's."""
        if os.path.isdir(self.install_dir):
            shutil.rmtree(self.install_dir)
        for link in (CASHIER_LINK, SERVICE_LINK):
            path = os.path.join(self.desktop(), link)
            if os.path.lexists(path):
                os.remove(path)
        if os.path.exists(self.log):
            os.remove(self.log)

    # -- on the user's display -------------------------------------------------------------------------
    def interactive(self):
        say("== the installer on your display (%s)" % os.environ["DISPLAY"])
        say("   click 一键安装 to install the sample; the cashier program then starts maximised.")
        say("   Close the cashier program's window to go on with the demo.")
        self.clear_previous()
        env = winlab.wine_env(self.prefix)
        env["JT_SAMPLE_LOG"] = winlab.windows_path(self.log)
        subprocess.run([winlab.WINE, self.setup], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        # The cashier program starts as the installer ends and outlives it: wait for its start (when there
        # was an installation) and then until its window is closed.
        if os.path.isdir(self.install_dir):
            try:
                gui.wait_for("the cashier program's start", lambda: os.path.exists(self.log), timeout=15)
            except gui.Timeout:
                pass  # the report says so
        if os.path.exists(self.log):
            cashier = "^%s$" % os.path.splitext(CASHIER)[0]
            while subprocess.run(["xdotool", "search", "--name", cashier], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL).returncode == 0:
                time.sleep(0.5)
        self.report()

    # -- headless ----------------------------------------------------------------------------------------
    def headless(self):
        gui.ensure_tools()
        large = self.large_installer()
        display = gui.Display()
        wine = None
        runs = []
        say("== the installer window, clicked through on a private Xvfb (%s)" % display.name)
        try:
            # The project's prefix may be in use by other runs: no server of our own, nothing stopped.
            wine = gui.Wine(self.prefix, display, shared=True)
            env = {"JT_SAMPLE_LOG": winlab.windows_path(self.log), "JT_SAMPLE_EXIT": "1"}

            # The progress screen, from the large installer.
            self.clear_previous()
            run = gui.Installer(wine, large, env=env)
            runs.append(run)
            run.wait_shot("the idle screen", lambda s: s.px(*INSTALL_BUTTON_CENTRE) != gui.PANEL)
            run.click(*INSTALL_BUTTON_CENTRE)
            track, fill = (gui.read_bmp(os.path.join(winlab.TOP, "res", name))
                           for name in ("progress_track.bmp", "progress_fill.bmp"))
            best = []

            def half_filled():
                shot = run.shot()
                filled = winlab.bar_fill(shot, track, fill) or 0
                if 0 < filled < track.width:
                    best[:] = [shot]
                    return filled >= track.width * 2 // 5
                return not run.alive() and best

            gui.wait_for("the progress screen", half_filled, timeout=60)
            best[0].save_png(os.path.join(self.out, "progress.png"))
            say("   progress screen:  %s" % os.path.join(self.out, "progress.png"))
            run.wait_exit(120)
            # Its cashier program logs its start a moment later; that line is not the sample's.
            gui.wait_for("the large installer's cashier program", lambda: os.path.exists(self.log), timeout=15)

            # The sample installer itself: idle screen, one click, and what it left.
            self.clear_previous()
            run = gui.Installer(wine, self.setup, env=env)
            runs.append(run)
            idle = run.wait_shot("the idle screen", lambda s: s.px(*INSTALL_BUTTON_CENTRE) != gui.PANEL)
            idle.save_png(os.path.join(self.out, "idle.png"))
            say("   idle screen:      %s" % os.path.join(self.out, "idle.png"))
            say("   clicking 一键安装 in %s ..." % self.setup)
            started = time.monotonic()
            run.click(*INSTALL_BUTTON_CENTRE)
            code = run.wait_exit(120)
            say("   the installer installed and closed in %.1f s (exit code %d)" % (time.monotonic() - started, code))
            gui.wait_for("the cashier program's log line", lambda: os.path.exists(self.log), timeout=15)
        finally:
            for run in runs:
                run.kill()
            if wine:
                wine.close()
            display.close()
        self.report()

    def large_installer(self):
        exe = os.path.join(self.out, "setup-large.exe")
        winlab.padded_installer(self.tree, exe, os.path.join(self.out, "large-stage"), PADDING_FILES,
                                PADDING_FILE_SIZE, PADDING_SEED, say=lambda text: say("== " + text))
        return exe

    # -- what the installation left --------------------------------------------------------------------
    def report(self):
        say()
        windows_dir = "C:\\" + PRODUCT_DIR.replace("/", "\\")
        if not os.path.isdir(self.install_dir):
            say("== nothing was installed (the installer was closed without installing)")
            return
        say("== installed files: %s\\  =  %s/" % (windows_dir, self.install_dir))
        say(tree(self.install_dir))
        link = os.path.join(self.desktop(), CASHIER_LINK)
        say()
        if os.path.exists(link):
            say("== desktop shortcut: %s" % link)
            say("   target: %s" % (gui.shortcut_fields(link).get("Local path") or "(lnkinfo could not read it)"))
        else:
            say("== no desktop shortcut at %s" % link)
        say()
        if os.path.exists(self.log):
            with open(self.log, "rb") as f:
                lines = [l.split("\t") for l in f.read().decode("utf-8").splitlines() if l]
            for module, cwd, show, *_ in lines:
                state = {"3": "maximised", "1": "normal"}.get(show, "show command " + show)
                say("== started: %s" % module)
                say("   in %s, %s (show command %s; the sample program logs this line to %s)"
                    % (cwd, state, show, self.log))
        else:
            say("== the cashier program did not log a start (%s)" % self.log)


def main():
    if len(sys.argv) != 2:
        print("usage: scripts/demo_gui.py BUILD_DIR", file=sys.stderr)
        return 64
    demo = Demo(sys.argv[1])
    if os.environ.get("DISPLAY"):
        demo.interactive()
    else:
        demo.headless()
    return 0


if __name__ == "__main__":
    sys.exit(main())
