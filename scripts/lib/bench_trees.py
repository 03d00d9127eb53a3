#!/usr/bin/env python3
"""Inputs of scripts/bench-archive, always the same bytes for the same seed.

  bench_trees.py tree HOME SHAPE SEED        a home directory with HOME/profile
  bench_trees.py manifest HOME COPY FILE     each file's size in HOME, its path in COPY
  bench_trees.py restore FILE                sizes back to the manifest's
  bench_trees.py crafted-records ARCHIVE N   N tiny records of one file
  bench_trees.py crafted-name ARCHIVE BYTES  one record with a BYTES-long name
  bench_trees.py tar-excludes HEADER         the exclusion list in HEADER as tar options

Shapes: a (5,000 files, 200 MB, nested, profile-shaped), b (50,000 small files,
100 MB, nested to depth 5), c (100,000 small files, 100 MB, in one directory).
Every shape also holds the settings file and the caches and backups that the
pack leaves out.
"""
import os
import random
import re
import struct
import sys

SHAPES = {
    # files, megabytes
    "a": (5000, 200),
    "b": (50000, 100),
    "c": (100000, 100),
}
PROFILE_DIRS = ["", "mail", "mail/Inbox", "mail/Local Folders/Sent", "storage/default/a",
                "storage/default/b/idb", "extensions", "sessionstore-backups", "chrome"]


def weights_for(shape, count, rng):
    weights = []
    for _ in range(count):
        if shape != "a":
            weights.append(rng.uniform(0.1, 4))
            continue
        r = rng.random()
        if r < 0.80:
            weights.append(rng.uniform(0.2, 16))        # prefs, mail
        elif r < 0.98:
            weights.append(rng.uniform(16, 800))        # databases
        else:
            weights.append(rng.uniform(5000, 40000))    # mailboxes
    return weights


def directory_for(shape, rng):
    if shape == "a":
        return rng.choice(PROFILE_DIRS)
    if shape == "c":
        return "storage/entries"
    # b: one to five levels, four names a level
    depth = rng.randint(1, 5)
    return "/".join("d%d" % rng.randrange(4) for _ in range(depth))


def tree(home, shape, seed):
    count, megabytes = SHAPES[shape]
    rng = random.Random(seed)
    weights = weights_for(shape, count, rng)
    scale = megabytes * 1024 * 1024 / sum(weights)
    block = random.Random(seed + 1).randbytes(1 << 20)
    profile = os.path.join(home, "profile")
    made = set()
    for i, w in enumerate(weights):
        d = os.path.join(profile, directory_for(shape, rng))
        if d not in made:
            os.makedirs(d, exist_ok=True)
            made.add(d)
        name = os.path.join(d, "file%06d%s" % (i, rng.choice([".dat", ".sqlite", ".json", ""])))
        size = int(w * scale)
        with open(name, "wb") as f:
            offset = rng.randrange(1 << 19)
            while size > 0:
                n = min(size, len(block) - offset)
                f.write(block[offset:offset + n])
                size -= n
                offset = 0
    with open(os.path.join(profile, "ilvar6.ini"), "w") as f:
        f.write(("path=%s/profile\n" % home) * 50)
    for excluded in ["cache4", "Images", "Uninst"]:
        os.makedirs(os.path.join(profile, excluded), exist_ok=True)
        for i in range(20):
            with open(os.path.join(profile, excluded, "x%d" % i), "wb") as f:
                f.write(block[:4096])
    with open(os.path.join(profile, "prefs.bak"), "wb") as f:
        f.write(block[:4096])


def manifest(source, copy, out):
    """Sizes of the files of source, named by their paths in copy."""
    source = os.path.abspath(source)
    copy = os.path.abspath(copy)
    with open(out, "w") as f:
        for top, _dirs, files in os.walk(source):
            for name in files:
                path = os.path.join(top, name)
                target = os.path.join(copy, os.path.relpath(path, source))
                f.write("%d %s\n" % (os.lstat(path).st_size, target))


def restore(listing):
    with open(listing) as f:
        for line in f:
            size, path = line.rstrip("\n").split(" ", 1)
            os.truncate(path, int(size))


def record(name, data):
    return (b"file" + struct.pack("<I", len(name)) + name + struct.pack("<I", len(data)) +
            struct.pack("<I", 0) + b"asli" + data)


def crafted(archive, records):
    with open(archive, "wb") as f:
        f.write(b"IL10")
        for r in records:
            f.write(r)
        f.write(b"abis")


def exclusion_patterns(header):
    """The string literals of kExclusionPatterns' initialiser in the header."""
    with open(header, encoding="utf-8") as f:
        text = f.read()
    found = re.search(r"kExclusionPatterns\s*=\s*\{(.*?)\};", text, re.S)
    if not found:
        sys.exit("no kExclusionPatterns in " + header)
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', found.group(1))
    if not literals:
        sys.exit("kExclusionPatterns in %s holds no pattern" % header)
    return [re.sub(r"\\(.)", r"\1", s) for s in literals]


def tar_excludes(header):
    """Tar options leaving out what the pack leaves out: each pattern is
    matched against the whole path below the profile directory, in any
    letter case, and its "*" runs across directories, as tar's exclusions
    do by default."""
    options = ["--anchored", "--ignore-case"]
    for pattern in exclusion_patterns(header):
        # tar reads "[" as a character class; the pack takes it as itself.
        pattern = pattern.replace("[", "[[]").replace("\\", "/")
        options.append("--exclude=./" + pattern)
    return " ".join(options)


def main():
    what = sys.argv[1]
    if what == "tree":
        tree(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    elif what == "manifest":
        manifest(sys.argv[2], sys.argv[3], sys.argv[4])
    elif what == "restore":
        restore(sys.argv[2])
    elif what == "crafted-records":
        # The same empty file again and again: only the per-record work
        # counts. (Data would make ext4 flush the file at every close after
        # its truncation, and time the disk instead.)
        one = record(b"d/x", b"")
        crafted(sys.argv[2], (one for _ in range(int(sys.argv[3]))))
    elif what == "crafted-name":
        length = int(sys.argv[3])
        name = (b"a/" * (length // 2 + 1))[:length - 1] + b"b"
        crafted(sys.argv[2], [record(name, b"1")])
    elif what == "tar-excludes":
        print(tar_excludes(sys.argv[2]))
    else:
        sys.exit("unknown action " + what)


if __name__ == "__main__":
    main()
