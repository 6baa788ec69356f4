#!/usr/bin/env python3
"""Side-by-side benchmark of the installer against its peers, on one realistic product.

    bench/bench.py --build BUILD_DIR --out RESULTS_DIR     (bench/run.sh installs the peers and runs this)

Inputs are generated once and cached under BUILD_DIR/bench/: the product tree (bench/make_product.py), the
installer (mkinstaller pack, two blocks, 128 MiB dictionary), each block as a .lzma file, a .7z and a
.tar.xz of the tree with the same LZMA settings, and an NSIS installer of the tree. Then every tool runs
in each round, rounds interleaved with a rotating start, and the table gives medians and their ratios.
Absolute times depend on the machine and on what else runs on it; the ratios are the result.
"""
import argparse
import hashlib
import json
import os
import platform
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

MiB = 1024 * 1024
TITLE = "霁桐智能餐饮"
INSTALL_CLICK = (500, 345)          # the install button, in client coordinates
PRODUCT_DIR_NAME = "霁桐餐饮"       # under Program Files, the installer's default directory
PE_DIR = "/usr/lib/i386-linux-gnu/wine/i386-windows"
LZMA_SETTINGS = "lc 3, lp 0, pb 2, 128 MiB dictionary"


def log(msg):
    print("bench: " + msg, flush=True)


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def tree_stats(root):
    """Files, directories, deepest directory level, bytes, and a hash of names and contents."""
    files = dirs = depth = size = 0
    top_files = 0
    h = hashlib.sha256()
    for cur, dnames, fnames in os.walk(root):
        dnames.sort()
        rel = os.path.relpath(cur, root)
        level = 0 if rel == "." else rel.count("/") + 1
        if rel != ".":
            dirs += 1
            depth = max(depth, level)
        for n in sorted(fnames):
            p = os.path.join(cur, n)
            files += 1
            top_files += rel == "."
            size += os.path.getsize(p)
            h.update(os.path.join(rel, n).encode() + b"\0")
            h.update(sha256_file(p).encode())
    return {"files": files, "dirs": dirs, "depth": depth, "bytes": size, "top_files": top_files,
            "sha256": h.hexdigest()}


def quick_tree_check(root, want):
    """The installed tree has the product's file count and byte total."""
    files = size = 0
    for cur, _, fnames in os.walk(root):
        for n in fnames:
            files += 1
            size += os.path.getsize(os.path.join(cur, n))
    if files != want["files"] or size != want["bytes"]:
        raise SystemExit("bench: %s holds %d files, %d bytes; expected %d files, %d bytes"
                         % (root, files, size, want["files"], want["bytes"]))


def read_payload(path):
    """Blocks, directory and trailer of an installer file; `between` is what lies between the directory's
    size entries and the trailer (the blocks' checksum table when pack wrote one)."""
    with open(path, "rb") as f:
        data = f.read()
    dir_offset, total, flags = struct.unpack(">IIB", data[-9:])
    first, count = struct.unpack(">II", data[dir_offset:dir_offset + 8])
    sizes = struct.unpack(">%dI" % count, data[dir_offset + 8:dir_offset + 8 + 4 * count])
    blocks, pos = [], first
    for s in sizes:
        blocks.append(data[pos:pos + s])
        pos += s
    return {"first": first, "sizes": list(sizes), "total": total, "flags": flags, "blocks": blocks,
            "payload": data[first:dir_offset], "between": data[dir_offset + 8 + 4 * count:-9]}


def restub(packed_path, stub_path, out_path):
    """The packed blocks behind another program image: only the directory's offsets change (block
    checksums cover the blocks alone)."""
    p = read_payload(packed_path)
    with open(stub_path, "rb") as f:
        stub = f.read()
    first = len(stub)
    n = len(p["sizes"])
    tail = (struct.pack(">II", first, n) + struct.pack(">%dI" % n, *p["sizes"]) + p["between"]
            + struct.pack(">IIB", first + len(p["payload"]), p["total"], p["flags"]))
    tmp = out_path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(stub + p["payload"] + tail)
    os.replace(tmp, out_path)


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def out_of(cmd, **kw):
    try:
        r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace", **kw)
        return r.stdout
    except OSError:
        return ""


class Cache:
    """One input, rebuilt when its key changes."""

    def __init__(self, cache_dir):
        self.dir = cache_dir

    def fresh(self, name, key):
        stamp = os.path.join(self.dir, name + ".key")
        return os.path.exists(stamp) and open(stamp).read() == key

    def done(self, name, key):
        with open(os.path.join(self.dir, name + ".key"), "w") as f:
            f.write(key)

    def forget(self, name):
        stamp = os.path.join(self.dir, name + ".key")
        if os.path.exists(stamp):
            os.remove(stamp)


def nsis_script(tree, out_exe):
    # The same tree, solid LZMA with a 128 MiB dictionary, and the same ending as the installer: a desktop
    # shortcut to the cashier program and its start.
    return "\n".join([
        "Unicode true",
        "SetCompressor /SOLID lzma",
        "SetCompressorDictSize 128",
        'Name "Bench"',
        'OutFile "%s"' % out_exe,
        'InstallDir "$PROGRAMFILES\\bench-nsis"',
        "RequestExecutionLevel user",
        "Section",
        '  SetOutPath "$INSTDIR"',
        '  File /r "%s/*"' % tree,
        '  CreateShortCut "$DESKTOP\\bench-nsis.lnk" "$INSTDIR\\霁桐收银端.exe"',
        "  Exec '\"$INSTDIR\\霁桐收银端.exe\"'",
        "SectionEnd",
        ""])


def prepare_inputs(build, cache_dir):
    cache = Cache(cache_dir)
    here = os.path.dirname(os.path.abspath(__file__))
    mk = os.path.join(build, "native", "mkinstaller")
    stub = os.path.join(build, "win32", "setup-stub.exe")
    programs = os.path.join(build, "win32", "sample")
    for p in (mk, stub, os.path.join(programs, "霁桐收银端.exe")):
        if not os.path.exists(p):
            raise SystemExit("bench: %s is missing (make BUILD=%s all)" % (p, build))

    # The product tree: keyed by the generator, its sources and the two programs.
    tree = os.path.join(cache_dir, "product")
    h = hashlib.sha256(open(os.path.join(here, "make_product.py"), "rb").read())
    for n in sorted(os.listdir(PE_DIR)):
        st = os.stat(os.path.join(PE_DIR, n))
        h.update(("%s %d %d\n" % (n, st.st_size, int(st.st_mtime))).encode())
    for n in ("霁桐收银端.exe", "霁桐餐饮服务.exe"):
        h.update(sha256_file(os.path.join(programs, n)).encode())
    key = h.hexdigest()
    if not cache.fresh("product", key):
        log("generating the product tree in %s" % tree)
        shutil.rmtree(tree, ignore_errors=True)
        run([sys.executable, os.path.join(here, "make_product.py"), PE_DIR, programs, tree])
        stats = tree_stats(tree)
        json.dump(stats, open(os.path.join(cache_dir, "product.json"), "w"))
        cache.done("product", key)
    stats = json.load(open(os.path.join(cache_dir, "product.json")))
    tk = stats["sha256"]

    # The compressed forms, each keyed by the tree and its own settings; the slow ones run two at a time.
    packed = os.path.join(cache_dir, "packed.exe")
    sevenz = os.path.join(cache_dir, "product.7z")
    txz = os.path.join(cache_dir, "product.tar.xz")
    nsis = os.path.join(cache_dir, "nsis-setup.exe")
    top = sorted(os.listdir(tree))
    jobs = {
        "packed": (tk + " pack --dict 128M",
                   [mk, "pack", "--stub", stub, "--out", packed, "--dict", "128M", tree], None, packed),
        "7z": (tk + " 7z lzma d=128m lc3 lp0 pb2 mx9 solid, no filters",
               ["7zz", "a", "-t7z", "-bd", "-mx=9", "-m0=LZMA:d=128m:lc=3:lp=0:pb=2", "-ms=on", "-mf=off",
                "-mmt=1", "-mtc=off", "-mta=off", "-mtm=off", sevenz + ".tmp"] + top, tree, sevenz),
        "txz": (tk + " tar sorted, xz lzma2 preset 9 dict 128MiB lc3 lp0 pb2",
                ["sh", "-c", "tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -cf - . "
                 "| xz -z -c -T1 --lzma2=preset=9,dict=128MiB,lc=3,lp=0,pb=2 > '%s.tmp'" % txz], tree, txz),
        "nsis": (tk + " " + hashlib.sha256(nsis_script(tree, nsis + ".tmp").encode()).hexdigest(),
                 ["makensis", "-V2", "-INPUTCHARSET", "UTF8", os.path.join(cache_dir, "product.nsi")], None, nsis),
    }
    with open(os.path.join(cache_dir, "product.nsi"), "w") as f:
        f.write(nsis_script(tree, nsis + ".tmp"))
    todo = [n for n, (k, _, _, _) in jobs.items() if not cache.fresh(n, k)]
    running = {}
    while todo or running:
        while todo and len(running) < max(1, os.cpu_count() or 1):
            n = todo.pop(0)
            k, cmd, cwd, out = jobs[n]
            for stale in (out, out + ".tmp"):
                if os.path.exists(stale):
                    os.remove(stale)
            log("building %s (a few minutes, once)" % os.path.basename(out))
            running[n] = (subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL), time.time())
        time.sleep(0.5)
        for n, (p, t0) in list(running.items()):
            if p.poll() is None:
                continue
            del running[n]
            k, cmd, cwd, out = jobs[n]
            if p.returncode != 0:
                raise SystemExit("bench: building %s failed: %s" % (out, " ".join(cmd)))
            if os.path.exists(out + ".tmp"):
                os.replace(out + ".tmp", out)
            cache.done(n, k)
            log("built %s in %.0f s" % (os.path.basename(out), time.time() - t0))

    # The installer of this run: today's stub in front of the cached blocks, checked by mkinstaller itself.
    installer = os.path.join(cache_dir, "setup.exe")
    restub(packed, stub, installer)
    r = subprocess.run([mk, "verify", installer], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if r.returncode != 0:
        cache.forget("packed")
        raise SystemExit("bench: mkinstaller verify %s failed (rerun to repack):\n%s" % (installer, r.stdout))

    # Each block's LZMA data as a .lzma file: the 5 property bytes, the unpacked size (8 bytes, little-endian),
    # then the stream.
    pl = read_payload(installer)
    lzma_files, blocks = [], []
    for i, b in enumerate(pl["blocks"]):
        unpacked = struct.unpack(">I", b[:4])[0]
        dict_size = struct.unpack("<I", b[5:9])[0]
        path = os.path.join(cache_dir, "block%d.lzma" % i)
        data = b[4:9] + struct.pack("<Q", unpacked) + b[9:]
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
        lzma_files.append(path)
        blocks.append({"stored": len(b), "unpacked": unpacked, "props": b[4], "dict": dict_size})

    return {"tree": tree, "stats": stats, "installer": installer, "stub": stub, "mk": mk,
            "mk_exe": os.path.join(build, "win32", "mkinstaller.exe"), "lzma": lzma_files, "blocks": blocks,
            "sevenz": sevenz, "txz": txz, "nsis": nsis}


class Timer:
    """Runs a command under GNU time: wall clock from here, CPU and peak memory from time."""

    def __init__(self, env=None):
        self.env = env
        fd, self.tf = tempfile.mkstemp(prefix="bench-time-")
        os.close(fd)

    def __call__(self, cmd, cwd=None):
        t0 = time.perf_counter()
        r = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", self.tf] + cmd, cwd=cwd, env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.perf_counter() - t0
        if r.returncode != 0:
            raise SystemExit("bench: %s failed (%d): %s" % (" ".join(cmd), r.returncode, r.stderr.decode()[-2000:]))
        u, s, m = open(self.tf).read().split()[-3:]
        return {"wall": wall, "cpu": float(u) + float(s), "rss": int(m) * 1024}


def add(a, b):
    return {"wall": a["wall"] + b["wall"], "cpu": a["cpu"] + b["cpu"], "rss": max(a["rss"], b["rss"])}


def clean(path):
    shutil.rmtree(path, ignore_errors=True)
    os.sync()


class Display:
    """Our own Xvfb on a free display number, ended by its pid."""

    def __init__(self):
        self.start()

    def start(self):
        r, w = os.pipe()
        # -noreset: without it the server resets whenever its last client leaves (every xdotool call may be the
        # last), and a wine program that connects during the reset finds no display and ends at once.
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                                      "-noreset"],
                                     pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            self.name = ":" + f.readline().strip()

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        if self.alive():
            self.proc.terminate()
        self.proc.wait()


def wine_env(display):
    env = dict(os.environ)
    env.update({"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
                "WINEARCH": "win64", "LC_ALL": "zh_CN.UTF-8", "DISPLAY": display, "JT_SAMPLE_EXIT": "1"})
    return env


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class EarlyEnd(Exception):
    pass


def installer_gui_run(installer, env, target, desktop_dirs, stats, log_path, time_file):
    """Starts the installer, clicks install when its window shows, waits for the process to end."""
    clean(target)
    for d in desktop_dirs:
        for n in os.listdir(d):
            if n.endswith(".lnk"):
                os.remove(os.path.join(d, n))
    os.sync()
    with open(log_path, "w") as trace:
        t0 = time.perf_counter()
        p = subprocess.Popen(["/usr/bin/time", "-f", "%U %S %M", "-o", time_file, "wine", installer], env=env,
                             stdout=trace, stderr=subprocess.STDOUT)
        window = ""
        while not window:
            if p.poll() is not None:
                raise EarlyEnd("status %d after %.2f s" % (p.returncode, time.perf_counter() - t0))
            if time.perf_counter() - t0 > 120:
                p.kill()
                raise SystemExit("bench: the installer's window did not show")
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
            window = r.stdout.split()[0] if r.stdout.split() else ""
            if not window:
                time.sleep(0.01)
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
    u, sy, m = open(time_file).read().split()[-3:]
    # Phases from the files' modification times: up to the first file written (reading the payload, decoding
    # the first block), from the first file to the last, and from the last file to the end of the process
    # (shortcut, program start, window closed).
    mtimes = [os.path.getmtime(os.path.join(cur, n)) for cur, _, names in os.walk(target) for n in names]
    return {"wall": t_end - t_shown, "launch": t_end - t0, "cpu": float(u) + float(sy), "rss": int(m) * 1024,
            "to_first": min(mtimes) - click_clock, "files": max(mtimes) - min(mtimes),
            "after": end_clock - max(mtimes)}


def ram_dir():
    """A fresh directory on /dev/shm when it is a RAM file system with room for a few trees, else None."""
    try:
        st = os.statvfs("/dev/shm")
        if st.f_bavail * st.f_frsize < 2 << 30:
            return None
        with open("/proc/mounts") as f:
            if not any(l.split()[1:3] == ["/dev/shm", "tmpfs"] for l in f):
                return None
        return tempfile.mkdtemp(prefix="bench-", dir="/dev/shm")
    except OSError:
        return None


def measure(inp, rounds, display):
    build_bench = os.path.dirname(inp["installer"])
    diskdir = os.path.join(build_bench, "out")
    os.makedirs(diskdir, exist_ok=True)
    # The native tools write into RAM where they can: on a disk the file system's own create path joins the
    # measurement (on an ext4 without journal, creating files scans the inodes that the previous round's
    # removal freed, and that cost grows from round to round for the other tools too).
    outdir = ram_dir() or diskdir
    native = Timer()
    stats = inp["stats"]
    env = wine_env(display.name)
    wine_timer = Timer(env)
    prefix = os.environ["WINEPREFIX"]
    drive_c = os.path.join(prefix, "drive_c")
    product_target = os.path.join(drive_c, "Program Files (x86)", PRODUCT_DIR_NAME)
    desktops = [os.path.join(drive_c, "users", u, "Desktop") for u in os.listdir(os.path.join(drive_c, "users"))
                if os.path.isdir(os.path.join(drive_c, "users", u, "Desktop"))]

    def into(name, base=outdir):
        d = os.path.join(base, name)
        clean(d)
        os.makedirs(d)
        return d

    def mkinstaller_extract(base=outdir):
        d = into("mkinstaller", base)
        r = native([inp["mk"], "extract", inp["installer"], d])
        quick_tree_check(d, stats)
        return r

    def decode(cmd_for):
        r = None
        for f in inp["lzma"]:
            one = native(cmd_for(f))
            r = one if r is None else add(r, one)
        return r

    def sevenz_x():
        d = into("7zz")
        r = native(["7zz", "x", "-y", "-bd", "-o" + d, inp["sevenz"]])
        quick_tree_check(d, stats)
        return r

    def tar_xj():
        d = into("tar")
        r = native(["tar", "-xJf", inp["txz"], "-C", d])
        quick_tree_check(d, stats)
        return r

    early_ends = []

    def installer_wine():
        # Should the installer end before its window maps (status 0), it is started again, counted, and its
        # trace kept for a look.
        log_path = os.path.join(build_bench, "installer-trace.log")
        for attempt in range(3):
            # A start after an early end has wine's error channel on, so its trace says more if it ends early too.
            run_env = env if attempt == 0 else dict(env, WINEDEBUG="err+all,fixme-all")
            try:
                return installer_gui_run(inp["installer"], run_env, product_target, desktops, stats, log_path,
                                         wine_timer.tf)
            except EarlyEnd as e:
                kept = os.path.join(build_bench, "installer-early-end-%d.log" % len(early_ends))
                shutil.copy(log_path, kept)
                why = str(e)
                if not display.alive():
                    # Something else on the machine ended our X server: a new one, and the installer again.
                    why += ", our Xvfb %s had ended (status %s)" % (display.name, display.proc.returncode)
                    display.stop()
                    display.start()
                    env["DISPLAY"] = display.name
                early_ends.append(why)
                log("the installer ended before its window showed (%s); trace in %s; starting it again"
                    % (why, kept))
        raise SystemExit("bench: the installer kept ending before its window showed")

    def nsis_wine():
        d = os.path.join(drive_c, "bench-nsis")
        clean(d)
        r = wine_timer(["wine", inp["nsis"], "/S", "/D=C:\\bench-nsis"])
        quick_tree_check(d, stats)
        return r

    def mkinstaller_wine():
        d = os.path.join(drive_c, "bench-mki")
        clean(d)
        r = wine_timer(["wine", inp["mk_exe"], "extract", win_path(inp["installer"]), "C:\\bench-mki"])
        quick_tree_check(d, stats)
        return r

    tools = [
        ("extract", mkinstaller_extract),
        ("dec_7zz", lambda: decode(lambda f: ["7zz", "x", "-so", "-bd", f])),
        ("dec_sdk", lambda: decode(lambda f: ["lzma_alone", "d", f, "/dev/null"])),
        ("dec_xz", lambda: decode(lambda f: ["xz", "-dc", "--format=lzma", f])),
        ("7zz_x", sevenz_x),
        ("tar_xJ", tar_xj),
        ("installer_wine", installer_wine),
        ("nsis_wine", nsis_wine),
        ("extract_wine", mkinstaller_wine),
    ]
    if outdir != diskdir:
        tools.append(("extract_disk", lambda: mkinstaller_extract(diskdir)))
    results = {name: [] for name, _ in tools}
    for rnd in range(rounds + 1):
        log("round %d of %d%s" % (rnd, rounds, " (warm-up, not counted)" if rnd == 0 else ""))
        order = tools[rnd % len(tools):] + tools[:rnd % len(tools)]
        for name, fn in order:
            r = fn()
            if rnd > 0:
                results[name].append(r)
    for d in (product_target, os.path.join(drive_c, "bench-nsis"), os.path.join(drive_c, "bench-mki")):
        shutil.rmtree(d, ignore_errors=True)
    shutil.rmtree(outdir, ignore_errors=True)
    shutil.rmtree(diskdir, ignore_errors=True)
    results["early_ends"] = early_ends
    results["out_fs"] = "RAM (tmpfs %s)" % outdir if outdir != diskdir else "the build tree's disk"
    return results


def versions(inp):
    first = lambda text: next((l.strip() for l in text.splitlines() if l.strip()), "?")
    v = {}
    v["7zz"] = first(out_of(["7zz", "i"]))
    v["lzma_alone (LZMA SDK)"] = first(out_of(["lzma_alone"]))
    v["xz"] = first(out_of(["xz", "--version"]))
    v["tar"] = first(out_of(["tar", "--version"]))
    v["makensis"] = "NSIS " + first(out_of(["makensis", "-VERSION"]))
    v["wine"] = first(out_of(["wine", "--version"]))
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


def med(xs):
    return statistics.median(xs)


def report(inp, results, mach, vers, rounds, load_before, load_after, out_dir, elapsed):
    early = results.pop("early_ends", [])
    out_fs = results.pop("out_fs")
    S = {k: {f: med([r[f] for r in v]) for f in ("wall", "cpu", "rss")} for k, v in results.items()}
    rng = {k: (min(r["wall"] for r in v), max(r["wall"] for r in v)) for k, v in results.items()}
    launch = med([r["launch"] for r in results["installer_wine"]])
    per_round = lambda a, b: [x["wall"] / y["wall"] for x, y in zip(results[a], results[b])]

    blocks = inp["blocks"]
    payload = sum(b["stored"] for b in blocks)
    window = max(b["dict"] for b in blocks)
    largest = max(b["unpacked"] for b in blocks)
    floor = window + largest + payload
    peak = S["extract"]["rss"]
    stub_size = os.path.getsize(inp["stub"])
    stats = inp["stats"]

    def ratio_row(label, a, b, target, ok):
        r = S[a]["wall"] / S[b]["wall"]
        pr = per_round(a, b)
        c = S[a]["cpu"] / S[b]["cpu"]
        return ("| %s | %.2f s | %.2f s | **%.3f** | %.3f–%.3f | %.3f | %s | %s |"
                % (label, S[a]["wall"], S[b]["wall"], r, min(pr), max(pr), c, target,
                   "holds" if ok(r) else "MISSED"))

    ratios = [
        ratio_row("native `mkinstaller extract` / decode-only `7zz` (same streams)", "extract", "dec_7zz",
                  "≤ 1.10", lambda r: r <= 1.10),
        ratio_row("native `mkinstaller extract` / decode-only `lzma_alone` (LZMA SDK)", "extract", "dec_sdk",
                  "≤ 1.10", lambda r: r <= 1.10),
        ratio_row("native `mkinstaller extract` / decode-only `xz --format=lzma` (liblzma)", "extract", "dec_xz",
                  "(information)", lambda r: True),
        ratio_row("native `mkinstaller extract` / `7zz x` of the .7z", "extract", "7zz_x", "≤ 1.0",
                  lambda r: r <= 1.0),
        ratio_row("native `mkinstaller extract` / `tar -xJf`", "extract", "tar_xJ", "well ahead (≤ 0.8)",
                  lambda r: r <= 0.8),
        ratio_row("installer under wine, click → process end / NSIS `/S`", "installer_wine", "nsis_wine", "≤ 0.9",
                  lambda r: r <= 0.9),
    ]
    launch_ratio = launch / S["nsis_wine"]["wall"]
    wine_engine_ratio = S["installer_wine"]["wall"] / S["extract_wine"]["wall"]

    names = {
        "extract": "native `mkinstaller extract` (x86-64)",
        "dec_7zz": "decode only, `7zz x -so` both .lzma → /dev/null",
        "dec_sdk": "decode only, `lzma_alone d` both .lzma → /dev/null",
        "dec_xz": "decode only, `xz -dc --format=lzma` both .lzma → /dev/null",
        "7zz_x": "`7zz x` of the .7z (solid LZMA, same settings)",
        "tar_xJ": "`tar -xJf` of the .tar.xz (LZMA2, same settings)",
        "installer_wine": "the installer (i686) under wine on Xvfb, install click → process end",
        "nsis_wine": "NSIS installer (i686) under wine, `/S /D=…`, start → process end",
        "extract_wine": "`mkinstaller.exe extract` (i686, same engine, no window) under wine",
        "extract_disk": "native `mkinstaller extract` into the build tree's disk",
    }
    time_rows = []
    for k in ["extract", "dec_7zz", "dec_sdk", "dec_xz", "7zz_x", "tar_xJ", "installer_wine", "nsis_wine",
              "extract_wine", "extract_disk"]:
        if k not in S:
            continue
        cpu = "%.2f s" % S[k]["cpu"]
        rss = "%.1f MiB" % (S[k]["rss"] / MiB)
        time_rows.append("| %s | %.2f s | %.2f–%.2f s | %s | %s |" % (names[k], S[k]["wall"], rng[k][0], rng[k][1],
                                                                      cpu, rss))

    sections = section_table(inp["stub"])
    res_dir = os.path.join(os.path.dirname(out_dir), "res")
    bitmaps = sum(os.path.getsize(os.path.join(res_dir, n)) for n in os.listdir(res_dir) if n.endswith(".bmp")) \
        if os.path.isdir(res_dir) else 0
    icon = os.path.getsize(os.path.join(res_dir, "app.ico")) if os.path.exists(os.path.join(res_dir, "app.ico")) else 0

    mem_ok = peak - floor <= 16 * MiB
    img_ok = stub_size <= MiB
    sizes = {
        "installer payload (mkinstaller, 2 blocks)": payload,
        ".7z": os.path.getsize(inp["sevenz"]),
        ".tar.xz": os.path.getsize(inp["txz"]),
        "NSIS installer (whole file)": os.path.getsize(inp["nsis"]),
    }

    lines = []
    w = lines.append
    w("# Benchmark: the installer against its peers")
    w("")
    w("Measured by `make bench` (bench/run.sh, bench/bench.py) on the machine below; these figures are from "
      "that machine only. The machine is shared and has %d cores: absolute times move with its load "
      "(load average %s at the start, %s at the end), so every tool runs once per round, rounds are "
      "interleaved with a rotating start, and the table gives medians of %d rounds after a warm-up round. "
      "The ratios are the result." % (mach["cores"], load_before, load_after, rounds))
    w("")
    w("## Machine and versions")
    w("")
    w("- CPU: %s, %d cores; memory %.1f GiB; Linux %s; Debian %s"
      % (mach["cpu"], mach["cores"], mach["mem_gib"], mach["kernel"], mach["debian"]))
    for k, v in vers.items():
        w("- %s: %s" % (k, v))
    w("")
    w("## The product")
    w("")
    w("Generated by bench/make_product.py (same bytes on every Debian 12 machine with the same wine packages): "
      "%d files (%d at the top, the two launched programs among them) in %d directories nested up to %d levels, "
      "%d bytes (%.1f MB); i386 PE binaries from wine's %s, generated text, and already-compressed files. "
      "Tree hash %s."
      % (stats["files"], stats["top_files"], stats["dirs"], stats["depth"], stats["bytes"], stats["bytes"] / 1e6,
         PE_DIR, stats["sha256"][:16]))
    w("")
    w("| Block | stored bytes | unpacked bytes | properties | dictionary |")
    w("|---|---|---|---|---|")
    for i, b in enumerate(blocks):
        w("| %d | %d | %d | %d | %d |" % (i, b["stored"], b["unpacked"], b["props"], b["dict"]))
    w("")
    w("Compressed sizes (%s everywhere): %s." % (LZMA_SETTINGS, "; ".join("%s %d bytes" % kv for kv in sizes.items())))
    w("")
    w("## Ratios and targets")
    w("")
    w("| Comparison | ours (median) | peer (median) | ratio of medians | per-round ratios | CPU-time ratio | target | |")
    w("|---|---|---|---|---|---|---|---|")
    lines.extend(ratios)
    w("| peak memory of native `mkinstaller extract` − floor | %.1f MiB | floor %.1f MiB | **+%.1f MiB** | | | ≤ +16 MiB | %s |"
      % (peak / MiB, floor / MiB, (peak - floor) / MiB, "holds" if mem_ok else "MISSED"))
    w("| installer image (build/win32/setup-stub.exe) | %d bytes | 1 MiB = 1048576 | **%.3f** | | | ≤ 1 MiB | %s |"
      % (stub_size, stub_size / MiB, "holds" if img_ok else "MISSED by %d bytes" % (stub_size - MiB)))
    w("")
    w("Also: the installer from its start (window shown, click included) to its end takes %.2f s, %.3f × NSIS; "
      "the window costs %.3f × the same engine without a window (`mkinstaller.exe extract` under wine)."
      % (launch, launch_ratio, wine_engine_ratio))
    w("")
    gui = results["installer_wine"]
    w("The installer's install time in phases (medians, from the files' modification times): click to the first "
      "file written %.2f s (reading the payload, decoding the small first block), first to last file %.2f s, last "
      "file to the end of the process %.2f s (desktop shortcut, cashier program started, window closed)."
      % (med([r["to_first"] for r in gui]), med([r["files"] for r in gui]), med([r["after"] for r in gui])))
    w("")
    w("Memory floor = decoder window %d + largest block unpacked %d + compressed payload %d = %d bytes; "
      "peak = GNU time's maximum resident set size, median of the rounds." % (window, largest, payload, floor))
    w("")
    w("## Times")
    w("")
    w("| Tool | median wall | range | CPU (user+sys) | peak RSS |")
    w("|---|---|---|---|---|")
    lines.extend(time_rows)
    w("")
    w("Every run writes the whole tree into a fresh directory (removed and synced before the clock starts) and is "
      "checked afterwards (file count and bytes). Native runs write to %s; the wine runs "
      "into the wine prefix (the installer to its default Program Files directory). The installer's time runs from "
      "the moment xdotool is started to click install (the window already shown) to the end of its process; it "
      "ends after the desktop shortcut and the start of the cashier program, which the NSIS script does too. CPU "
      "time and peak memory come from GNU time and cover each whole process (for the installer: start, idle window, "
      "installation); CPU time moves less than wall time with the machine's load." % out_fs)
    if "extract_disk" in S:
        w("")
        w("Native extraction into RAM keeps the disk's file system out of the ratios, which compare the tools: on "
          "this machine the same extraction into the build tree's disk takes %.2f s (%.3f × into RAM), the "
          "difference being the file system's create and write path, which the other extracting tools pay too."
          % (S["extract_disk"]["wall"], S["extract_disk"]["wall"] / S["extract"]["wall"]))
    w("")
    if early:
        w("The installer ended before its window showed %d time(s) (%s) and was started again; those starts "
          "are not timed." % (len(early), "; ".join(early)))
        w("")
    w("## Installer image")
    w("")
    w("| Section | bytes |")
    w("|---|---|")
    for n, s in sections:
        w("| %s | %d |" % (n, s))
    w("")
    w("File size %d bytes; the resource section holds the bitmaps (%d bytes as files in res/, the 600 × 400 "
      "24-bit background alone 720054) and the icon (%d bytes)." % (stub_size, bitmaps, icon))
    w("")
    w("Chart: [install-times.png](install-times.png). `make bench` took %.0f s for this run." % elapsed)
    w("")
    text = "\n".join(lines)
    with open(os.path.join(out_dir, "results.md"), "w") as f:
        f.write(text)
    print(text)
    chart(S, rng, out_dir, rounds)


def chart(S, rng, out_dir, rounds):
    # Colour 1: this installer and its engine; 2: the peers; 3: decode-only references.
    rows = [("mkinstaller extract (native)", "extract", 1), ("7zz x .7z (native)", "7zz_x", 2),
            ("tar -xJf (native)", "tar_xJ", 2), ("decode only: 7zz", "dec_7zz", 3),
            ("decode only: lzma_alone", "dec_sdk", 3), ("decode only: xz", "dec_xz", 3),
            ("installer, wine (click to end)", "installer_wine", 1), ("NSIS /S, wine", "nsis_wine", 2),
            ("mkinstaller.exe extract, wine", "extract_wine", 1)]
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "times.dat")
        with open(data, "w") as f:
            for i, (label, k, c) in enumerate(rows):
                f.write('%d "%s" %.3f %.3f %.3f %d\n' % (i, label, S[k]["wall"], rng[k][0], rng[k][1], c))
        script = os.path.join(tmp, "chart.gp")
        bars = ", ".join('"%s" using 1:($6==%d?$3:1/0):xtic(2) with boxes lc rgb "%s" title "%s"' % (data, c, rgb, t)
                         for c, rgb, t in [(1, "#c0392b", "this installer / its engine"),
                                           (2, "#2e86c1", "peers: 7-Zip, xz, NSIS"),
                                           (3, "#95a5a6", "decode-only references")])
        with open(script, "w") as f:
            f.write("""set terminal pngcairo size 1100,600 font ",10" noenhanced
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
plot %s, \\
     "%s" using 1:3:4:5 with yerrorbars lc rgb "#333333" pt 0 notitle, \\
     "" using 1:($5+0.2):(sprintf("%%.2f", $3)) with labels font ",9" notitle
""" % (os.path.join(out_dir, "install-times.png"), rounds, bars, data))
        run(["gnuplot", script])


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
    display = Display()
    try:
        log("measuring, %d rounds after a warm-up round, display %s" % (a.rounds, display.name))
        results = measure(inp, a.rounds, display)
    finally:
        display.stop()
    load_after = open("/proc/loadavg").read().split()[0]
    report(inp, results, machine(), versions(inp), a.rounds, load_before, load_after, os.path.abspath(a.out),
           time.time() - start)


if __name__ == "__main__":
    main()
