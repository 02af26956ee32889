"""Reference vectors for the Python-order sets, read by blitz_python_set_test.cpp
and blitz_signature_test.cpp.

    PYTHONHASHSEED=0 python3 python_sets.py > python_sets.txt   # committed vectors
    PYTHONHASHSEED=0 python3 python_sets.py live sets            # thousands more, other seeds
    PYTHONHASHSEED=0 python3 python_sets.py live clean

Every expected value is CPython's own, with two exceptions where our sets follow
a rule of their own:
  * after a linear run of ten occupied slots the probe continues from the run's
    last slot (CPython continues from its first slot);
  * a string is hashed over its UTF-8 bytes, the empty string included (CPython
    hashes its internal representation and gives "" the hash 0); integer keys
    hash to themselves (CPython reduces them modulo 2**61 - 1).
A small model of the set table below runs under either rule. Under CPython's
rule it must reproduce CPython exactly on every case (asserted); under our rule
it gives the expected value. Lines tagged "cpython" are cases where the two
rules agree, so the expected value is CPython's output itself; lines tagged
"rule" are cases where they differ, with the model's value.

Line formats (fields split by " | ", keys by single spaces, "~" is ""):
  hash <tag> | <key> | <hash as unsigned 64-bit>
  set <str|int> <tag> | <keys in insertion order> | <slot order as indices of first occurrences>
  inter <tag> | <keys of A> | <keys of B> | <result order as indices into A's keys>
  clean <tag> | <signature names in rank order> | <pathway genes> | <hits> | <hit_set slot order>
"""

import os
import random
import sys

if os.environ.get("PYTHONHASHSEED") != "0":
    sys.exit("run with PYTHONHASHSEED=0")

M64 = (1 << 64) - 1
MIN_SLOTS = 8
LINEAR_PROBES = 9
PERTURB_SHIFT = 5


def rotl(x, b):
    return ((x << b) | (x >> (64 - b))) & M64


def siphash13(data):
    """SipHash-1-3 with a zero key, as CPython's pyhash.c computes it."""
    v0, v1, v2, v3 = 0x736F6D6570736575, 0x646F72616E646F6D, 0x6C7967656E657261, 0x7465646279746573

    def sipround():
        nonlocal v0, v1, v2, v3
        v0 = (v0 + v1) & M64; v2 = (v2 + v3) & M64
        v1 = rotl(v1, 13) ^ v0; v3 = rotl(v3, 16) ^ v2
        v0 = rotl(v0, 32)
        v2 = (v2 + v1) & M64; v0 = (v0 + v3) & M64
        v1 = rotl(v1, 17) ^ v2; v3 = rotl(v3, 21) ^ v0
        v2 = rotl(v2, 32)

    full = len(data) - len(data) % 8
    for k in range(0, full, 8):
        m = int.from_bytes(data[k:k + 8], "little")
        v3 ^= m; sipround(); v0 ^= m
    b = ((len(data) & 0xFF) << 56) | int.from_bytes(data[full:], "little")
    v3 ^= b; sipround(); v0 ^= b
    v2 ^= 0xFF
    sipround(); sipround(); sipround()
    return v0 ^ v1 ^ v2 ^ v3


def signed(u):
    return u - (1 << 64) if u >> 63 else u


def our_str_hash(s):
    h = siphash13(s.encode("utf-8"))
    return (-2) & M64 if h == M64 else h


def cpython_hash(key):
    return hash(key) & M64


class ModelSet:
    """Insert-only set table; `ours` picks our hash and restart rule."""

    def __init__(self, ours):
        self.ours = ours
        self.slots = [None] * MIN_SLOTS
        self.used = 0

    def hash_of(self, key):
        if not self.ours:
            return cpython_hash(key)
        return our_str_hash(key) if isinstance(key, str) else key

    def find(self, slots, h, key):
        mask = len(slots) - 1
        perturb, i = h, h & mask
        while True:
            run = LINEAR_PROBES if i + LINEAR_PROBES <= mask else 0
            for j in range(i, i + run + 1):
                if slots[j] is None or (slots[j][0] == h and slots[j][1] == key):
                    return j
            perturb >>= PERTURB_SHIFT
            i = ((i + run if self.ours else i) * 5 + perturb + 1) & mask

    def add(self, key):
        h = self.hash_of(key)
        j = self.find(self.slots, h, key)
        if self.slots[j] is not None:
            return
        self.slots[j] = (h, key)
        self.used += 1
        if self.used * 5 >= (len(self.slots) - 1) * 3:
            minused = self.used * 4 if self.used <= 50000 else self.used * 2
            size = MIN_SLOTS
            while size <= minused:
                size <<= 1
            old, self.slots = self.slots, [None] * size
            for entry in old:
                if entry is not None:
                    self.slots[self.find(self.slots, entry[0], entry[1])] = entry

    def __iter__(self):
        return (e[1] for e in self.slots if e is not None)

    def __len__(self):
        return self.used

    def __contains__(self, key):
        e = self.slots[self.find(self.slots, self.hash_of(key), key)]
        return e is not None


def model_set(keys, ours):
    s = ModelSet(ours)
    for k in keys:
        s.add(k)
    return s


def intersection(a, b, make):
    """Iterates a in slot order and keeps the keys b holds, in a new set."""
    r = make()
    for k in a:
        if k in b:
            r.add(k)
    return r


def clean(names, genes, make):
    """One pathway through signature preparation's set steps."""
    pos = {g: i for i, g in enumerate(names)}
    s, p = make(names), make(genes)
    kept = list(s & p) if isinstance(s, set) else list(
        intersection(p, s, lambda: make(())) if len(names) >= len(p)
        else intersection(s, p, lambda: make(())))
    hits = [pos[g] for g in kept]
    hit_set = list(make(pos[g] for g in make(kept)))
    return hits, hit_set


def ours(keys=()):
    return model_set(keys, True)


def cpython_model(keys=()):
    return model_set(keys, False)


def tagged(real, from_ours, from_cpython_model):
    assert from_cpython_model == real, "the model does not reproduce CPython"
    return ("cpython" if from_ours == real else "rule"), from_ours


# ---- inputs ----------------------------------------------------------------

ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._:/"
SPECIAL = ["", "é", "Straße", "α-actin", "日本", "ÅNG2", "naïve", "µ", "x" * 8 + "é"]
# Sizes around the resize points (after 5, 19, 77, 307 and 1229 keys).
SIZE_BANDS = [(0, 4), (4, 7), (17, 21), (75, 80), (300, 315), (1225, 1240), (0, 150)]


def gene_name(rng):
    n = rng.choice([1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 16, 17, 24, 33])
    return "".join(rng.choice(ALPHABET) for _ in range(n))


def string_keys(rng, n, special):
    pool = [gene_name(rng) for _ in range(max(1, n * 4 // 5))]
    if special:
        pool += rng.sample(SPECIAL, 3)
    return [rng.choice(pool) for _ in range(n)]


def int_keys(rng, n):
    kind = rng.randrange(4)
    if kind == 0:  # signature positions
        return [rng.randrange(2 * n + 1) for _ in range(n)]
    if kind == 1:  # multiples of a table size: long collision chains
        step = rng.choice([8, 32, 128])
        return [step * rng.randrange(n + 1) + rng.randrange(3) for _ in range(n)]
    if kind == 2:
        return [rng.randrange((1 << 61) - 1) for _ in range(n)]
    return [rng.randrange(1 << 64) for _ in range(n)]  # past 2**61 - 2: hashed as themselves


def size(rng, big):
    lo, hi = rng.choice(SIZE_BANDS if big else SIZE_BANDS[:4] + SIZE_BANDS[-1:])
    return rng.randint(lo, hi)


def enc(key):
    return "~" if key == "" else str(key)


def order_indices(keys, order):
    first = {}
    for i, k in enumerate(keys):
        first.setdefault(k, i)
    return [first[k] for k in order]


def line(*fields):
    return " | ".join(" ".join(map(str, f)) if isinstance(f, list) else str(f) for f in fields)


def hash_case(rng):
    key = rng.choice(SPECIAL) if rng.random() < 0.1 else gene_name(rng)
    got = our_str_hash(key)
    data = key.encode("utf-8")
    if data:  # CPython hashes bytes with the same function, except b""
        assert signed(got) == hash(data)
    tag = "cpython" if signed(got) == hash(key) else "rule"
    return line(f"hash {tag}", enc(key), got)


def set_case(rng, big):
    n = size(rng, big)
    if rng.random() < 0.5:
        kind, keys = "str", string_keys(rng, n, rng.random() < 0.15)
    else:
        kind, keys = "int", int_keys(rng, n)
    tag, order = tagged(list(set(keys)), list(ours(keys)), list(cpython_model(keys)))
    return line(f"set {kind} {tag}", [enc(k) for k in keys], order_indices(keys, order))


def inter_case(rng, big):
    a = string_keys(rng, size(rng, big), rng.random() < 0.15)
    b = rng.sample(a, rng.randint(0, len(a))) + string_keys(rng, size(rng, False), False)
    rng.shuffle(b)
    real_a, real_b = set(a), set(b)
    real = list(intersection(real_a, real_b, set))
    if len(real_a) <= len(real_b):  # CPython's own operator iterates the smaller set
        assert list(real_b & real_a) == real
    tag, order = tagged(real, list(intersection(ours(a), ours(b), ours)),
                        list(intersection(cpython_model(a), cpython_model(b), cpython_model)))
    return line(f"inter {tag}", [enc(k) for k in a], [enc(k) for k in b], order_indices(a, order))


def clean_case(rng, big):
    names = list(dict.fromkeys(string_keys(rng, size(rng, big), rng.random() < 0.15)))
    shape = rng.randrange(3)
    genes = rng.sample(names, len(names) if shape else rng.randint(0, len(names)))
    if shape != 1:  # shape 1: exactly the signature's genes, so the sizes tie
        genes += string_keys(rng, size(rng, False), False)
    rng.shuffle(genes)
    genes += rng.sample(genes, min(len(genes), 3))  # repeated genes count once
    real = clean(names, genes, set)
    theirs = clean(names, genes, cpython_model)
    mine = clean(names, genes, ours)
    assert theirs == real, "the model does not reproduce CPython"
    tag = "cpython" if mine == real else "rule"
    return line(f"clean {tag}", [enc(k) for k in names], [enc(k) for k in genes], *mine)


def big_int_case():
    """78643 keys: the last resize doubles (used > 50000) to 2**18 slots, where
    every key has a slot of its own; a quadrupled table would order them apart."""
    keys = [j + (j % 2 << 18) for j in range(78700)]
    tag, order = tagged(list(set(keys)), list(ours(keys)), list(cpython_model(keys)))
    return line(f"set int {tag}", keys, order_indices(keys, order))


def main():
    args = sys.argv[1:]
    live = args[:1] == ["live"]
    if args not in ([], ["live", "sets"], ["live", "clean"]):
        sys.exit("usage: python_sets.py [live sets|live clean]")
    rng = random.Random({"sets": 2, "clean": 3}[args[1]] if live else 1)
    counts = {"hash": 250, "set": 120, "inter": 25, "clean": 25}
    if live:
        counts = {"hash": 1500, "set": 2500, "inter": 600, "clean": 0} if args[1] == "sets" else \
            {"hash": 0, "set": 0, "inter": 0, "clean": 1000}
    out = [hash_case(rng) for _ in range(counts["hash"])]
    out += [set_case(rng, i % (4 if live else 40) == 0) for i in range(counts["set"])]
    out += [inter_case(rng, live and i % 5 == 0) for i in range(counts["inter"])]
    out += [clean_case(rng, live and i % 5 == 0) for i in range(counts["clean"])]
    if live and args[1] == "sets":
        out.append(big_int_case())
    print("\n".join(out))
    tags = {}
    for o in out:
        key = o.split(" | ")[0]
        tags[key] = tags.get(key, 0) + 1
    print(tags, file=sys.stderr)


if __name__ == "__main__":
    main()
