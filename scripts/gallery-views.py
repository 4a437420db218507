#!/usr/bin/python3
"""Finds the deep views of the gallery: minibrot nuclei by Newton's method.

A view is found by descending: from a nucleus c of period p and complex size s,
the point c + s*u (u a point on the boundary of the whole set, in the
minibrot's own coordinates) lies near the boundary again; the lowest period
in a small disc around it (the first n at which the disc's image covers 0)
names the next nucleus, found by Newton's method on z_n(c) = 0.

A view only a few dozen to a few hundred times a copy's size shows little
but rings: the counts around a copy are nearly circles there. The views of
the deepest scenes lie instead between a copy A and a copy B found in its
decorations (beside): at a height part of the way down from A's size to B's
in powers of ten (between), centred on B, the view shows an embedded Julia
set (about 0.87 of the way), a whirl (0.885), a spiral star (0.82), crossing
branches (0.75) or smooth arms (0.5); the way from one to the next is not
monotonic, so look at a few heights near each. Other views lie inside a copy
(inside): its antenna, valleys and bulbs, where the whole set has them, turned
by the argument of the copy's size; such a view wants an iteration limit about
the period times the whole set's, and a colour step (D) about a tenth of the
period.
Needs python3-gmpy2 (Debian).
"""
import math
import sys

import gmpy2
from gmpy2 import mpc, mpfr


def set_bits(bits):
    gmpy2.get_context().precision = bits


def disc_period(c, r, limit):
    """The first n at which the disc of radius r around c maps over 0."""
    z = mpc(0)
    dz = mpc(0)
    for n in range(1, limit + 1):
        dz = 2 * z * dz + 1
        z = z * z + c
        az = abs(z)
        if az < abs(dz) * r:
            return n
        if az > 1e10:
            return None
    return None


def nucleus(c, p, r, steps=200):
    """Newton's method on z_p(c) = 0, no step longer than r."""
    eps = mpfr(2) ** (-gmpy2.get_context().precision + 24)
    for _ in range(steps):
        z = mpc(0)
        dz = mpc(0)
        for _ in range(p):
            dz = 2 * z * dz + 1
            z = z * z + c
        d = z / dz
        if abs(d) > r:
            d = d * (r / abs(d))
        c = c - d
        if abs(d) <= eps * abs(c) + mpfr(2) ** (-gmpy2.get_context().precision):
            return c
    return c


def size(c, p):
    """The complex size of the minibrot of nucleus c and period p."""
    z = mpc(0)
    l = mpc(1)
    b = mpc(1)
    for _ in range(1, p):
        z = z * z + c
        l = 2 * z * l
        b = b + 1 / l
    return 1 / (b * l * l)


def descend(start, path, rho, limit=200000):
    """Nuclei along a path of boundary points u, each disc rho times the size."""
    c = mpc(start[0], start[1]) if isinstance(start, tuple) else start
    s = mpc(1)
    found = []
    for u in path:
        target = c + s * mpc(*u)
        r = abs(s) * rho
        p = disc_period(target, r, limit)
        if p is None:
            print("no period", file=sys.stderr)
            break
        n = nucleus(target, p, r)
        sz = size(n, p)
        found.append((n, sz, p))
        c, s = n, sz
        print(p, float(abs(sz)), file=sys.stderr)
    return found


def digits(x, w):
    """x with decimals enough for a view of height w."""
    places = max(0, int(-math.floor(math.log10(w))) + 6) if w > 0 else 20
    return gmpy2.mpfr(x).__format__(".%df" % places)


def walk(start, path, rho0, limit=60000):
    """Like descend, but widens the disc until it finds a deeper period."""
    c = mpc(*start)
    s = mpc(1)
    p0 = 1
    for u in path:
        target = c + s * mpc(*u)
        rho = rho0
        while rho < 0.5:
            p = disc_period(target, abs(s) * rho, limit)
            if p is not None and p > p0:
                break
            rho *= 10
        else:
            return
        n = nucleus(target, p, abs(s) * rho)
        sz = size(n, p)
        if not (abs(sz) < abs(s)):
            return
        c, s, p0 = n, sz, p
        yield n, sz, p


def beside(c, p, s, R, th, limit=400000):
    """The copy of lowest period above p in a small disc R sizes away from
    the copy (c, p, s), at the angle th: its nucleus, size and period."""
    target = c + s * mpc(R * math.cos(th), R * math.sin(th))
    rho = 1e-3
    while rho < 2:
        q = disc_period(target, abs(s) * rho, limit)
        if q is not None and q > p:
            n = nucleus(target, q, abs(s) * rho)
            return n, size(n, q), q
        rho *= 10
    return None


def inside(c, s, u, w):
    """The centre and height of the view of the copy (nucleus c, complex size
    s) that shows what the whole set shows at u (a pair) with height w."""
    return c + s * mpc(*u), abs(s) * w


def between(sa, sb, t):
    """The height t of the way down from the size sa to the size sb, in
    powers of ten."""
    la = gmpy2.log10(abs(sa))
    return mpfr(10) ** (la + t * (gmpy2.log10(abs(sb)) - la))


U = {
    "tip": (-2, 0), "i": (0, 1), "sea": (-0.77568377, 0.13646737),
    "ele": (0.2925, 0.0149), "sea2": (-0.7453, 0.1127), "cusp": (0.2501, 0.0),
    "top3": (-0.1565, 1.0322), "spiral": (-0.7269, 0.1889), "left": (-1.7687, 0.0017),
    "bulb5": (0.3795, 0.3349), "quad": (-0.5251993, 0.5251993),
}

def wander(start, seed, deepest, out, name, limit=80000):
    """From a nucleus near start, nucleus after nucleus in the decorations
    around the last one (R times its size away, at a random angle)."""
    import json
    import random
    rnd = random.Random(seed)
    set_bits(256)
    c = mpc(*start)
    p = disc_period(c, 1e-3, 1000)
    c = nucleus(c, p, mpfr(1e-3))
    s = size(c, p)
    level = 0
    while float(gmpy2.log10(abs(s))) > deepest:
        set_bits(min(14000, int(3.5 * float(-gmpy2.log2(abs(s)))) + 300))
        for _attempt in range(12):
            R = 10 ** rnd.uniform(0.5, 2.0)
            th = rnd.uniform(0, 2 * math.pi)
            target = c + s * mpc(R * math.cos(th), R * math.sin(th))
            rho = 1e-3
            q = None
            while rho < 2:
                q = disc_period(target, abs(s) * rho, limit)
                if q is not None and q > p:
                    break
                q = None
                rho *= 10
            if q is None:
                continue
            m = nucleus(target, q, abs(s) * rho)
            ss = size(m, q)
            if abs(ss) < abs(s) and abs(m - target) < abs(s) * rho * 4:
                break
        else:
            return
        c, s, p = m, ss, q
        rec = {"path": name, "level": level, "p": p, "re": c.real.__format__(".%de" % (int(-float(gmpy2.log10(abs(s)))) + 25)),
               "im": c.imag.__format__(".%de" % (int(-float(gmpy2.log10(abs(s)))) + 25)),
               "log10size": float(gmpy2.log10(abs(s))), "arg": float(gmpy2.phase(s)), "R": R, "th": th}
        out.write(json.dumps(rec) + "\n")
        out.flush()
        print(name, level, p, rec["log10size"], file=sys.stderr)
        level += 1


if __name__ == "__main__":
    # gallery-views.py NAME RE,IM SEED DEEPEST OUT.jsonl
    cr, ci = map(float, sys.argv[2].split(","))
    with open(sys.argv[5], "a") as out:
        wander((cr, ci), int(sys.argv[3]), float(sys.argv[4]), out, sys.argv[1])
