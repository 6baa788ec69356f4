#!/usr/bin/env python3
"""Side-by-side benchmark of the installer against its peers, on one realistic product.

    bench/bench.py --build BUILD_DIR --out RESULTS_DIR     (bench/run.sh installs the peers and runs this)

Inputs are generated once and cached under BUILD_DIR/bench/: the product tree (bench/make_product.py), the
installer packed at several block sizes (bench/splits.py; 128 MiB dictionary, the reference in two blocks),
each of the reference's blocks as a .lzma file, a .7z and a .tar.xz of the tree with the same LZMA settings,
the multi-threaded peers' archives (LZMA2 .7z and .tar.xz in blocks of pack's default split's size, a zstd
tarball), an NSIS installer of the tree, a ~65 MB part of the tree packed and as a .tar.xz, and the products
of the peak-memory table (bench/memory.py). Then every tool runs in each round, rounds interleaved with a
rotating start, and the table gives medians and their ratios; the splits' and the memory products'
extractions follow the rounds.
Absolute times depend on the machine and on what else runs on it; the ratios are the result.
"""
import argparse
import hashlib
import os
import platform
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import winlab  # noqa: E402
from benchlib import (MiB, PE_DIR, Cache, Timer, clean, log, med, out_of, product_tree, quick_tree_check,  # noqa: E402
                      ram_dir, read_payload, read_time, restub, run)
from memory import measure_memory, memory_products, memory_section, small_product  # noqa: E402
from splits import (SERIAL_ARGS, default_of, measure_splits, pack_with, serial_pack, split_packs,  # noqa: E402
                    split_section)

INSTALL_CLICK = (500, 345)          # the install button, in client coordinates
LZMA_SETTINGS = "lc 3, lp 0, pb 2, 128 MiB dictionary"


# NSIS's installer image for the Windows architecture this machine runs (its x86 image is Unicode already).
NSIS_TARGET = "x86-unicode" if winlab.RUN_ARCH == "i686" else "amd64-unicode"


def nsis_script(tree, out_exe):
    # The same tree, solid LZMA with a 128 MiB dictionary, and the same ending as the installer: a desktop
    # shortcut to the cashier program and its start.
    return "\n".join([
        "Target %s" % NSIS_TARGET,
        "SetCompressor /SOLID lzma",
        "SetCompressorDictSize 128",
        'Name "Bench"',
        'OutFile "%s"' % out_exe,
        'InstallDir "$PROGRAMFILES\\bench-nsis"',
        "RequestExecutionLevel user",
        "Section",
        '  SetOutPath "$INSTDIR"',
        '  File /r "%s/*"' % tree,
        '  CreateShortCut "$DESKTOP\\bench-nsis.lnk" "$INSTDIR\\%s"' % winlab.CASHIER,
        "  Exec '\"$INSTDIR\\%s\"'" % winlab.CASHIER,
        "SectionEnd",
        ""])


def check_built(build):
    for p in (build.mkinstaller, build.stub, os.path.join(build.programs, winlab.CASHIER)):
        if not os.path.exists(p):
            raise SystemExit("bench: %s is missing (make BUILD=%s all)" % (p, build.dir))


# The tar stream of the tree, the same bytes every time; the .tar.xz and .tar.zst compress it.
TAR_CREATE = "tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf - . "


def compressed_jobs(tree, tree_key, cache_dir):
    """The compressed forms of the tree, by name: (key, command, working directory, output). Each key is the
    tree's and the form's own settings; writes the NSIS script the nsis job compiles."""
    sevenz = os.path.join(cache_dir, "product.7z")
    txz = os.path.join(cache_dir, "product.tar.xz")
    nsis = os.path.join(cache_dir, "nsis-setup.exe")
    top = sorted(os.listdir(tree))
    script = nsis_script(tree, nsis + ".tmp")
    with open(os.path.join(cache_dir, "product.nsi"), "w") as f:
        f.write(script)
    return {
        "7z": (tree_key + " 7z lzma d=128m lc3 lp0 pb2 mx9 solid, no filters",
               ["7zz", "a", "-t7z", "-bd", "-mx=9", "-m0=LZMA:d=128m:lc=3:lp=0:pb=2", "-ms=on", "-mf=off",
                "-mmt=1", "-mtc=off", "-mta=off", "-mtm=off", sevenz + ".tmp"] + top, tree, sevenz),
        "txz": (tree_key + " tar sorted, xz lzma2 preset 9 dict 128MiB lc3 lp0 pb2",
                ["sh", "-c", TAR_CREATE + "| xz -z -c -T1 --lzma2=preset=9,dict=128MiB,lc=3,lp=0,pb=2 > '%s.tmp'"
                 % txz], tree, txz),
        "nsis": (tree_key + " " + hashlib.sha256(script.encode()).hexdigest(),
                 ["makensis", "-V2", "-INPUTCHARSET", "UTF8", os.path.join(cache_dir, "product.nsi")], None, nsis),
    }


def parallel_jobs(tree, tree_key, cache_dir, block_mib):
    """The peers that decode on several cores, as compressed_jobs: 7-Zip's LZMA2 and xz in independent blocks
    of the installer's default block size (same LZMA settings otherwise), and zstd -19 with a 128 MiB
    window, the fast-decoding reference at its own size."""
    sevenz = os.path.join(cache_dir, "product-mt.7z")
    txz = os.path.join(cache_dir, "product-mt.tar.xz")
    zst = os.path.join(cache_dir, "product.tar.zst")
    top = sorted(os.listdir(tree))
    return {
        "7z_mt": (tree_key + " 7z lzma2 d=128m c=%dm lc3 lp0 pb2 mx9 mmt2 solid, no filters" % block_mib,
                  ["7zz", "a", "-t7z", "-bd", "-mx=9", "-m0=LZMA2:d=128m:c=%dm:lc=3:lp=0:pb=2" % block_mib, "-ms=on",
                   "-mf=off", "-mmt=2", "-mtc=off", "-mta=off", "-mtm=off", sevenz + ".tmp"] + top, tree, sevenz),
        "txz_mt": (tree_key + " tar sorted, xz -T2 block %dMiB lzma2 preset 9 dict 128MiB lc3 lp0 pb2" % block_mib,
                   ["sh", "-c", TAR_CREATE + "| xz -z -c -T2 --block-size=%dMiB "
                    "--lzma2=preset=9,dict=128MiB,lc=3,lp=0,pb=2 > '%s.tmp'" % (block_mib, txz)], tree, txz),
        "zst": (tree_key + " tar sorted, zstd -19 --long=27",
                ["sh", "-c", TAR_CREATE + "| zstd -q -19 --long=27 -T1 -c > '%s.tmp'" % zst], tree, zst),
    }


def small_jobs(tree, tree_key, cache_dir):
    """The smaller product's .tar.xz, as compressed_jobs, with the same settings as the product's."""
    txz = os.path.join(cache_dir, "product-65MB.tar.xz")
    return {"txz_small": (tree_key + " tar sorted, xz lzma2 preset 9 dict 128MiB lc3 lp0 pb2",
                          ["sh", "-c", TAR_CREATE + "| xz -z -c -T1 --lzma2=preset=9,dict=128MiB,lc=3,lp=0,pb=2 > "
                           "'%s.tmp'" % txz], tree, txz)}


def start_job(job):
    key, cmd, cwd, out = job
    for stale in (out, out + ".tmp"):
        if os.path.exists(stale):
            os.remove(stale)
    log("building %s (a few minutes, once)" % os.path.basename(out))
    return subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL), time.time()


def finish_job(cache, name, job, t0):
    key, cmd, cwd, out = job
    if os.path.exists(out + ".tmp"):
        os.replace(out + ".tmp", out)
    cache.done(name, key)
    log("built %s in %.0f s" % (os.path.basename(out), time.time() - t0))


def build_stale(cache, jobs):
    """Runs the jobs whose output is not fresh, as many at a time as there are cores (they are slow)."""
    todo = [n for n, (k, _, _, _) in jobs.items() if not cache.fresh(n, k)]
    running = {}
    while todo or running:
        while todo and len(running) < max(1, os.cpu_count() or 1):
            n = todo.pop(0)
            running[n] = start_job(jobs[n])
        time.sleep(0.5)
        for n, (p, t0) in list(running.items()):
            if p.poll() is None:
                continue
            del running[n]
            if p.returncode != 0:
                raise SystemExit("bench: building %s failed: %s" % (jobs[n][3], " ".join(jobs[n][1])))
            finish_job(cache, n, jobs[n], t0)


def current_installer(cache, packed, build, cache_dir):
    """An installer of this run: today's stub in front of the blocks of a cached pack (split_packs), checked
    by mkinstaller itself."""
    installer = os.path.join(cache_dir, "setup-%s.exe" % packed["name"])
    restub(packed["path"], build.stub, installer)
    r = subprocess.run([build.mkinstaller, "verify", installer], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                       text=True)
    if r.returncode != 0:
        cache.forget(packed["name"])
        raise SystemExit("bench: mkinstaller verify %s failed (rerun to repack):\n%s" % (installer, r.stdout))
    return installer


def lzma_files(installer, cache_dir):
    """Each LZMA block's data as a .lzma file: the 5 property bytes, the unpacked size (8 bytes, little-endian),
    then the stream; a stored block (properties byte 255) has nothing to decode and gets no file. Returns the
    files and every block's figures."""
    pl = read_payload(installer)
    files, blocks = [], []
    for i, b in enumerate(pl["blocks"]):
        unpacked = struct.unpack(">I", b[:4])[0]
        dict_size = struct.unpack("<I", b[5:9])[0]
        blocks.append({"stored": len(b), "unpacked": unpacked, "props": b[4], "dict": dict_size})
        if b[4] == 255:
            continue
        path = os.path.join(cache_dir, "block%d.lzma" % i)
        data = b[4:9] + struct.pack("<Q", unpacked) + b[9:]
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
        files.append(path)
    return files, blocks


def prepare_inputs(build_dir, cache_dir):
    build = winlab.BuildTree(build_dir)
    check_built(build)
    cache = Cache(cache_dir)
    tree, stats = product_tree(cache, build.programs)
    # The block-size splits first and one at a time, so that their packing times do not compete; the
    # reference split is the installer of the rounds.
    splits = split_packs(cache, tree, stats["sha256"], build)
    split = default_of(splits)
    serial = serial_pack(cache, tree, stats["sha256"], build)
    small_tree, small_stats = small_product(cache, tree, stats)
    small = pack_with(cache, small_tree, small_stats["sha256"], build, "small-default", [], Timer())
    memory = memory_products(cache, build)
    jobs = compressed_jobs(tree, stats["sha256"], cache_dir)
    jobs.update(parallel_jobs(tree, stats["sha256"], cache_dir, split["mib"]))
    jobs.update(small_jobs(small_tree, small_stats["sha256"], cache_dir))
    build_stale(cache, jobs)
    installer = current_installer(cache, splits[0], build, cache_dir)
    split_installer = current_installer(cache, split, build, cache_dir)
    small_installer = current_installer(cache, small, build, cache_dir)
    lzma, blocks = lzma_files(installer, cache_dir)
    return {"tree": tree, "stats": stats, "installer": installer, "stub": build.stub,
            "shipped_stub": build.shipped_stub, "mk": build.mkinstaller,
            "mk_exe": build.mkinstaller_exe, "lzma": lzma, "blocks": blocks, "splits": splits, "split": split,
            "split_installer": split_installer, "serial": serial, "small": small, "small_tree": small_tree,
            "small_stats": small_stats, "small_installer": small_installer, "memory": memory,
            "archives": {name: job[3] for name, job in jobs.items()}}


def add(a, b):
    return {"wall": a["wall"] + b["wall"], "cpu": a["cpu"] + b["cpu"], "rss": max(a["rss"], b["rss"])}


class EarlyEnd(Exception):
    pass


def clear_installation(target, desktop_dirs):
    """No installed tree and no shortcut on any desktop, synced: each run starts from nothing."""
    clean(target)
    for d in desktop_dirs:
        for n in os.listdir(d):
            if n.endswith(".lnk"):
                os.remove(os.path.join(d, n))
    os.sync()


def wait_for_window(p, env, t0):
    """The installer's window id once it is visible; EarlyEnd when the process ends first."""
    while True:
        if p.poll() is not None:
            raise EarlyEnd("status %d after %.2f s" % (p.returncode, time.perf_counter() - t0))
        if time.perf_counter() - t0 > 120:
            p.kill()
            raise SystemExit("bench: the installer's window did not show")
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", winlab.TITLE], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if r.stdout.split():
            return r.stdout.split()[0]
        time.sleep(0.01)


def install_phases(target, click_clock, end_clock):
    """Phases from the files' modification times: up to the first file written (reading the payload, decoding
    the first block), from the first file to the last, and from the last file to the end of the process
    (shortcut, program start, window closed)."""
    mtimes = [os.path.getmtime(os.path.join(cur, n)) for cur, _, names in os.walk(target) for n in names]
    return {"to_first": min(mtimes) - click_clock, "files": max(mtimes) - min(mtimes),
            "after": end_clock - max(mtimes)}


def installer_gui_run(installer, env, target, desktop_dirs, stats, log_path, time_file):
    """Starts the installer, clicks install when its window shows, waits for the process to end."""
    clear_installation(target, desktop_dirs)
    with open(log_path, "w") as trace:
        t0 = time.perf_counter()
        p = subprocess.Popen(["/usr/bin/time", "-f", "%U %S %M", "-o", time_file, winlab.WINE, installer], env=env,
                             stdout=trace, stderr=subprocess.STDOUT)
        window = wait_for_window(p, env, t0)
        t_shown = time.perf_counter()
        click_clock = time.time()
        x, y = INSTALL_CLICK
        subprocess.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"], env=env,
                       check=True)
        try:
            p.wait(timeout=600)
        except subprocess.TimeoutExpired:
            p.kill()
            raise SystemExit("bench: the installer did not finish")
        t_end = time.perf_counter()
        end_clock = time.time()
    quick_tree_check(target, stats)
    return dict(wall=t_end - t_shown, launch=t_end - t0, **read_time(time_file),
                **install_phases(target, click_clock, end_clock))


class Tools:
    """The measured tools, one method each, and what they share: inputs, timers, output folders, the wine
    prefix and the display."""

    def __init__(self, inp, display):
        self.inp, self.stats, self.display = inp, inp["stats"], display
        self.build_bench = os.path.dirname(inp["installer"])
        self.diskdir = os.path.join(self.build_bench, "out")
        os.makedirs(self.diskdir, exist_ok=True)
        # The native tools write into RAM where they can: on a disk the file system's own create path joins the
        # measurement (on an ext4 without journal, creating files scans the inodes that the previous round's
        # removal freed, and that cost grows from round to round for the other tools too).
        self.outdir = ram_dir() or self.diskdir
        self.native = Timer()
        self.env = winlab.wine_env(os.environ["WINEPREFIX"], display.name)
        self.env["JT_SAMPLE_EXIT"] = "1"
        self.wine_timer = Timer(self.env)
        self.drive_c = os.path.join(os.environ["WINEPREFIX"], "drive_c")
        self.product_target = os.path.join(self.drive_c, winlab.PROGRAM_FILES, winlab.PRODUCT_DIR)
        users = os.path.join(self.drive_c, "users")
        self.desktops = [os.path.join(users, u, "Desktop") for u in os.listdir(users)
                         if os.path.isdir(os.path.join(users, u, "Desktop"))]
        self.early_ends = []

    def table(self):
        """(name, run) of every tool, in the order of the first round."""
        split, arc = self.inp["split"]["path"], self.inp["archives"]
        tools = [
            ("extract", self.mkinstaller_extract),
            ("dec_7zz", lambda: self.decode(lambda f: ["7zz", "x", "-so", "-bd", f])),
            ("dec_sdk", lambda: self.decode(lambda f: ["lzma_alone", "d", f, "/dev/null"])),
            ("dec_xz", lambda: self.decode(lambda f: ["xz", "-dc", "--format=lzma", f])),
            ("7zz_x", self.sevenz_x),
            ("tar_xJ", self.tar_xj),
            ("extract_split", lambda: self.mkinstaller_extract(installer=split)),
            ("verify", lambda: self.mkinstaller_verify(self.inp["installer"])),
            ("verify_split", lambda: self.mkinstaller_verify(split)),
            ("7zz_mt", lambda: self.extract_with("7zz-mt", lambda d: ["7zz", "x", "-y", "-bd", "-mmt=2", "-o" + d,
                                                                     arc["7z_mt"]])),
            ("tar_xz_mt", lambda: self.extract_with("tar-xz", lambda d: ["tar", "-I", "xz -T2", "-xf", arc["txz_mt"],
                                                                        "-C", d])),
            ("tar_zst", lambda: self.extract_with("tar-zst", lambda d: ["tar", "-I", "zstd -d --long=27", "-xf",
                                                                       arc["zst"], "-C", d])),
            ("cp", lambda: self.extract_with("cp", lambda d: ["cp", "-r", self.inp["tree"] + "/.", d])),
            ("extract_small", lambda: self.mkinstaller_extract(installer=self.inp["small_installer"],
                                                               stats=self.inp["small_stats"])),
            ("tar_xJ_small", lambda: self.extract_with("tar-small", lambda d: ["tar", "-xJf", arc["txz_small"], "-C",
                                                                              d], self.inp["small_stats"])),
            ("verify_small", lambda: self.mkinstaller_verify(self.inp["small_installer"])),
            ("cp_small", lambda: self.extract_with("cp-small", lambda d: ["cp", "-r", self.inp["small_tree"] + "/.",
                                                                         d], self.inp["small_stats"])),
            ("installer_wine", self.installer_wine),
            ("nsis_wine", self.nsis_wine),
            ("extract_wine", self.mkinstaller_wine),
        ]
        if self.outdir != self.diskdir:
            tools.append(("extract_disk", lambda: self.mkinstaller_extract(self.diskdir)))
        return tools

    def into(self, name, base=None):
        d = os.path.join(base or self.outdir, name)
        clean(d)
        os.makedirs(d)
        return d

    def checked(self, d, cmd, timer=None, stats=None):
        """Times cmd, which writes the product tree (or the one stats describe) into d, and checks the tree."""
        r = (timer or self.native)(cmd)
        quick_tree_check(d, stats or self.stats)
        return r

    def mkinstaller_extract(self, base=None, installer=None, stats=None):
        d = self.into("mkinstaller", base)
        return self.checked(d, [self.inp["mk"], "extract", installer or self.inp["installer"], d], stats=stats)

    def mkinstaller_verify(self, installer):
        """Reads, checks and decodes every block, writing nothing: the decoder's CPU time."""
        return self.native([self.inp["mk"], "verify", installer])

    def extract_with(self, name, cmd_for, stats=None):
        """Times cmd_for(d), which writes the product tree (or the one stats describe) into a fresh d, and checks
        the tree."""
        d = self.into(name)
        return self.checked(d, cmd_for(d), stats=stats)

    def decode(self, cmd_for):
        r = None
        for f in self.inp["lzma"]:
            one = self.native(cmd_for(f))
            r = one if r is None else add(r, one)
        return r

    def sevenz_x(self):
        d = self.into("7zz")
        return self.checked(d, ["7zz", "x", "-y", "-bd", "-o" + d, self.inp["archives"]["7z"]])

    def tar_xj(self):
        d = self.into("tar")
        return self.checked(d, ["tar", "-xJf", self.inp["archives"]["txz"], "-C", d])

    def installer_wine(self):
        # Should the installer end before its window maps (status 0), it is started again, counted, and its
        # trace kept for a look.
        log_path = os.path.join(self.build_bench, "installer-trace.log")
        for attempt in range(3):
            # A start after an early end has wine's error channel on, so its trace says more if it ends early too.
            run_env = self.env if attempt == 0 else dict(self.env, WINEDEBUG="err+all,fixme-all")
            try:
                return installer_gui_run(self.inp["split_installer"], run_env, self.product_target, self.desktops,
                                         self.stats, log_path, self.wine_timer.tf)
            except EarlyEnd as e:
                self.early_end(str(e), log_path)
        raise SystemExit("bench: the installer kept ending before its window showed")

    def early_end(self, why, log_path):
        """Notes an installer that ended before its window showed, keeps its trace, and starts a new X server
        when ours has gone."""
        kept = os.path.join(self.build_bench, "installer-early-end-%d.log" % len(self.early_ends))
        shutil.copy(log_path, kept)
        if not self.display.alive():
            # Something else on the machine ended our X server: a new one, and the installer again.
            why += ", our Xvfb %s had ended (status %s)" % (self.display.name, self.display.proc.returncode)
            self.display.restart()
            self.env["DISPLAY"] = self.display.name
        self.early_ends.append(why)
        log("the installer ended before its window showed (%s); trace in %s; starting it again" % (why, kept))

    def nsis_wine(self):
        d = os.path.join(self.drive_c, "bench-nsis")
        clean(d)
        return self.checked(d, [winlab.WINE, self.inp["archives"]["nsis"], "/S", "/D=C:\\bench-nsis"], self.wine_timer)

    def mkinstaller_wine(self):
        d = os.path.join(self.drive_c, "bench-mki")
        clean(d)
        return self.checked(d, [winlab.WINE, self.inp["mk_exe"], "extract", winlab.windows_path(self.inp["split_installer"]),
                                "C:\\bench-mki"], self.wine_timer)

    def remove_outputs(self):
        for d in (self.product_target, os.path.join(self.drive_c, "bench-nsis"),
                  os.path.join(self.drive_c, "bench-mki"), self.outdir, self.diskdir):
            shutil.rmtree(d, ignore_errors=True)

    def out_fs(self):
        return "RAM (tmpfs %s)" % self.outdir if self.outdir != self.diskdir else "the build tree's disk"


def measure_round(tools, rnd, rounds, results):
    """One round: every tool once, starting at a place that moves with the round; round 0 is not counted."""
    log("round %d of %d%s" % (rnd, rounds, " (warm-up, not counted)" if rnd == 0 else ""))
    order = tools[rnd % len(tools):] + tools[:rnd % len(tools)]
    for name, fn in order:
        r = fn()
        if rnd > 0:
            results[name].append(r)


def measure(inp, rounds, display):
    tools = Tools(inp, display)
    table = tools.table()
    results = {name: [] for name, _ in table}
    for rnd in range(rounds + 1):
        measure_round(table, rnd, rounds, results)
    tools.remove_outputs()
    results["early_ends"] = tools.early_ends
    results["out_fs"] = tools.out_fs()
    return results


def versions(inp):
    first = lambda text: next((l.strip() for l in text.splitlines() if l.strip()), "?")
    v = {}
    v["7zz"] = first(out_of(["7zz", "i"]))
    v["lzma_alone (LZMA SDK)"] = first(out_of(["lzma_alone"]))
    v["xz"] = first(out_of(["xz", "--version"]))
    v["tar"] = first(out_of(["tar", "--version"]))
    v["zstd"] = first(out_of(["zstd", "--version"]))
    v["makensis"] = "NSIS " + first(out_of(["makensis", "-VERSION"]))
    v["wine"] = first(out_of([winlab.WINE, "--version"]))
    v["gcc (native)"] = first(out_of(["gcc", "--version"]))
    v["gcc (i686 mingw-w64)"] = first(out_of(["i686-w64-mingw32-g++-posix", "--version"]))
    v["LZMA SDK decoder (lzma-dev)"] = first(out_of(["dpkg-query", "-W", "-f", "${Version}", "lzma-dev"]))
    return v


def machine():
    cpu = "?"
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    mem = next((l.split()[1] for l in open("/proc/meminfo") if l.startswith("MemTotal")), "0")
    deb = open("/etc/debian_version").read().strip() if os.path.exists("/etc/debian_version") else "?"
    return {"cpu": cpu, "cores": os.cpu_count(), "mem_gib": int(mem) / 1024 / 1024, "kernel": platform.release(),
            "debian": deb}


def section_table(exe):
    rows = []
    for line in out_of(["i686-w64-mingw32-objdump", "-h", exe]).splitlines():
        parts = line.split()
        if len(parts) >= 7 and parts[0].isdigit():
            rows.append((parts[1], int(parts[2], 16)))
    return rows


# The ratios and their targets: label, ours, the peer (a tuple: the faster of them), target, whether a ratio
# meets it. "The default pack" is pack's default split with stored blocks, as `pack` makes it without options.
RATIOS = [
    ("native `mkinstaller extract`, default pack / `tar -xJf`", "extract_split", "tar_xJ", "≤ 0.60",
     lambda r: r <= 0.60),
    ("native `mkinstaller extract`, default pack / `tar -xJf`, the ~65 MB product", "extract_small", "tar_xJ_small",
     "≤ 0.60", lambda r: r <= 0.60),
    ("native `mkinstaller extract`, default pack / `7zz x` of the .7z (solid LZMA)", "extract_split", "7zz_x",
     "≤ 0.65", lambda r: r <= 0.65),
    ("native `mkinstaller extract`, default pack / best multi-threaded peer (`7zz x -mmt=2` of the LZMA2 .7z, "
     "`tar -I 'xz -T2'`)", "extract_split", ("7zz_mt", "tar_xz_mt"), "≤ 1.0", lambda r: r <= 1.0),
    ("native `mkinstaller extract`, 2-block pack / `7zz x` of the .7z", "extract", "7zz_x", "≤ 0.95",
     lambda r: r <= 0.95),
    ("installer under wine, default pack, click → process end / NSIS `/S`", "installer_wine", "nsis_wine", "≤ 0.40",
     lambda r: r <= 0.40),
    ("native `mkinstaller extract`, 2-block pack / decode-only `7zz` (same streams)", "extract", "dec_7zz",
     "≤ 1.10", lambda r: r <= 1.10),
    ("native `mkinstaller extract`, 2-block pack / decode-only `lzma_alone` (LZMA SDK)", "extract", "dec_sdk",
     "≤ 1.10", lambda r: r <= 1.10),
    ("native `mkinstaller extract`, 2-block pack / decode-only `xz --format=lzma` (liblzma)", "extract", "dec_xz",
     "(information)", lambda r: True),
    ("native `mkinstaller extract`, 2-block pack / `tar -xJf`", "extract", "tar_xJ", "(information)",
     lambda r: True),
    ("native `mkinstaller extract`, default pack / the 2-block pack", "extract_split", "extract",
     "(information)", lambda r: True),
    ("native `mkinstaller extract`, default pack / `tar -I zstd` of the zstd -19 tarball", "extract_split",
     "tar_zst", "(information)", lambda r: True),
    ("native `mkinstaller extract`, default pack / `cp -r` of the tree", "extract_split", "cp",
     "(information)", lambda r: True),
]

# The rows of the times table, in order.
TOOL_NAMES = [
    ("extract", "native `mkinstaller extract` (x86-64)"),
    ("dec_7zz", "decode only, `7zz x -so` both .lzma → /dev/null"),
    ("dec_sdk", "decode only, `lzma_alone d` both .lzma → /dev/null"),
    ("dec_xz", "decode only, `xz -dc --format=lzma` both .lzma → /dev/null"),
    ("7zz_x", "`7zz x` of the .7z (solid LZMA, same settings)"),
    ("tar_xJ", "`tar -xJf` of the .tar.xz (LZMA2, same settings)"),
    ("extract_split", "native `mkinstaller extract` of the default pack (x86-64)"),
    ("verify", "native `mkinstaller verify` (decodes, writes nothing), two blocks"),
    ("verify_split", "native `mkinstaller verify` (decodes, writes nothing), default pack"),
    ("7zz_mt", "`7zz x -mmt=2` of the .7z (solid LZMA2 in blocks of the split's size, 2 threads)"),
    ("tar_xz_mt", "`tar -I 'xz -T2' -xf` of the .tar.xz in blocks of the split's size"),
    ("tar_zst", "`tar -I 'zstd -d --long=27' -xf` of the .tar.zst (zstd -19 --long=27)"),
    ("cp", "`cp -r` of the unpacked tree (the file-writing floor)"),
    ("installer_wine", "the installer (%s, default pack) under wine on Xvfb, install click → process end"
     % winlab.RUN_ARCH),
    ("nsis_wine", "NSIS installer (%s) under wine, `/S /D=…`, start → process end" % winlab.RUN_ARCH),
    ("extract_wine", "`mkinstaller.exe extract` (%s, same engine, no window) of the default pack under wine"
     % winlab.RUN_ARCH),
    ("extract_disk", "native `mkinstaller extract` into the build tree's disk"),
    ("extract_small", "~65 MB product: native `mkinstaller extract` of its default pack"),
    ("tar_xJ_small", "~65 MB product: `tar -xJf` of its .tar.xz (LZMA2, same settings)"),
    ("verify_small", "~65 MB product: native `mkinstaller verify` of its default pack"),
    ("cp_small", "~65 MB product: `cp -r` of its unpacked tree"),
]


class Summary:
    """The measured rounds in figures: medians (S), wall-time ranges (rng), the installer's own figures."""

    def __init__(self, results):
        self.results = results
        self.S = {k: {f: med([r[f] for r in v]) for f in ("wall", "cpu", "rss")} for k, v in results.items()}
        self.rng = {k: (min(r["wall"] for r in v), max(r["wall"] for r in v)) for k, v in results.items()}
        gui = results["installer_wine"]
        self.launch = med([r["launch"] for r in gui])
        self.phases = [med([r[f] for r in gui]) for f in ("to_first", "files", "after")]

    def per_round(self, a, b):
        return [x["wall"] / y["wall"] for x, y in zip(self.results[a], self.results[b])]

    def ratio_row(self, label, a, b, target, ok):
        S = self.S
        if isinstance(b, tuple):
            b = min(b, key=lambda k: S[k]["wall"])
            label += ", here `%s`" % b
        r = S[a]["wall"] / S[b]["wall"]
        pr = self.per_round(a, b)
        c = S[a]["cpu"] / S[b]["cpu"]
        return ("| %s | %.2f s | %.2f s | **%.3f** | %.3f–%.3f | %.3f | %s | %s |"
                % (label, S[a]["wall"], S[b]["wall"], r, min(pr), max(pr), c, target,
                   "holds" if ok(r) else "MISSED"))

    def time_rows(self, sizes):
        """The times' table rows; sizes: the compressed bytes each tool reads, by tool."""
        rows = []
        for k, name in TOOL_NAMES:
            if k not in self.S:
                continue
            s, (lo, hi) = self.S[k], self.rng[k]
            rows.append("| %s | %s | %.2f s | %.2f–%.2f s | %s | %s |"
                        % (name, sizes.get(k, ""), s["wall"], lo, hi, "%.2f s" % s["cpu"],
                           "%.1f MiB" % (s["rss"] / MiB)))
        return rows

    def limit_row(self, ours, decoder, cores, copy="cp", target=None):
        """How close an extraction comes to its limit, max(the decoder's CPU time / cores, copying the tree);
        target: the least fraction it should reach, if any."""
        S = self.S
        limit = max(S[decoder]["cpu"] / cores, S[copy]["wall"])
        fraction = limit / S[ours]["wall"]
        return ("| %s | %.2f s | %.2f s / %d = %.2f s | %.2f s | %.2f s | **%.3f** | %s | %.2f s | %.3f |"
                % (dict(TOOL_NAMES)[ours], S[ours]["wall"], S[decoder]["cpu"], cores, S[decoder]["cpu"] / cores,
                   S[copy]["wall"], limit, fraction, "(information)" if target is None else
                   "≥ %.2f %s" % (target, held(fraction >= target)), S[ours]["cpu"] - S[decoder]["cpu"],
                   S[ours]["cpu"] / (S[ours]["wall"] * cores)))


def memory_floor(blocks):
    """The least memory an extraction can take: the largest block unpacked (blocks decode straight into their
    own buffer; the compressed blocks are read from the file a window at a time, never all at once)."""
    payload = sum(b["stored"] for b in blocks)
    largest = max(b["unpacked"] for b in blocks)
    return {"payload": payload, "largest": largest, "floor": largest}


def resource_sizes(res_dir):
    """Bytes of the bitmaps and of the icon in res/."""
    bitmaps = sum(os.path.getsize(os.path.join(res_dir, n)) for n in os.listdir(res_dir) if n.endswith(".bmp")) \
        if os.path.isdir(res_dir) else 0
    icon = os.path.getsize(os.path.join(res_dir, "app.ico")) if os.path.exists(os.path.join(res_dir, "app.ico")) else 0
    return bitmaps, icon


def intro_section(mach, vers, rounds, load_before, load_after):
    lines = ["# Benchmark: the installer against its peers", ""]
    lines.append("Measured by `make bench` (bench/run.sh, bench/bench.py) on the machine below; these figures are from "
                 "that machine only. The machine is shared and has %d cores: absolute times move with its load "
                 "(load average %s at the start, %s at the end), so every tool runs once per round, rounds are "
                 "interleaved with a rotating start, and the table gives medians of %d rounds after a warm-up round. "
                 "The ratios are the result." % (mach["cores"], load_before, load_after, rounds))
    if winlab.RUN_ARCH != "i686":
        lines.append("")
        lines.append("This machine's kernel runs no 32-bit programs: the rows under wine are the %s build of the same "
                     "sources (and NSIS's %s image) under wine64; the shipped i686 image is built and measured for its "
                     "size only." % (winlab.RUN_ARCH, NSIS_TARGET))
    lines += ["", "## Machine and versions", ""]
    lines.append("- CPU: %s, %d cores; memory %.1f GiB; Linux %s; Debian %s"
                 % (mach["cpu"], mach["cores"], mach["mem_gib"], mach["kernel"], mach["debian"]))
    lines += ["- %s: %s" % (k, v) for k, v in vers.items()]
    lines.append("")
    return lines


def tool_sizes(inp):
    """The compressed bytes each tool of the times' table reads: the installers' payloads, the archives."""
    ref = inp["splits"][0]["bytes"]
    arc = {k: os.path.getsize(v) for k, v in inp["archives"].items()}
    split = inp["split"]["bytes"]
    return {"extract": ref, "verify": ref, "installer_wine": split, "extract_wine": split, "extract_disk": ref,
            "extract_split": split, "verify_split": split, "7zz_x": arc["7z"],
            "tar_xJ": arc["txz"], "7zz_mt": arc["7z_mt"], "tar_xz_mt": arc["txz_mt"], "tar_zst": arc["zst"],
            "nsis_wine": arc["nsis"], "extract_small": inp["small"]["bytes"], "verify_small": inp["small"]["bytes"],
            "tar_xJ_small": arc["txz_small"]}


def product_section(inp, mem):
    stats = inp["stats"]
    sizes = {
        "installer payload (mkinstaller, 2 blocks)": mem["payload"],
        ".7z": os.path.getsize(inp["archives"]["7z"]),
        ".tar.xz": os.path.getsize(inp["archives"]["txz"]),
        "NSIS installer (whole file)": os.path.getsize(inp["archives"]["nsis"]),
    }
    lines = ["## The product", ""]
    lines.append("Generated by bench/make_product.py (same bytes on every Debian 12 machine with the same wine "
                 "packages): %d files (%d at the top, the two launched programs among them) in %d directories nested "
                 "up to %d levels, %d bytes (%.1f MB); i386 PE binaries from wine's %s, generated text, and "
                 "already-compressed files. Tree hash %s."
                 % (stats["files"], stats["top_files"], stats["dirs"], stats["depth"], stats["bytes"],
                    stats["bytes"] / 1e6, PE_DIR, stats["sha256"][:16]))
    lines += ["", "| Block | stored bytes | unpacked bytes | properties | dictionary |", "|---|---|---|---|---|"]
    lines += ["| %d | %d | %d | %d | %d |" % (i, b["stored"], b["unpacked"], b["props"], b["dict"])
              for i, b in enumerate(inp["blocks"])]
    lines.append("")
    lines.append("Compressed sizes (%s everywhere): %s."
                 % (LZMA_SETTINGS, "; ".join("%s %d bytes" % kv for kv in sizes.items())))
    lines.append("")
    return lines


# Peak memory of native extraction before blocks decoded into their own buffers (one block at a time, beside a
# 128 MiB decoder window), measured on the benchmark product; the default pack's target is 0.6 of it.
ENGINE_BEFORE_PEAK_MIB = 312


def held(ok):
    return "holds" if ok else "MISSED"


def pack_rows(inp, summary):
    """The default pack's memory, size and packing time against their targets, as table rows."""
    S, split, ref, serial = summary.S, inp["split"], inp["splits"][0], inp["serial"]
    peak, peer = S["extract_split"]["rss"] / MiB, S["7zz_x"]["rss"] / MiB
    bound = min(0.6 * ENGINE_BEFORE_PEAK_MIB, peer + split["bytes"] / MiB)
    size, pack = split["bytes"] / ref["bytes"], split["pack_wall"] / serial["pack_wall"]
    return [
        "| peak memory of native `mkinstaller extract`, default pack | %.1f MiB | 0.6 × %d MiB = %.1f MiB; `7zz x` "
        "%.1f MiB + payload %.1f MiB = %.1f MiB | **%.3f** of the lower | | | ≤ both | %s |"
        % (peak, ENGINE_BEFORE_PEAK_MIB, 0.6 * ENGINE_BEFORE_PEAK_MIB, peer, split["bytes"] / MiB,
           peer + split["bytes"] / MiB, peak / bound, held(peak <= bound)),
        "| compressed payload, default pack / 2-block pack (same settings) | %d bytes | %d bytes | **%.4f** | | | "
        "(information: what the default split's blocks cost, the block-size table) | |"
        % (split["bytes"], ref["bytes"], size),
        "| `mkinstaller pack` wall time, default / serial (`%s`) | %.0f s | %.0f s | **%.3f** | | %.3f | ≤ 0.6 | %s |"
        % (" ".join(SERIAL_ARGS), split["pack_wall"], serial["pack_wall"], pack,
           split["pack_cpu"] / serial["pack_cpu"], held(pack <= 0.6)),
    ]


def ratios_section(summary, mem, peak, stub_size, inp):
    S = summary.S
    lines = ["## Ratios and targets", ""]
    lines.append("| Comparison | ours (median) | peer (median) | ratio of medians | per-round ratios | CPU-time ratio "
                 "| target | |")
    lines.append("|---|---|---|---|---|---|---|---|")
    lines += [summary.ratio_row(*ratio) for ratio in RATIOS]
    lines += pack_rows(inp, summary)
    floor = mem["floor"]
    lines.append("| peak memory of native `mkinstaller extract`, 2-block pack − floor | %.1f MiB | floor %.1f MiB | "
                 "**+%.1f MiB** | | | ≤ +16 MiB | %s |" % (peak / MiB, floor / MiB, (peak - floor) / MiB,
                                                          held(peak - floor <= 16 * MiB)))
    lines.append("| installer image (build/win32/setup-stub.exe) | %d bytes | 1 MiB = 1048576 | **%.3f** | | | ≤ 1 MiB "
                 "| %s |" % (stub_size, stub_size / MiB,
                             "holds" if stub_size <= MiB else "MISSED by %d bytes" % (stub_size - MiB)))
    lines.append("")
    lines.append("Also: the installer from its start (window shown, click included) to its end takes %.2f s, %.3f × "
                 "NSIS; the window costs %.3f × the same engine without a window (`mkinstaller.exe extract` under "
                 "wine)." % (summary.launch, summary.launch / S["nsis_wine"]["wall"],
                             S["installer_wine"]["wall"] / S["extract_wine"]["wall"]))
    lines.append("")
    lines.append("The installer's install time in phases (medians, from the files' modification times): click to the "
                 "first file written %.2f s (reading the payload, decoding the small first block), first to last file "
                 "%.2f s, last file to the end of the process %.2f s (desktop shortcut, cashier program started, "
                 "window closed)." % tuple(summary.phases))
    lines.append("")
    lines.append("Memory floor = the largest block unpacked, %d bytes (blocks decode straight into their own buffer; "
                 "the reference's large block is decoded alone); the compressed payload (%d bytes) is read from the "
                 "file a 1 MiB window per block in flight at a time and adds nothing to it; peak = GNU time's maximum "
                 "resident set size, median of the rounds." % (floor, mem["payload"]))
    lines.append("")
    return lines


# The least fraction of its limit the default pack's extraction should reach, on both products.
LIMIT_FRACTION = 0.85


def limit_section(summary, cores):
    lines = ["## Fraction of the limit", ""]
    lines.append("An extraction's limit here is the larger of the decoder's CPU time spread over the %d cores "
                 "(`mkinstaller verify` of the same installer: reads, checks and decodes every block, writes "
                 "nothing) and the time to copy the unpacked tree (`cp -r`, the file-writing floor); the fraction "
                 "is limit / extraction time (1 = at the limit). The extraction writes the tree on the same cores "
                 "while it decodes: its CPU beyond the decoder's (\"writing's CPU\", the files' creation and the "
                 "copy into the file system) is in its time but not in the limit, so that the fraction falls as the "
                 "decoding gets cheaper; \"cores busy\" is the extraction's CPU / (its wall time × %d), how much "
                 "of the cores it kept working (1 = no core idle)." % (cores, cores))
    lines += ["", "| Extraction | median wall | decoder CPU / cores | copy floor | limit | fraction of the limit | "
              "target | writing's CPU | cores busy |", "|---|---|---|---|---|---|---|---|---|"]
    lines.append(summary.limit_row("extract", "verify", cores))
    lines.append(summary.limit_row("extract_split", "verify_split", cores, target=LIMIT_FRACTION))
    lines.append(summary.limit_row("extract_small", "verify_small", cores, "cp_small", LIMIT_FRACTION))
    lines.append("")
    return lines


def times_section(summary, out_fs, early, sizes):
    S = summary.S
    lines = ["## Times", "", "| Tool | compressed bytes | median wall | range | CPU (user+sys) | peak RSS |",
             "|---|---|---|---|---|---|"]
    lines += summary.time_rows(sizes)
    lines.append("")
    lines.append("Every run writes the whole tree into a fresh directory (removed and synced before the clock starts) "
                 "and is checked afterwards (file count and bytes). Native runs write to %s; the wine runs into the "
                 "wine prefix (the installer to its default Program Files directory). The installer's time runs "
                 "from the moment xdotool is started to click install (the window already shown) to the end of its "
                 "process; it ends after the desktop shortcut and the start of the cashier program, which the NSIS "
                 "script does too. CPU time and peak memory come from GNU time and cover each whole process (for "
                 "the installer: start, idle window, installation); CPU time moves less than wall time with the "
                 "machine's load." % out_fs)
    if "extract_disk" in S:
        lines.append("")
        lines.append("Native extraction into RAM keeps the disk's file system out of the ratios, which compare the "
                     "tools: on this machine the same extraction into the build tree's disk takes %.2f s (%.3f × into "
                     "RAM), the difference being the file system's create and write path, which the other extracting "
                     "tools pay too." % (S["extract_disk"]["wall"], S["extract_disk"]["wall"] / S["extract"]["wall"]))
    lines.append("")
    if early:
        lines.append("The installer ended before its window showed %d time(s) (%s) and was started again; those "
                     "starts are not timed." % (len(early), "; ".join(early)))
        lines.append("")
    return lines


def image_section(stub, res_dir, elapsed):
    stub_size = os.path.getsize(stub)
    bitmaps, icon = resource_sizes(res_dir)
    lines = ["## Installer image", "", "| Section | bytes |", "|---|---|"]
    lines += ["| %s | %d |" % (n, s) for n, s in section_table(stub)]
    lines.append("")
    lines.append("File size %d bytes; the resource section holds the bitmaps (%d bytes as files in res/, the 600 × "
                 "400 24-bit background alone 720054) and the icon (%d bytes)." % (stub_size, bitmaps, icon))
    lines.append("")
    lines.append("Chart: [install-times.png](install-times.png). `make bench` took %.0f s for this run." % elapsed)
    lines.append("")
    return lines


def report(inp, results, mach, vers, rounds, load_before, load_after, out_dir, elapsed):
    early = results.pop("early_ends", [])
    out_fs = results.pop("out_fs")
    split_times, split_runs = results.pop("splits")
    memory_times, memory_runs = results.pop("memory")
    summary = Summary(results)
    split = inp["split"]
    bench_row = ("the benchmark product (c), default pack", inp["stats"]["bytes"], split["blocks"], split["largest"],
                 split["stored"], summary.S["extract_split"]["rss"])
    mem = memory_floor(inp["blocks"])
    lines = (intro_section(mach, vers, rounds, load_before, load_after)
             + product_section(inp, mem)
             + ratios_section(summary, mem, summary.S["extract"]["rss"], os.path.getsize(inp["shipped_stub"]), inp)
             + split_section(inp["splits"], split_times, split_runs, mach["cores"])
             + memory_section(inp["memory"], memory_times, memory_runs, bench_row)
             + limit_section(summary, mach["cores"])
             + times_section(summary, out_fs, early, tool_sizes(inp))
             + image_section(inp["shipped_stub"], os.path.join(os.path.dirname(out_dir), "res"), elapsed))
    text = "\n".join(lines)
    with open(os.path.join(out_dir, "results.md"), "w") as f:
        f.write(text)
    print(text)
    chart(summary.S, summary.rng, out_dir, rounds)


# The chart's bars: label, tool, colour (1: this installer and its engine; 2: the peers; 3: decode-only references).
CHART_ROWS = [("mkinstaller extract (native)", "extract", 1), ("7zz x .7z (native)", "7zz_x", 2),
              ("tar -xJf (native)", "tar_xJ", 2), ("mkinstaller extract, split (native)", "extract_split", 1),
              ("7zz x -mmt=2 LZMA2 .7z", "7zz_mt", 2), ("tar xz -T2, blocks", "tar_xz_mt", 2),
              ("tar zstd -19 (reference)", "tar_zst", 3), ("cp -r (floor)", "cp", 3), ("decode only: 7zz", "dec_7zz", 3),
              ("decode only: lzma_alone", "dec_sdk", 3), ("decode only: xz", "dec_xz", 3),
              ("installer, wine (click to end)", "installer_wine", 1), ("NSIS /S, wine", "nsis_wine", 2),
              ("mkinstaller.exe extract, wine", "extract_wine", 1)]
CHART_COLOURS = [(1, "#c0392b", "this installer / its engine"), (2, "#2e86c1", "peers: 7-Zip, xz, NSIS"),
                 (3, "#95a5a6", "references: decode only, zstd, cp")]


def chart_script(data, png, rounds):
    bars = ", ".join('"%s" using 1:($6==%d?$3:1/0):xtic(2) with boxes lc rgb "%s" title "%s"' % (data, c, rgb, t)
                     for c, rgb, t in CHART_COLOURS)
    return """set terminal pngcairo size 1300,650 font ",10" noenhanced
set output "%s"
set title "Installing the 164 MB product: median wall time of %d rounds (whiskers: min to max), this machine"
set ylabel "seconds"
set style fill solid 0.85 border -1
set boxwidth 0.6
set yrange [0:*]
set offsets 0.5, 0.5, 0.8, 0
set grid ytics
set xtics nomirror rotate by -30 font ",9"
set key top left
set bmargin 9
set rmargin 18
plot %s, \\
     "%s" using 1:3:4:5 with yerrorbars lc rgb "#333333" pt 0 notitle, \\
     "" using 1:($5+0.2):(sprintf("%%.2f", $3)) with labels font ",9" notitle
""" % (png, rounds, bars, data)


def chart(S, rng, out_dir, rounds):
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "times.dat")
        with open(data, "w") as f:
            for i, (label, k, c) in enumerate(CHART_ROWS):
                f.write('%d "%s" %.3f %.3f %.3f %d\n' % (i, label, S[k]["wall"], rng[k][0], rng[k][1], c))
        script = os.path.join(tmp, "chart.gp")
        with open(script, "w") as f:
            f.write(chart_script(data, os.path.join(out_dir, "install-times.png"), rounds))
        run(["gnuplot", script])


# Extractions of each block-size split, and of each product of the memory table, for their medians.
SPLIT_RUNS = 3
MEMORY_RUNS = 3


def measure_split_extraction(inp):
    outdir = ram_dir() or os.path.join(os.path.dirname(inp["installer"]), "out")
    try:
        return measure_splits(inp["splits"], inp["mk"], inp["stats"], outdir, SPLIT_RUNS)
    finally:
        clean(outdir)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--rounds", type=int, default=int(os.environ.get("BENCH_ROUNDS", "7")))
    a = ap.parse_args()
    start = time.time()
    build = os.path.abspath(a.build)
    os.environ.setdefault("WINEPREFIX", os.path.join(build, "wineprefix"))
    cache_dir = os.path.join(build, "bench")
    os.makedirs(cache_dir, exist_ok=True)

    inp = prepare_inputs(build, cache_dir)
    load_before = open("/proc/loadavg").read().split()[0]
    display = winlab.Xvfb()
    try:
        log("measuring, %d rounds after a warm-up round, display %s" % (a.rounds, display.name))
        results = measure(inp, a.rounds, display)
    finally:
        display.close()
    results["splits"] = (measure_split_extraction(inp), SPLIT_RUNS)
    results["memory"] = (measure_memory(inp["memory"], inp["mk"], MEMORY_RUNS), MEMORY_RUNS)
    load_after = open("/proc/loadavg").read().split()[0]
    report(inp, results, machine(), versions(inp), a.rounds, load_before, load_after, os.path.abspath(a.out),
           time.time() - start)


if __name__ == "__main__":
    main()
