"""What the benchmark's scripts share: logging, running and timing commands, the cache of inputs, the product
tree and its checks, and the output directory in RAM."""
import argparse
import hashlib
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import winlab  # noqa: E402

MiB = 1024 * 1024
PE_DIR = "/usr/lib/i386-linux-gnu/wine/i386-windows"


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


def script_setup(default_runs=3):
    """A bench script run alone: its command line (--build BUILD_DIR [--runs N]), the build tree, and the cache of
    inputs in BUILD_DIR/bench/ (created). Returns (build, cache, runs)."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--runs", type=int, default=default_runs)
    a = ap.parse_args()
    build = winlab.BuildTree(os.path.abspath(a.build))
    cache = Cache(os.path.join(build.dir, "bench"))
    os.makedirs(cache.dir, exist_ok=True)
    return build, cache, a.runs


def product_key(programs):
    """What the product tree is made of: the generator, wine's PE files it picks from and the two programs."""
    here = os.path.dirname(os.path.abspath(__file__))
    h = hashlib.sha256(open(os.path.join(here, "make_product.py"), "rb").read())
    for n in sorted(os.listdir(PE_DIR)):
        st = os.stat(os.path.join(PE_DIR, n))
        h.update(("%s %d %d\n" % (n, st.st_size, int(st.st_mtime))).encode())
    for n in winlab.SAMPLE_PROGRAMS:
        h.update(sha256_file(os.path.join(programs, n)).encode())
    return h.hexdigest()


def product_tree(cache, programs):
    """The product tree in the cache and its statistics (tree_stats), generated when its key changed."""
    tree = os.path.join(cache.dir, "product")
    key = product_key(programs)
    if not cache.fresh("product", key):
        log("generating the product tree in %s" % tree)
        shutil.rmtree(tree, ignore_errors=True)
        here = os.path.dirname(os.path.abspath(__file__))
        run([sys.executable, os.path.join(here, "make_product.py"), PE_DIR, programs, tree])
        stats = tree_stats(tree)
        json.dump(stats, open(os.path.join(cache.dir, "product.json"), "w"))
        cache.done("product", key)
    return tree, json.load(open(os.path.join(cache.dir, "product.json")))


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
        return dict(wall=wall, **read_time(self.tf))


def read_time(path):
    """CPU seconds (user + system) and peak resident bytes from GNU time's "%U %S %M"."""
    u, s, m = open(path).read().split()[-3:]
    return {"cpu": float(u) + float(s), "rss": int(m) * 1024}


def clean(path):
    shutil.rmtree(path, ignore_errors=True)
    os.sync()


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


def med(xs):
    return statistics.median(xs)


def read_payload(path):
    """Blocks, directory and trailer of an installer file: `image` is the program image, `manifest` the
    manifest (b"" without one), `payload` the blocks, `table` the blocks' checksum table (b"" without one)."""
    with open(path, "rb") as f:
        data = f.read()
    dir_offset, total, flags = struct.unpack(">IIB", data[-9:])
    first, count = struct.unpack(">II", data[dir_offset:dir_offset + 8])
    sizes = struct.unpack(">%dI" % count, data[dir_offset + 8:dir_offset + 8 + 4 * count])
    blocks, pos = [], first
    for s in sizes:
        blocks.append(data[pos:pos + s])
        pos += s
    table_at = dir_offset + 8 + 4 * count
    table = data[table_at:table_at + 4 * count] if flags & 0x80 else b""
    image_end, manifest = first, b""
    if flags & 0x40:
        m, length, _ = struct.unpack(">IIi", data[-21:-9])
        image_end, manifest = m, data[m:m + length]
    return {"first": first, "sizes": list(sizes), "total": total, "flags": flags, "blocks": blocks,
            "image": data[:image_end], "manifest": manifest, "payload": data[first:dir_offset], "table": table}


def pe_checksum_offset(image):
    """Where a PE image keeps its CheckSum field: optional header (PE header + 24) + 64."""
    return struct.unpack("<I", image[0x3C:0x40])[0] + 24 + 64


def pe_checksum(data, field):
    """The PE checksum of the whole file (docs/format.md, section 1.2): 16-bit little-endian words, the field
    taken as zero, carries folded back in, plus the file's length."""
    body = bytearray(data)
    body[field:field + 4] = bytes(4)
    if len(body) % 2:
        body.append(0)
    total = sum(memoryview(body).cast("H"))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def restub(packed_path, stub_path, out_path):
    """The packed manifest and blocks behind another program image: only the offsets of the directory, the
    manifest's locator and the trailer change, and the whole file's checksum (the blocks' and the manifest's
    CRCs cover their own bytes)."""
    p = read_payload(packed_path)
    with open(stub_path, "rb") as f:
        stub = f.read()
    manifest_at, first = len(stub), len(stub) + len(p["manifest"])
    n = len(p["sizes"])
    tail = struct.pack(">II", first, n) + struct.pack(">%dI" % n, *p["sizes"]) + p["table"]
    if p["flags"] & 0x40:
        tail += struct.pack(">II", manifest_at, len(p["manifest"])) + struct.pack(">I", zlib.crc32(p["manifest"]))
    tail += struct.pack(">IIB", first + len(p["payload"]), p["total"], p["flags"])
    data = bytearray(stub + p["manifest"] + p["payload"] + tail)
    field = pe_checksum_offset(stub)
    data[field:field + 4] = struct.pack("<I", pe_checksum(data, field))
    tmp = out_path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, out_path)
