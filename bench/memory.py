#!/usr/bin/env python3
"""Peak memory of installing products of growing size: one large log file (a file larger than a block, cut into
pieces in consecutive blocks), and media that LZMA cannot shrink (stored blocks); and the smaller product, a
~65 MB part of the benchmark's, that the rounds extract beside `tar -xJf` too.

    bench/memory.py --build BUILD_DIR [--runs N]     (prints the table; bench/bench.py puts it in results.md)

Each product is the sample's two programs at the top and the generated data below them, the same bytes on every
machine, packed by `mkinstaller pack` with its defaults (no --block-size, level 9) and cached in BUILD_DIR/bench/.
The peak is GNU time's maximum resident set size of native `mkinstaller extract` (the installer's engine).
"""
import os
import random
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
import winlab  # noqa: E402
from benchlib import (MiB, Timer, clean, log, med, quick_tree_check, ram_dir, read_payload, script_setup,  # noqa: E402
                      tree_stats)

MB = 1000 * 1000
# The bound on an installation's peak memory, whatever the product: a 32-bit installer on a terminal with
# 1-2 GiB keeps well inside its address space and leaves room for the rest of the machine.
PEAK_LIMIT_MIB = 160
# Products by name: what they hold, (kind, files, bytes per file). The largest of each kind is the case the
# bound is stated for; the smaller ones show how the peak follows the size.
PRODUCTS = [
    ("log-50MB", "one 50 MB log file", ("log", 1, 50 * MB)),
    ("log-200MB", "one 200 MB log file", ("log", 1, 200 * MB)),
    ("media-100MB", "100 MB of media LZMA cannot shrink (4 files)", ("media", 4, 25 * MB)),
    ("media-300MB", "300 MB of media LZMA cannot shrink (10 files)", ("media", 10, 30 * MB)),
]
# The smaller product of the rounds: the benchmark product's top files, then its files in name order until
# this many bytes.
SMALL_PRODUCT_BYTES = 65 * MB
# A generator's revision: a change to what it writes makes the cached products again.
GENERATOR = "memory-products 1"

LOG_WORDS = ["order", "table", "cashier", "member", "discount", "printer", "kitchen", "delivery", "settle",
             "refund", "coupon", "shift", "stock", "supplier", "report", "backup", "sync", "waiter", "amount",
             "status", "device", "session", "queue", "retry", "timeout", "connected", "ok", "warning"]


def log_bytes(seed, size):
    """A service log of `size` bytes: numbered, timestamped lines of words from a fixed seed."""
    rng = random.Random(seed)
    out, total, n = [], 0, 0
    while total < size:
        words = rng.choices(LOG_WORDS, k=8 * 4096)
        for i in range(4096):
            line = "2026-03-%02d %02d:%02d:%02d.%03d [%d] %s\n" % (
                1 + n // 2000000 % 28, n // 90000 % 24, n // 1500 % 60, n // 25 % 60, n % 1000, n % 7,
                " ".join(words[8 * i:8 * i + 8]))
            out.append(line)
            total += len(line)
            n += 1
    return "".join(out).encode()[:size]


def write_product(root, programs, kind, files, size):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(os.path.join(root, kind))
    for name in winlab.SAMPLE_PROGRAMS:
        shutil.copy(os.path.join(programs, name), os.path.join(root, name))
    for i in range(files):
        data = log_bytes(i, size) if kind == "log" else random.Random(1000 + i).randbytes(size)
        with open(os.path.join(root, kind, "%s-%02d.%s" % (kind, i, "log" if kind == "log" else "bin")), "wb") as f:
            f.write(data)


def default_pack_of(cache, name, tree, key, stub, mkinstaller):
    """The tree packed by pack's defaults onto stub, made again when key changes; with its figures."""
    out = os.path.join(cache.dir, name + ".exe")
    if not (cache.fresh(name + "-pack", key) and os.path.exists(out)):
        log("packing %s (a minute or two, once)" % name)
        Timer()([mkinstaller, "pack", "--stub", stub, "--out", out, tree])
        cache.done(name + "-pack", key)
    pl = read_payload(out)
    return {"name": name, "path": out, "bytes": len(pl["payload"]), "blocks": len(pl["sizes"]),
            "stored": sum(1 for b in pl["blocks"] if b[4] == 255),
            "largest": max(int.from_bytes(b[:4], "big") for b in pl["blocks"])}


def memory_products(cache, build):
    """Every product of PRODUCTS generated and packed (cached), with its tree's statistics."""
    products = []
    for name, what, (kind, files, size) in PRODUCTS:
        tree = os.path.join(cache.dir, name)
        key = "%s %s %d %d" % (GENERATOR, kind, files, size)
        if not (cache.fresh(name, key) and os.path.isdir(tree)):
            log("generating %s" % name)
            write_product(tree, build.programs, kind, files, size)
            cache.done(name, key)
        stats = tree_stats(tree)
        p = default_pack_of(cache, name, tree, stats["sha256"], build.stub, build.mkinstaller)
        p.update(what=what, stats=stats)
        products.append(p)
    return products


def small_product(cache, tree, stats):
    """The smaller product: the benchmark product's top files, then its files in name order (directories
    sorted, depth first) until SMALL_PRODUCT_BYTES, hard-linked from it; with its statistics."""
    small = os.path.join(cache.dir, "product-65MB")
    key = "%s %s %d" % (GENERATOR, stats["sha256"], SMALL_PRODUCT_BYTES)
    if not (cache.fresh("product-65MB", key) and os.path.isdir(small)):
        shutil.rmtree(small, ignore_errors=True)
        total = 0
        for cur, dnames, fnames in os.walk(tree):
            dnames.sort()
            rel = os.path.relpath(cur, tree)
            for n in sorted(fnames):
                if total >= SMALL_PRODUCT_BYTES and rel != ".":
                    break
                os.makedirs(os.path.join(small, rel), exist_ok=True)
                os.link(os.path.join(cur, n), os.path.join(small, rel, n))
                total += os.path.getsize(os.path.join(cur, n))
        cache.done("product-65MB", key)
    return small, tree_stats(small)


def measure_memory(products, mkinstaller, runs=3):
    """Native `mkinstaller extract` of every product into RAM (else the cache's disk), runs times; the
    medians of wall time, CPU time and peak memory, by name."""
    timer = Timer()
    outdir = ram_dir() or os.path.join(os.path.dirname(products[0]["path"]), "out")
    d = os.path.join(outdir, "memory")
    got = {p["name"]: [] for p in products}
    try:
        for rnd in range(runs):
            log("memory: extraction run %d of %d" % (rnd + 1, runs))
            for p in products:
                clean(d)
                os.makedirs(d)
                got[p["name"]].append(timer([mkinstaller, "extract", p["path"], d]))
                quick_tree_check(d, p["stats"])
    finally:
        clean(outdir)
    return {name: {f: med([r[f] for r in rs]) for f in ("wall", "cpu", "rss")} for name, rs in got.items()}


def memory_section(products, times, runs, bench_row):
    """The peak-memory table, as results.md lines; bench_row: (label, product bytes, blocks, largest block,
    stored blocks, peak bytes) of the benchmark product's default pack, measured in the rounds."""
    lines = ["## Peak memory of installing, by product", ""]
    lines.append("Each product packed by `mkinstaller pack` with its defaults (pack's split, level 9, stored blocks "
                 "for what LZMA does not shrink, a file larger than a block cut into pieces in consecutive "
                 "blocks), then extracted by native `mkinstaller extract` (the installer's engine) into RAM, "
                 "median of %d runs; peak = GNU time's maximum resident set size. Bound: %d MiB for any product."
                 % (runs, PEAK_LIMIT_MIB))
    lines += ["", "| Product | bytes | blocks (stored) | largest block unpacked | extract wall | peak memory | "
              "bound | |", "|---|---|---|---|---|---|---|---|"]
    rows = [(p["what"], p["stats"]["bytes"], p["blocks"], p["largest"], p["stored"], times[p["name"]]["rss"],
             "%.2f s" % times[p["name"]]["wall"]) for p in products] + [bench_row + ("(the rounds)",)]
    for what, size, blocks, largest, stored, rss, wall in rows:
        lines.append("| %s | %.1f MB | %d (%d) | %.1f MiB | %s | **%.1f MiB** | ≤ %d MiB | %s |"
                     % (what, size / MB, blocks, stored, largest / MiB, wall, rss / MiB, PEAK_LIMIT_MIB,
                        "holds" if rss <= PEAK_LIMIT_MIB * MiB else "MISSED"))
    lines += ["", "How the peak follows the product: the engine holds at most the blocks being decoded (their "
              "unpacked bytes within its 128 MiB budget, each block at most pack's 63 MiB default) and a 1 MiB "
              "window of each block it reads from the installer; a stored block is copied through that window. "
              "So the peak grows with the block size, not with the product: %s." % "; ".join(
                  "%s %.1f MiB" % (what, rss / MiB) for what, _, _, _, _, rss, _ in rows), ""]
    return lines


def main():
    build, cache, runs = script_setup()
    products = memory_products(cache, build)
    times = measure_memory(products, build.mkinstaller, runs)
    for p in products:
        print("%s: %d blocks (%d stored), largest %.1f MiB, peak %.1f MiB, %.2f s"
              % (p["what"], p["blocks"], p["stored"], p["largest"] / MiB, times[p["name"]]["rss"] / MiB,
                 times[p["name"]]["wall"]))


if __name__ == "__main__":
    main()
