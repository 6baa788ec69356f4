"""What the benchmark's scripts share: logging, running and timing commands, the cache of inputs, the product
tree and its checks, and the output directory in RAM."""
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
