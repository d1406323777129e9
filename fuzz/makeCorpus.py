#!/usr/bin/env python3
"""Writes the hand-made seeds of every fuzz target into fuzz/corpus/<target>/.

Each seed is a small shape (cube, flat square, needle, duplicate cloud, 60-tooth comb)
in the byte layout the target reads (fuzz/fuzzInput.h: little-endian integers, raw
doubles, 16-bit counts). Inputs that once crashed a target live beside the seeds under
other names and are never rewritten by this script.
"""
import math
import os
import struct
import sys


def u8(v):
    return struct.pack("<B", v & 0xFF)


def u16(v):
    return struct.pack("<H", v & 0xFFFF)


def real(*values):
    return b"".join(struct.pack("<d", float(v)) for v in values)


def box(lo, hi):
    """Corners and six outward quads of an axis-aligned box."""
    pts = [(x, y, z) for z in (lo[2], hi[2]) for y in (lo[1], hi[1]) for x in (lo[0], hi[0])]
    quads = [(0, 2, 3, 1), (4, 5, 7, 6), (0, 1, 5, 4), (2, 6, 7, 3), (0, 4, 6, 2), (1, 3, 7, 5)]
    return pts, quads


def comb():
    """A back bar and 60 teeth, each a box: 488 corners, 366 quads."""
    pts, faces = box((0, 0, 0), (61, 1, 0.5))
    for t in range(60):
        p, q = box((t + 0.25, 1, 0), (t + 0.75, 6, 0.5))
        faces += [tuple(i + len(pts) for i in f) for f in q]
        pts += p
    return pts, faces


def shapes():
    cube = box((-1, -1, -1), (1, 1, 1))
    square = ([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0.5, 0.5, 0)],
              [(0, 1, 2, 3)])
    needle = ([(0, 0, 0), (1e-7, 0, 0), (0, 1e-7, 0), (0, 0, 10), (1e-7, 1e-7, 5)],
              [(0, 2, 1), (0, 1, 3), (1, 2, 3), (2, 0, 3), (4, 0, 3)])
    dup_pts = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)] * 5
    duplicate = (dup_pts, [(0, 2, 1), (0, 1, 3), (1, 2, 7), (2, 0, 3), (4, 6, 5)])
    ring = [(math.cos(a * math.pi / 20), math.sin(a * math.pi / 20), 0) for a in range(40)]
    ngon = (ring + [(0, 0, 1)], [tuple(range(39, -1, -1))] + [(i, (i + 1) % 40, 40) for i in range(40)])
    return {"cube": cube, "square": square, "needle": needle, "duplicate": duplicate,
            "comb": comb(), "ngon40": ngon}


def points(pts):
    return u16(len(pts)) + b"".join(real(*p) for p in pts)


def faces(fs, min_corners):
    out = u16(len(fs))
    for f in fs:
        out += u8(len(f) - min_corners) + b"".join(u16(i) for i in f)
    return out


def mesh(shape, min_corners):
    pts, fs = shape
    return points(pts) + faces(fs, min_corners)


# Per target: name -> function(shape name, shape) -> list of (suffix, bytes).
def hull(name, s):
    return [("", u8(255) + points(s[0])), ("_reduced", u8(4) + points(s[0]))]


def tree(name, s):
    srt = real(1, 2, 3) + real(0.5, 0, 0, 0, 1, 0, 0, 0, 2) + real(1, 1, 1)
    return [("", u8(0) + points(s[0]) + srt), ("_depth3", u8(3) + points(s[0]) + srt)]


def plane(n, p):
    return real(*n) + real(*p)


def clip(name, s):
    cuts = [plane((0, 0, 1), (0.1, 0.2, 0.3)), plane((1, 1, 1), (0.2, 0.1, 0))]
    out = []
    for i, c in enumerate(cuts):
        # flags byte: bit 0 DF mesh, bit 1 caps, bit 2 UVs, bits 3-5 extra UV sets,
        # bit 7 through the mesh tools
        for flags in (2, 1 | 2 | 4 | 8, 128, 129):
            out.append((f"_{i}_{flags}", u8(flags) + mesh(s, 3) + c))
    # for the comb, the detailed mesh with UV sets comes first
    return out[1:2] + out[:1] + out[2:]


def volume(name, s):
    # flags (bit 0 UVs, bits 1-3 extra sets, bit 4 raw normals, bit 5 short UV table),
    # init options, tessellation byte, UV shortening
    return [(f"_{i}", u8(flags) + u8(options) + u8(tess) + u8(0) + mesh(s, 0))
            for i, (flags, options, tess) in enumerate([(0, 0x17, 0x79), (0x03, 0x07, 0x7A), (0x01, 0x10, 0x7D)])]


QUERY_FAMILIES = (5, 5, 4, 4, 3)  # queries per family, selector = query << 3 | family


def query(name, s):
    if name not in ("cube", "needle"):
        return []
    pts = [c for p in (s[0] * 4)[:16] for c in p]
    return [(f"_{family}_{q}", u8(q << 3 | family) + real(*pts))
            for family, count in enumerate(QUERY_FAMILIES) for q in range(count)]


def lsqr(name, s):
    # The shape's coordinates fill the matrices, diagonal-heavy so the systems solve.
    vals = [c for p in s[0] for c in p] * 40

    def system(n):
        a = [vals[i * n + j] + (4.0 if i == j else 0.0) for i in range(n) for j in range(n)]
        return real(*a) + real(*vals[:n])

    ops = u16(0) * 12
    joint = u8(0) + u8(3) + system(3) + ops
    scalar = u8(1) + u8(2) + u8(2) + system(4) + ops
    block = u8(2) + u8(2) + u8(0) + system(6) + real(1, 0, 0, 0, 1, 0) + ops
    return [("_joint", joint), ("_scalar", scalar), ("_block", block), ("_all", joint + scalar + block)]


def manifold(name, s):
    pts = s[0][:64]
    other = [(x + 0.5, y + 0.25, z + 0.1) for x, y, z in pts]
    capsule = real(0.2, 0.1, 0.3, 0, 0, 1, 1.0, 0.5)
    plane = real(0, 0, 0.25, 0, 0, 1)
    return [(f"_{k}", u8(k) + points(pts) + points(other) + capsule + plane) for k in (1, 2, 4, 8)]


TARGETS = {"hullFuzz": hull, "treeFuzz": tree, "clipFuzz": clip, "meshVolumeFuzz": volume,
           "queryFuzz": query, "lsqrFuzz": lsqr, "manifoldFuzz": manifold}


def keep_small(name, seeds):
    """The comb is large: one seed of it per target is enough."""
    return seeds[:1] if name == "comb" else seeds


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    wanted = sys.argv[1:] or list(TARGETS)
    for target in wanted:
        folder = os.path.join(root, target)
        os.makedirs(folder, exist_ok=True)
        for name, shape in shapes().items():
            for suffix, data in keep_small(name, TARGETS[target](name, shape)):
                with open(os.path.join(folder, f"seed_{name}{suffix}"), "wb") as f:
                    f.write(data)


if __name__ == "__main__":
    main()
