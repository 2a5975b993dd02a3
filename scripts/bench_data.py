#!/usr/bin/env python3
"""The file sets of make bench, of random bytes:
  bench_data.py small DIR   100 folders of 200 files of 1 to 8 KiB below DIR/system (20,000 files)
  bench_data.py many DIR    1,000 files of 1 to 8 KiB in DIR
  bench_data.py mixed DIR   1,000 files of 256 KiB in ten folders below DIR/mixed
  bench_data.py far DIR     300 files of 2 to 8 KiB in ten folders below DIR/far
  bench_data.py farbig DIR  one 64 MiB file, DIR/far/d05/big.dat: with far's, it sorts in the middle
  bench_data.py tenk DIR    10,000 files of 100 to 900 bytes in 100 folders below DIR/tenk
  bench_data.py patch DIR   a large file and two new versions of it, the same bytes every time
                            (a fixed seed), so that patch runs compare across machines and days:
                              DIR/old.bin    200,000,000 bytes
                              DIR/new-a.bin  20 regions of old.bin changed, 10,000,000 bytes in
                                             all: 7 inserted (everything after them moves on) and
                                             13 written over, one in each twentieth of the file
                              DIR/new-b.bin  2,000 small edits written over old.bin at scattered
                                             places, 524,288 bytes in all (262 or 263 each)
                            and DIR/changes.txt, one line per change: the version, its kind, its
                            offset in old.bin and its length.
"""
import os
import random
import sys


def write(path, length):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(os.urandom(length))


def small(root):
    for folder in range(100):
        for i in range(200):
            write(os.path.join(root, "system", "f%03d" % folder, "s%03d.dat" % i),
                  1024 + (folder * 200 + i) * 37 % 7168)


def many(root):
    for i in range(1000):
        write(os.path.join(root, "m%04d.dat" % i), 1024 + i * 53 % 7168)


def mixed(root):
    for i in range(1000):
        write(os.path.join(root, "mixed", "d%02d" % (i // 100), "f%04d.dat" % i), 256 << 10)


def far(root):
    for i in range(300):
        write(os.path.join(root, "far", "d%02d" % (i // 30), "f%04d.dat" % i), 2048 + i * 61 % 6145)


def farbig(root):
    write(os.path.join(root, "far", "d05", "big.dat"), 64 << 20)


def tenk(root):
    for i in range(10000):
        write(os.path.join(root, "tenk", "d%02d" % (i // 100), "f%05d.dat" % i), 100 + i * 29 % 801)


PATCH_SEED = 20240610
PATCH_LENGTH = 200000000
PATCH_A_BYTES = 10000000
PATCH_A_REGIONS = 20
PATCH_A_INSERTIONS = 7
PATCH_B_BYTES = 524288
PATCH_B_EDITS = 2000


def patch(root):
    os.makedirs(root, exist_ok=True)
    rng = random.Random(PATCH_SEED)
    # The old file in 1 MiB steps: the same bytes as one call would give, without a 1.6 Gbit integer.
    with open(os.path.join(root, "old.bin"), "wb") as f:
        left = PATCH_LENGTH
        while left:
            step = min(left, 1 << 20)
            f.write(rng.randbytes(step))
            left -= step
    with open(os.path.join(root, "old.bin"), "rb") as f:
        old = f.read()
    changes = []

    # 10a: region sizes that vary about fourfold and add up exactly, one region in each twentieth.
    weights = [rng.uniform(0.4, 1.6) for _ in range(PATCH_A_REGIONS)]
    sizes = [int(PATCH_A_BYTES * w / sum(weights)) for w in weights]
    sizes[-1] += PATCH_A_BYTES - sum(sizes)
    inserted = set(rng.sample(range(PATCH_A_REGIONS), PATCH_A_INSERTIONS))
    slot = PATCH_LENGTH // PATCH_A_REGIONS
    pieces = []
    at = 0
    for i, size in enumerate(sizes):
        offset = i * slot + rng.randrange(slot - size)
        pieces.append(old[at:offset])
        pieces.append(rng.randbytes(size))
        kind = "insert" if i in inserted else "replace"
        at = offset if kind == "insert" else offset + size
        changes.append("a %s %d %d" % (kind, offset, size))
    pieces.append(old[at:])
    with open(os.path.join(root, "new-a.bin"), "wb") as f:
        for piece in pieces:
            f.write(piece)

    # 10b: 2,000 places that do not touch each other; the first edits take the one byte more.
    longer = PATCH_B_BYTES - 262 * PATCH_B_EDITS
    lengths = [263 if i < longer else 262 for i in range(PATCH_B_EDITS)]
    rng.shuffle(lengths)
    while True:
        offsets = sorted(rng.randrange(PATCH_LENGTH - 263) for _ in range(PATCH_B_EDITS))
        if all(b - a >= 263 for a, b in zip(offsets, offsets[1:])):
            break
    new = bytearray(old)
    for offset, length in zip(offsets, lengths):
        new[offset:offset + length] = rng.randbytes(length)
        changes.append("b replace %d %d" % (offset, length))
    with open(os.path.join(root, "new-b.bin"), "wb") as f:
        f.write(new)
    with open(os.path.join(root, "changes.txt"), "w") as f:
        f.write("\n".join(changes) + "\n")


if __name__ == "__main__":
    {"small": small, "many": many, "mixed": mixed, "far": far, "farbig": farbig, "tenk": tenk,
     "patch": patch}[sys.argv[1]](sys.argv[2])
