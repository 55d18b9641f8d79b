"""Writes N tab-separated rows of 10 mixed columns for the bulk-load benchmark."""
import random
import sys

rows = int(sys.argv[1]) if len(sys.argv) > 1 else 1000000
rng = random.Random(42)
out = sys.stdout
names = ["Ångström", "Zoë", "Иван", "東京", "plain name", "O'Brien"]
buf = []
for i in range(1, rows + 1):
    buf.append(
        f"{i}\tC{i:08d}\t{names[i % len(names)]} {i}\t{rng.randint(-32768, 32767)}\t"
        f"{rng.randint(-10**9, 10**9) / 100:.2f}\t{rng.random() * 1e6:.6f}\t{rng.randint(0, 10**7) / 10000:.4f}\t"
        f"20{rng.randint(10, 29)}-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d} "
        f"{rng.randint(0, 23):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d}\t{i % 2}\t{rng.randint(-2**62, 2**62)}\n")
    if len(buf) >= 10000:
        out.write("".join(buf))
        buf = []
out.write("".join(buf))
