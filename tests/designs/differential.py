#!/usr/bin/python3
"""Differential test: random command lines run with and without
"--design examples/designs/builtin.toml" in front must give the same standard
output, byte for byte, and the same exit status; and a --set of a value gives
the same bytes as the short option that sets it.

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


# Each --set gives the bytes of the option that sets the same value.
SAME_AS = [
    (["--set", "arbiter.mtt=32"], ["-a32"]),
    (["--set", "master.pm2.latency_timer=128"], ["-m2l128"]),
    (["--set", "master.pm1.transactions=50"], ["-m1c50"]),
    (["--set", "master.pm3.retry_overhead=-1"], ["-m3o-1"]),
    (["--set", "target.pt1.init_retry_threshold=4"], ["-t1i4"]),
    (["--set", "target.pt2.burst_retry_threshold=2"], ["-t2b2"]),
    (["--set", "run.max_cycles=5000"], ["--max-cycles=5000"]),
]


def main():
    program, design = sys.argv[1], sys.argv[2]
    failures = 0
    for with_set, with_option in SAME_AS:
        a = run(program, with_set + ["-n"])
        b = run(program, with_option + ["-n"])
        if a != b:
            failures += 1
            print("differs:", " ".join(with_set), "and", " ".join(with_option))
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 21)
    for _ in range(count):
        args = command_line(rng)
        plain = run(program, args)
        with_file = run(program, ["--design", design] + args)
        if plain != with_file:
            failures += 1
            print("differs: pcisim", " ".join(args), f"(status {plain[0]} vs {with_file[0]},",
                  f"stdout {len(plain[1])} vs {len(with_file[1])} bytes,",
                  f"stderr {plain[2][:200]!r} vs {with_file[2][:200]!r})")
    print(f"{len(SAME_AS)} --set pairs and {count} command lines, {failures} differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
