"""Writes a CSV file of N rows and 10 mixed columns (header line first, comma-separated, LF lines).

Columns: integer id, code with leading zeros, name (accents, Cyrillic, CJK), small integer,
decimal, real, money-like amount, timestamp, 0/1 flag, 64-bit integer. No field needs quoting,
so freebcp (which knows no CSV quoting) reads exactly what tessrun reads.
"""
import random
import sys

rows = int(sys.argv[1]) if len(sys.argv) > 1 else 1000000
rng = random.Random(42)
out = sys.stdout
names = ["Ångström", "Zoë", "Иван", "東京", "plain name", "O'Brien"]
out.write("id,code,name,qty,price,ratio,amount,created,active,big\n")
buf = []
for i in range(1, rows + 1):
    buf.append(
        f"{i},C{i:08d},{names[i % len(names)]} {i},{rng.randint(-32768, 32767)},"
        f"{rng.randint(-10**9, 10**9) / 100:.2f},{rng.random() * 1e6:.6f},{rng.randint(0, 10**7) / 10000:.4f},"
        f"20{rng.randint(10, 29)}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d} "
        f"{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d},{i % 2},"
        f"{rng.randint(-2**62, 2**62)}\n")
    if len(buf) >= 10000:
        out.write("".join(buf))
        buf = []
out.write("".join(buf))
