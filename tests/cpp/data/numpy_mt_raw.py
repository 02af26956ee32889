"""Raw 32-bit words of numpy.random.RandomState(seed), for random/r_streams_test.cpp.

    python3 numpy_mt_raw.py > numpy_mt_raw.txt

Line format: mt_standard <seed> | <words...>. RandomState(seed) seeds MT19937
with the standard 32-bit initialisation; its bit generator's random_raw()
returns the tempered words unchanged (randint(0, 2**32, dtype=np.uint64)
yields the same words, which the script asserts).
"""

import numpy as np

SEEDS = [0, 1, 42, 5489, 2**32 - 1]
COUNT = 700  # crosses the second regeneration of the 624-word state

for seed in SEEDS:
    raw = np.random.RandomState(seed)._bit_generator.random_raw(COUNT)
    via_randint = np.random.RandomState(seed).randint(0, 2**32, size=COUNT, dtype=np.uint64)
    assert (raw == via_randint).all()
    print(f"mt_standard {seed} | " + " ".join(str(int(v)) for v in raw))
