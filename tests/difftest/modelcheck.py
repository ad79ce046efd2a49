#!/usr/bin/env python3
"""Model check of integer arithmetic: each generated program assigns integer
expressions to variables of the eight integer types and prints every result;
the generator's model computes what each line must read (64-bit wrap-around,
stores cut to the target's width, "/" and "%" truncating toward zero, shift
counts in 0..63, comparisons 1 or 0).  Both compilers' programs run under
wine and every printed value is compared with the model's, so that a fault
the two compilers share is found too.

    modelcheck.py --home ZANDREL_HOME --seeds A-B [--statements N] [options]

    --home        the laid-out installation (build/zandrel)
    --seeds       seeds to run, "A-B" or "A,B,C"
    --statements  checked assignments per program (default 40)
    --switches    switch sets by ";" (default: "-;/OPTIMIZER;/THREAD"); each
                  seed is built with one of them, chosen by the seed
    --jobs        programs built at once (default 2)
    --keep        where a program with a mismatch is kept

A mismatch prints the seed, the switches, the assignment, the model's value
and each compiler's.  Exit code: 0 when every value agrees with the model, 1
on a mismatch, 2 when a program does not build or run (a fault of the
generator or of a compiler).
"""
import argparse
import concurrent.futures
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import difftest  # noqa: E402
import zdgen  # noqa: E402

# Shift counts the model keeps to 0..63 and divisors it keeps from 0 (and
# the lowest quad from -1): zdcompiler masks a count to its low six bits
# while zdcompilerc's C shifts by 64 or more are undefined, and a division by
# zero ends the program.


SHOWN_MISMATCHES = 3  # per program


class ModelGen(zdgen.Gen):
    """Integer variables only, and after each assignment a line that prints
    the target."""

    def __init__(self, seed, statements):
        super().__init__(seed, "model", ())
        self.statements = statements
        self.checks = []  # (number, assignment text, model value)

    def declare_integers(self):
        for t in zdgen.INT_TYPES:
            for _ in range(self.rng.randint(1, 2)):
                name = self.new_name("v")
                v = self.int_value(t)
                self.body.append(zdgen.Raw("%s.%s = %d" % (name, t, v)))
                self.env[name] = v
                self.ints.append((name, t))

    def make_check(self):
        name, t = self.choice(self.ints)
        if self.r() < 0.1:
            expr = self.negated_chain(self.rng.randint(1, 3))
        else:
            expr = self.int_expr(self.rng.randint(1, 4))
        return zdgen.Assign(name, name, t, expr)

    def program(self):
        self.body.append(zdgen.Raw("OpenConsole()"))
        self.declare_integers()
        for number in range(self.statements):
            stmt = self.attempt(self.make_check)
            if stmt is None:
                continue
            self.body.append(stmt)
            self.body.append(zdgen.Raw('PrintN("e%d " + Str(%s))' % (number, stmt.name)))
            self.checks.append((number, stmt.lines("")[0], self.env[stmt.name]))
        lines = ["; model check seed %d" % self.seed]
        for s in self.body:
            lines += s.lines("")
        return "\n".join(lines) + "\n"


def printed_values(result):
    """The values a run printed, by check number; None when it did not run."""
    if result[0] != "run":
        return None
    values = {}
    for line in result[2].splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0].startswith("e") and parts[0][1:].isdigit():
            values[int(parts[0][1:])] = parts[1]
    return values


def check_seed(runner, seed, statements, switches, scratch, keep):
    gen = ModelGen(seed, statements)
    source = gen.program()
    for attempt in range(2):
        work = tempfile.mkdtemp(dir=scratch)
        try:
            results = runner.build_and_run(source, switches, work)
        finally:
            shutil.rmtree(work, ignore_errors=True)
        # A run that fails once under load is run again before it counts.
        if all(results[tag][0] == "run" and results[tag][1] == 0 for tag in ("x64", "c")):
            break
    label = "seed %d %s" % (seed, " ".join(switches) or "(no switch)")
    report = []
    broken = False
    printed = {}
    for tag in ("x64", "c"):
        printed[tag] = printed_values(results[tag])
        if printed[tag] is None or results[tag][1] != 0:
            broken = True
            report.append("BROKEN: %s: %s %s" % (label, tag, results[tag][1] if results[tag][0] == "run"
                                                  else "does not compile: " + results[tag][1]))
    mismatches = 0
    if not broken:
        for number, text, value in gen.checks:
            x, c = printed["x64"].get(number), printed["c"].get(number)
            if x != str(value) or c != str(value):
                mismatches += 1
                if mismatches > SHOWN_MISMATCHES:
                    continue
                report.append("MISMATCH: %s: %s\n  model %d, zdcompiler %s, zdcompilerc %s"
                              % (label, text, value, x, c))
    if mismatches > SHOWN_MISMATCHES:
        report.append("  ... %d more in %s (the values after the first mismatch may follow from it)"
                      % (mismatches - SHOWN_MISMATCHES, label))
    if (broken or mismatches) and keep:
        os.makedirs(keep, exist_ok=True)
        with open(os.path.join(keep, "model_%d.zd" % seed), "w") as f:
            f.write(source)
    return len(gen.checks), mismatches, broken, report


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--home", required=True)
    ap.add_argument("--seeds", required=True)
    ap.add_argument("--statements", type=int, default=40)
    ap.add_argument("--switches", default="-;/OPTIMIZER;/THREAD")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--keep")
    args = ap.parse_args()
    switch_sets = [[] if s.strip() in ("-", "") else s.split() for s in args.switches.split(";")]
    runner = difftest.Runner(os.path.abspath(args.home), difftest.wine_environment())
    scratch = tempfile.mkdtemp(prefix="zandrel-modelcheck.")
    seeds = difftest.parse_seeds(args.seeds)
    checked = mismatched = broken = 0
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            futures = [pool.submit(check_seed, runner, s, args.statements, switch_sets[s % len(switch_sets)],
                                   scratch, args.keep) for s in seeds]
            for fut in concurrent.futures.as_completed(futures):
                n, bad, failed, report = fut.result()
                checked += n
                mismatched += bad
                broken += failed
                for line in report:
                    print(line, flush=True)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print("modelcheck: %d programs, %d expressions checked, %d mismatches, %d programs not built or run"
          % (len(seeds), checked, mismatched, broken), flush=True)
    if broken:
        return 2
    return 1 if mismatched else 0


if __name__ == "__main__":
    sys.exit(main())
