#!/usr/bin/env python3
"""Differential runner: builds generated programs with zdcompiler and
zdcompilerc, runs both under wine and compares what they print and their
exit codes.  A program whose two runs differ is kept with both outputs and
reduced to a small program that still differs.

    difftest.py --home ZANDREL_HOME [--seeds A-B | --seconds N] [options]

    --home       the laid-out installation (build/zandrel)
    --seeds      seeds to run, "A-B" or "A,B,C" (each seed picks its family)
    --seconds    run random seeds until the time is spent
    --families   families to draw from (default: all)
    --switches   switch sets by ";", each a list of switches by spaces
                 (default: "-;/OPTIMIZER;/THREAD", "-" for none)
    --rotate     build each seed with one switch set only, chosen by the seed
    --debugger   add the set "/DEBUGGER"
    --fixed-set  leave out the features listed in KNOWN_DIFFERENCES
    --disable    further features to leave out, by comma
    --jobs       programs built at once (default 4)
    --output     where differing programs, their reductions and a summary go
    --no-reduce  keep differing programs as they are

Exit code: 0 when every program gave the same answer in both compilers, 1
when some differed, 2 on a fault of the tool or of the generator (a program
neither compiler builds).
"""
import argparse
import concurrent.futures
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import zdgen  # noqa: E402

# Features whose programs still get different answers from the two compilers;
# the fixed set in the test suite leaves them out.  Known differences being
# mended: take a name off this list once both compilers agree on it.
KNOWN_DIFFERENCES = [
]

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_ENV = os.path.join(HERE, "..", "e2e", "wine_env.sh")


def wine_environment():
    """The environment of tests/e2e/wine_env.sh, read once."""
    out = subprocess.run(["sh", "-c", ". '%s' && env -0 && printf '\\0WINE=%%s' \"$WINE\"" % WINE_ENV],
                         capture_output=True, check=True).stdout.decode()
    env = {}
    for item in out.split("\0"):
        if "=" in item:
            k, v = item.split("=", 1)
            env[k] = v
    for k in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(k, None)
    return env


class Runner:
    def __init__(self, home, env, timeout=30):
        self.compilers = {"x64": os.path.join(home, "Compilers", "zdcompiler"),
                          "c": os.path.join(home, "Compilers", "zdcompilerc")}
        self.env = env
        self.wine = env["WINE"]
        self.timeout = timeout

    def build_and_run(self, source, switches, work):
        """Builds the source with each compiler; returns per compiler
        ("compile", log) or ("run", exit code, output)."""
        results = {}
        for tag, compiler in self.compilers.items():
            folder = os.path.join(work, tag)
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "main.zd"), "w") as f:
                f.write(source)
            try:
                built = subprocess.run([compiler, "main.zd", "/CONSOLE"] + switches + ["/OUTPUT", "program.exe"],
                                       cwd=folder, capture_output=True, timeout=self.timeout, env=self.env)
                log = built.stdout.decode(errors="replace") + built.stderr.decode(errors="replace")
                ok = built.returncode == 0 and os.path.exists(os.path.join(folder, "program.exe"))
            except subprocess.TimeoutExpired:
                ok, log = False, "compiler timed out"
            if not ok:
                results[tag] = ("compile", error_line(log))
                continue
            try:
                ran = subprocess.run([self.wine, "program.exe"], cwd=folder, stdin=subprocess.DEVNULL,
                                     capture_output=True, timeout=self.timeout, env=self.env)
                results[tag] = ("run", ran.returncode, ran.stdout.decode(errors="replace"))
            except subprocess.TimeoutExpired:
                results[tag] = ("run", "timeout", "")
        return results


def error_line(log):
    lines = [l for l in log.splitlines() if l.startswith("Error") or "error" in l.lower()]
    return "\n".join(lines[:4]) or log.strip().splitlines()[-1:] and log.strip().splitlines()[-1] or "failed"


def verdict(results):
    """"same", "differ", or "both-fail" (the generator wrote something no
    compiler takes)."""
    x, c = results["x64"], results["c"]
    if x[0] == "compile" and c[0] == "compile":
        return "both-fail"
    if x[0] == "run" and x[1] == "timeout" and x == c:
        return "both-fail"
    return "same" if x == c else "differ"


def describe(results):
    out = []
    for tag in ("x64", "c"):
        r = results[tag]
        if r[0] == "compile":
            out.append("== %s: does not compile\n%s\n" % (tag, r[1]))
        else:
            out.append("== %s: exit %s\n%s" % (tag, r[1], r[2]))
    return "\n".join(out)


def difference_key(results):
    """What a reduction must keep: which side fails to build, or that the
    runs differ."""
    x, c = results["x64"], results["c"]
    return (x[0], c[0])


OPENERS = ("If ", "For ", "ForEach ", "While ", "Repeat", "Select ", "Procedure", "Structure", "StructureUnion",
           "Macro ")
INNER = ("Else", "ElseIf ", "Case ", "Default", "EndIf", "Next", "Wend", "Until ", "ForEver", "EndSelect",
         "EndProcedure", "EndStructure", "EndStructureUnion", "EndMacro")


def block_end(lines, i):
    """The last line of the block that line i opens (the generator indents
    every block by two blanks)."""
    depth = len(lines[i]) - len(lines[i].lstrip())
    j = i + 1
    while j < len(lines):
        d = len(lines[j]) - len(lines[j].lstrip())
        if d <= depth and not lines[j].lstrip().startswith(("Else", "ElseIf ", "Case ", "Default")):
            return j
        if d < depth:
            return j - 1
        j += 1
    return len(lines) - 1


def declared_name(line):
    """The variable a typed first assignment ("v3.l = 5"), a Define, Dim,
    NewList or NewMap declares."""
    for word in ("Define ", "Dim ", "NewList ", "NewMap "):
        if line.startswith(word):
            return line[len(word):].split(".", 1)[0].split("(", 1)[0].strip()
    head = line.split("=", 1)[0].strip()
    if "=" in line and "." in head and " " not in head and "\\" not in head and "(" not in head:
        return head.split(".", 1)[0]
    return None


def candidates(lines, i):
    """Smaller programs made by cutting at line i, the larger cut first."""
    line = lines[i]
    text = line.strip()
    if i == 0 and text.startswith(";"):
        return []
    if text.startswith(OPENERS):
        j = block_end(lines, i)
        out = [lines[:i] + lines[j + 1:]]
        if text.startswith(("If ", "For ", "While ", "Repeat", "Select ")):
            body = [l for l in lines[i + 1:j] if not l.strip().startswith(INNER)]
            out.append(lines[:i] + body + lines[j + 1:])
        return out
    if text.startswith(INNER) or text == "OpenConsole()":
        return []
    name = declared_name(text)
    if name and any(re.search(r"(?<![\w$])%s(?!\w)" % re.escape(name), l) for k, l in enumerate(lines) if k != i):
        return []
    return [lines[:i] + lines[i + 1:]]


def reduce_program(runner, source, switches, work, keep):
    """Drops lines and blocks (or only the head and end lines of a block)
    while the two compilers still differ the same way; a variable's typed
    first assignment goes only once nothing else names it."""
    lines = source.splitlines()
    tests = [0]

    def still_differs(candidate):
        tests[0] += 1
        folder = os.path.join(work, "r%d" % tests[0])
        try:
            res = runner.build_and_run("\n".join(candidate) + "\n", switches, folder)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        return verdict(res) == "differ" and difference_key(res) == keep

    progress = True
    while progress and tests[0] < 1500:
        progress = False
        i = 0
        while i < len(lines):
            for candidate in candidates(lines, i):
                if still_differs(candidate):
                    lines = candidate
                    progress = True
                    break
            else:
                i += 1
    return "\n".join(lines) + "\n", tests[0]


def both_compile_error(res):
    return res["x64"][0] == "compile" or res["c"][0] == "compile"


def parse_seeds(text):
    seeds = []
    for part in text.split(","):
        if "-" in part:
            a, b = part.split("-")
            seeds += range(int(a), int(b) + 1)
        elif part:
            seeds.append(int(part))
    return seeds


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--home", required=True)
    ap.add_argument("--seeds")
    ap.add_argument("--seconds", type=float)
    ap.add_argument("--families", default=",".join(zdgen.FAMILIES))
    ap.add_argument("--switches", default="-;/OPTIMIZER;/THREAD")
    ap.add_argument("--rotate", action="store_true")
    ap.add_argument("--debugger", action="store_true")
    ap.add_argument("--fixed-set", action="store_true")
    ap.add_argument("--disable", default="")
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--output")
    ap.add_argument("--no-reduce", action="store_true")
    ap.add_argument("--quiet", action="store_true")
    args = ap.parse_args()
    if not args.seeds and not args.seconds:
        ap.error("give --seeds or --seconds")

    families = [f for f in args.families.split(",") if f]
    switch_sets = [[] if s.strip() in ("-", "") else s.split() for s in args.switches.split(";")]
    if args.debugger:
        switch_sets.append(["/DEBUGGER"])
    disabled = [f for f in args.disable.split(",") if f]
    if args.fixed_set:
        disabled += KNOWN_DIFFERENCES
    runner = Runner(os.path.abspath(args.home), wine_environment())
    output = args.output
    if output:
        os.makedirs(output, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="zandrel-difftest.")
    lock = threading.Lock()
    counts = {"programs": 0, "builds": 0, "same": 0, "differ": 0, "both-fail": 0}
    failures = []
    deadline = time.time() + args.seconds if args.seconds else None

    def job(seed):
        family = families[seed % len(families)]
        source, flags = zdgen.generate(seed, family, disabled)
        sets = [switch_sets[seed % len(switch_sets)]] if args.rotate else switch_sets
        outcome = []
        for switches in sets:
            if deadline and time.time() > deadline:
                break
            work = tempfile.mkdtemp(dir=scratch)
            try:
                res = runner.build_and_run(source, switches, work)
                v = verdict(res)
                if v == "differ":
                    # A run that fails once under load is run again before
                    # it counts.
                    again = runner.build_and_run(source, switches, os.path.join(work, "again"))
                    if verdict(again) == "same":
                        v, res = "same", again
                reduced = None
                if v == "differ" and output and not args.no_reduce:
                    reduced, _ = reduce_program(runner, source, switches, work, difference_key(res))
            finally:
                shutil.rmtree(work, ignore_errors=True)
            outcome.append((switches, v, res, reduced))
        return seed, family, source, flags, outcome

    def record(result):
        seed, family, source, flags, outcome = result
        with lock:
            counts["programs"] += 1
            for switches, v, res, reduced in outcome:
                counts["builds"] += 1
                counts[v] += 1
                if v == "same":
                    continue
                label = "%s seed %d %s" % (family, seed, " ".join(switches) or "(no switch)")
                failures.append(label)
                print("%s: %s [features: %s]" % (v.upper(), label, " ".join(sorted(flags)) or "-"), flush=True)
                if not args.quiet:
                    print(describe(res), flush=True)
                if output:
                    base = os.path.join(output, "%s_%d%s" % (family, seed, "".join(
                        s.replace("/", "_").lower() for s in switches)))
                    with open(base + ".zd", "w") as f:
                        f.write(source)
                    with open(base + ".txt", "w") as f:
                        f.write("%s\nswitches: %s\nfeatures: %s\n\n%s" % (
                            label, " ".join(switches) or "-", " ".join(sorted(flags)) or "-", describe(res)))
                    if reduced:
                        with open(base + ".reduced.zd", "w") as f:
                            f.write(reduced)

    started = time.time()
    try:
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            if args.seeds:
                for fut in concurrent.futures.as_completed([pool.submit(job, s) for s in parse_seeds(args.seeds)]):
                    record(fut.result())
            else:
                rng = random.Random()
                pending = set()
                while time.time() < deadline or pending:
                    while time.time() < deadline and len(pending) < args.jobs * 2:
                        pending.add(pool.submit(job, rng.randint(1, 10 ** 9)))
                    done, pending = concurrent.futures.wait(pending, return_when=concurrent.futures.FIRST_COMPLETED)
                    for fut in done:
                        record(fut.result())
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    summary = ("difftest: %d programs, %d builds: %d same, %d differ, %d not built by either compiler (%.0f s)"
               % (counts["programs"], counts["builds"], counts["same"], counts["differ"], counts["both-fail"],
                  time.time() - started))
    print(summary, flush=True)
    if output:
        with open(os.path.join(output, "summary.txt"), "w") as f:
            f.write(summary + "\n" + "".join(l + "\n" for l in failures))
    if counts["both-fail"]:
        return 2
    return 1 if counts["differ"] else 0


if __name__ == "__main__":
    sys.exit(main())
