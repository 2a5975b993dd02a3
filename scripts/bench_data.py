#!/usr/bin/env python3
"""The file sets of make bench, of random bytes:
  bench_data.py small DIR   100 folders of 200 files of 1 to 8 KiB below DIR/system (20,000 files)
  bench_data.py many DIR    1,000 files of 1 to 8 KiB in DIR
  bench_data.py mixed DIR   1,000 files of 256 KiB in ten folders below DIR/mixed
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


if __name__ == "__main__":
    {"small": small, "many": many, "mixed": mixed}[sys.argv[1]](sys.argv[2])
