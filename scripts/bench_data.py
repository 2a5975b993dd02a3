#!/usr/bin/env python3
"""The file sets of make bench, of random bytes:
  bench_data.py small DIR   100 folders of 200 files of 1 to 8 KiB below DIR/system (20,000 files)
  bench_data.py many DIR    1,000 files of 1 to 8 KiB in DIR
  bench_data.py mixed DIR   1,000 files of 256 KiB in ten folders below DIR/mixed
  bench_data.py far DIR     300 files of 2 to 8 KiB in ten folders below DIR/far
  bench_data.py farbig DIR  one 64 MiB file, DIR/far/d05/big.dat: with far's, it sorts in the middle
  bench_data.py tenk DIR    10,000 files of 100 to 900 bytes in 100 folders below DIR/tenk
"""
import os
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


if __name__ == "__main__":
    {"small": small, "many": many, "mixed": mixed, "far": far, "farbig": farbig, "tenk": tenk}[sys.argv[1]](sys.argv[2])
