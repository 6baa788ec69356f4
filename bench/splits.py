#!/usr/bin/env python3
"""The product packed at several block sizes: what each costs in compressed size and packing time, and what it
buys in native extraction time (blocks decode on every core) and costs in peak memory.

    bench/splits.py --build BUILD_DIR [--runs N]     (prints the table; bench/bench.py puts it in results.md)

The packs are cached in BUILD_DIR/bench/ with their packing figures and made again only when the product tree
or the settings change, one at a time so their times do not compete; a re-run only measures extraction.
"""
import json
import os

from benchlib import (MiB, Timer, clean, log, med, product_tree, quick_tree_check, ram_dir, read_payload,
                      script_setup)

# --block-size values in MiB, the reference first: 256M puts the whole product in as few blocks as the format
# allows at this dictionary, the top files' block and the rest. 64M is the largest size of which two blocks fit
# in the engine's 128 MiB budget of unpacked bytes in flight and so decode side by side. Pack's default split
# (no --block-size: a quarter of the product) is packed beside them (default_pack).
SPLITS_MIB = [256, 80, 64, 20, 10]
PACK_SETTINGS = ["--dict", "128M", "--level", "9"]
# The serial pack: every block on one thread, no stored blocks, the reference's blocks.
SERIAL_ARGS = ["--jobs", "1", "--no-stored", "--block-size", "256M"]


def pack_with(cache, tree, tree_key, build, name, args, timer):
    """The product packed with PACK_SETTINGS and args into name.exe, with its figures: path, payload bytes,
    blocks, largest block unpacked, and the packing's wall time, CPU time and peak memory (from when it was
    packed)."""
    out = os.path.join(cache.dir, name + ".exe")
    figures = os.path.join(cache.dir, name + ".json")
    key = "%s pack %s %s" % (tree_key, " ".join(PACK_SETTINGS), " ".join(args))
    if not (cache.fresh(name, key) and os.path.exists(out) and os.path.exists(figures)):
        log("packing the product as %s (a minute or two, once)" % name)
        r = timer([build.mkinstaller, "pack", "--stub", build.stub, "--out", out] + args + PACK_SETTINGS + [tree])
        with open(figures, "w") as f:
            json.dump({"pack_wall": r["wall"], "pack_cpu": r["cpu"], "pack_rss": r["rss"]}, f)
        cache.done(name, key)
    with open(figures) as f:
        p = json.load(f)
    pl = read_payload(out)
    p.update(name=name, path=out, bytes=len(pl["payload"]), blocks=len(pl["sizes"]),
             stored=sum(1 for b in pl["blocks"] if b[4] == 255),
             largest=max(int.from_bytes(b[:4], "big") for b in pl["blocks"]))
    return p


def pack_split(cache, tree, tree_key, build, mib, timer):
    """The product packed in blocks of at most mib MiB (pack_with), with mib and its label."""
    p = pack_with(cache, tree, tree_key, build, "split-%dM" % mib, ["--block-size", "%dM" % mib], timer)
    p.update(mib=mib, label="%dM" % mib)
    return p


def default_pack(cache, tree, tree_key, build, timer=None):
    """The product packed with pack's own split (pack_with, no --block-size); mib is its largest block rounded
    up to a MiB, the block size the peers that decode in blocks are given."""
    p = pack_with(cache, tree, tree_key, build, "split-default", [], timer or Timer())
    p.update(mib=-(-p["largest"] // MiB), label="default")
    return p


def serial_pack(cache, tree, tree_key, build):
    """The product packed the way pack did before blocks were encoded side by side (pack_with): one thread,
    no stored blocks, two blocks. The reference of the packing-time target."""
    return pack_with(cache, tree, tree_key, build, "serial-256M", SERIAL_ARGS, Timer())


def split_packs(cache, tree, tree_key, build):
    """Every split's pack (pack_split), the reference first, and pack's default among them by block size."""
    timer = Timer()
    packs = [pack_split(cache, tree, tree_key, build, mib, timer) for mib in SPLITS_MIB]
    packs.append(default_pack(cache, tree, tree_key, build, timer))
    return packs[:1] + sorted(packs[1:], key=lambda p: -p["largest"])


def default_of(packs):
    return next(p for p in packs if p["label"] == "default")


def measure_splits(packs, mkinstaller, stats, outdir, runs=3):
    """Native `mkinstaller extract` of every split into outdir, runs times, splits interleaved with a rotating
    start; the medians of wall time, CPU time and peak memory, by block size."""
    timer = Timer()
    d = os.path.join(outdir, "split")
    got = {p["name"]: [] for p in packs}
    for rnd in range(runs):
        log("block sizes: extraction run %d of %d" % (rnd + 1, runs))
        k = rnd % len(packs)
        for p in packs[k:] + packs[:k]:
            clean(d)
            os.makedirs(d)
            got[p["name"]].append(timer([mkinstaller, "extract", p["path"], d]))
            quick_tree_check(d, stats)
    clean(d)
    return {name: {f: med([r[f] for r in rs]) for f in ("wall", "cpu", "rss")} for name, rs in got.items()}


def split_section(packs, times, runs, cores):
    """The block-size table and pack's default split, as results.md lines."""
    ref, chosen = packs[0], default_of(packs)
    lines = ["## Block size: size against extraction time", ""]
    lines.append("The product packed with `mkinstaller pack %s --block-size B` for each B, and without --block-size "
                 "(pack's default split: a quarter of the product, at most 63 MiB, so that a product of a few tens "
                 "of MB or more makes at least 4 blocks of about equal size) (bench/splits.py; the packs are cached, "
                 "their times are from when each was made, one at a time, on this shared machine). Compressed size "
                 "is the payload (all blocks); the reference is B = %dM, the whole product in as few blocks as the "
                 "format allows at this dictionary (the top files' block and the rest). Extraction: native "
                 "`mkinstaller extract` into RAM, median of %d runs interleaved across the splits, %d cores; peak "
                 "memory is GNU time's maximum resident set size. The engine decodes a block per core while the "
                 "unpacked bytes in flight stay within its budget (src/payload/pipeline.h)."
                 % (" ".join(PACK_SETTINGS), ref["mib"], runs, cores))
    lines += ["", "| --block-size | blocks | largest block unpacked | compressed bytes | × reference | pack wall "
              "| pack CPU | extract wall | extract CPU | extract peak memory |", "|---|---|---|---|---|---|---|---|---|---|"]
    for p in packs:
        t = times[p["name"]]
        label = {ref["name"]: "%s (reference)" % p["label"], chosen["name"]: "**pack's default**"}.get(p["name"],
                                                                                                     p["label"])
        lines.append("| %s | %d | %.1f MiB | %d | **%.4f** | %.0f s | %.0f s | %.2f s | %.2f s | %.1f MiB |"
                     % (label, p["blocks"], p["largest"] / MiB, p["bytes"], p["bytes"] / ref["bytes"],
                        p["pack_wall"], p["pack_cpu"], t["wall"], t["cpu"], t["rss"] / MiB))
    t_ref, t_ch = times[ref["name"]], times[chosen["name"]]
    lines += ["", "Pack's default split costs %.4f × the reference's compressed size (%d bytes more) and buys %d "
              "blocks: extraction %.2f s against %.2f s (%.3f ×), peak memory %.1f MiB against %.1f MiB. The "
              "benchmark's rounds extract it as the default pack (the times' table)."
              % (chosen["bytes"] / ref["bytes"], chosen["bytes"] - ref["bytes"], chosen["blocks"], t_ch["wall"],
                 t_ref["wall"], t_ch["wall"] / t_ref["wall"], t_ch["rss"] / MiB, t_ref["rss"] / MiB), ""]
    return lines


def main():
    build, cache, runs = script_setup()
    tree, stats = product_tree(cache, build.programs)
    packs = split_packs(cache, tree, stats["sha256"], build)
    outdir = ram_dir() or os.path.join(cache.dir, "out")
    try:
        times = measure_splits(packs, build.mkinstaller, stats, outdir, runs)
    finally:
        clean(outdir)
    print("\n".join(split_section(packs, times, runs, os.cpu_count())))


if __name__ == "__main__":
    main()
