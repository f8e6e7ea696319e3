#!/usr/bin/python3
"""Differential test: random command lines run with and without
"--design examples/designs/builtin.toml" in front must give the same standard
output, byte for byte, and the same exit status.

    differential.py PCISIM DESIGN [COUNT] [SEED]

The command lines mix every short option (valid and out-of-range numbers,
unknown letters) with --seed and --max-cycles; runs are kept short."""
import random
import subprocess
import sys


def short_option(rng):
    number = lambda: str(rng.choice([0, 1, 2, 3, 7, 16, 48, 200, -1, 99999]))
    unit = lambda: str(rng.choice([1, 2, 3, 3, 4, 9]))
    kinds = [
        lambda: "-a" + number(),
        lambda: "-m" + unit() + rng.choice("clo") + number(),
        lambda: "-m" + unit() + rng.choice("cx"),
        lambda: "-t" + unit() + rng.choice("ib") + number(),
        lambda: "-d" + rng.choice(["1", "2", "3", "4", "a", "m", "z"]),
        lambda: "-c" + rng.choice(["", "0", "1", "2", "3", "5", "n", "s"]),
        lambda: "-cl" + str(rng.randrange(0, 3000)),
        lambda: "-cr" + str(rng.randrange(0, 20)),
        lambda: rng.choice(["-n", "-r", "-g", "-s", "-x", "-", "/", "plain"]),
    ]
    return rng.choice(kinds)()


def command_line(rng):
    args = [short_option(rng) for _ in range(rng.randrange(0, 5))]
    # Short runs: a small cycle limit most of the time, few transactions.
    if rng.random() < 0.9:
        args.insert(rng.randrange(len(args) + 1), "--max-cycles=" + str(rng.randrange(1, 6000)))
    if rng.random() < 0.5:
        args.insert(rng.randrange(len(args) + 1), "--seed=" + str(rng.randrange(0, 2**32)))
    return args


def run(program, args):
    done = subprocess.run([program] + args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=120)
    return done.returncode, done.stdout, done.stderr


def main():
    program, design = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 21)
    failures = 0
    for _ in range(count):
        args = command_line(rng)
        plain = run(program, args)
        with_file = run(program, ["--design", design] + args)
        if plain != with_file:
            failures += 1
            print("differs: pcisim", " ".join(args), f"(status {plain[0]} vs {with_file[0]},",
                  f"stdout {len(plain[1])} vs {len(with_file[1])} bytes,",
                  f"stderr {plain[2][:200]!r} vs {with_file[2][:200]!r})")
    print(f"{count} command lines, {failures} differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
