#!/usr/bin/env python3
"""Compile-speed benchmark: both compilers side by side with tcc.

Generates three program shapes at several sizes, each as Zandrel source and
as the same program in C, and measures in one run:
  - tcc -c on the C program,
  - zdcompiler /CHECK (front end only),
  - zdcompiler to zandrel.asm (the assembler and linker stubbed),
  - zdcompilerc to zandrel.c (gcc and the linker stubbed),
each as wall time (best of N runs), peak memory, and with --instructions the
instruction count under callgrind, with the ratios of the time and of the
instruction count to tcc's.
Then, at one size, the external tools on their own: the assembler and linker
of zdcompiler, and gcc with the linker of zdcompilerc.

  bench/compile_speed.py [--build DIR] [--sizes 1000,10000,100000,1000000]
                         [--shapes arith,strings,procedures] [--runs 3]
                         [--instructions] [--tools-size 100000]
                         [--reference DIR] [--keep DIR]

--reference DIR names the installation folder (build/zandrel) of another
build, for example one made from an earlier commit: the zandrel.asm and
zandrel.c that both builds write for every benchmark program are compared
byte for byte, and any difference is reported (exit code 1).
--keep DIR keeps the generated sources and outputs there.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# --- Program shapes ----------------------------------------------------------


def shape_arith(count):
    """Integer statements over 100 variables."""
    zd = ["Define v%d.i = %d" % (k, k + 1) for k in range(100)]
    c = ["long long v%d = %d;" % (k, k + 1) for k in range(100)]
    c.append("int main(void) {")
    for i in range(count):
        a, b, d = i % 100, (i * 7) % 100, (i * 13) % 100
        zd.append("v%d = v%d * 3 + %d - v%d / 2" % (a, b, i, d))
        c.append("v%d = v%d * 3 + %d - v%d / 2;" % (a, b, i, d))
    zd.append("End v1 & 255")
    c.append("return (int)(v1 & 255); }")
    return "\n".join(zd) + "\n", "\n".join(c) + "\n"


def shape_strings(count):
    """String joins, string procedures and their calls."""
    procedures = 20
    zd, c = [], ["#include <stdlib.h>", "#include <string.h>"]
    c.append("static char* join(const char* a, const char* b) { size_t la = strlen(a), lb = strlen(b);"
             " char* r = malloc(la + lb + 1); memcpy(r, a, la); memcpy(r + la, b, lb + 1); return r; }")
    for k in range(20):
        zd.append("Define s%d.s = \"s%d\"" % (k, k))
        c.append("static char* s%d = \"s%d\";" % (k, k))
    for k in range(procedures):
        zd += ["Procedure.s P%d(a.s, b.s)" % k, "  Protected t.s = a + \"-\" + b",
               "  t = t + \"%d\"" % k,
               "  ProcedureReturn t", "EndProcedure"]
        c += ["static char* P%d(const char* a, const char* b) {" % k,
              "  char* t = join(join(a, \"-\"), b);", "  t = join(t, \"%d\");" % k, "  return t; }"]
    c.append("int main(void) {")
    for i in range(count):
        a, b, p = i % 20, (i * 3) % 20, i % procedures
        if i % 2:
            zd.append("s%d = P%d(s%d, \"l%d\")" % (a, p, b, i))
            c.append("s%d = P%d(s%d, \"l%d\");" % (a, p, b, i))
        else:
            zd.append("s%d = \"x%d\" + s%d + \"y\"" % (a, i, b))
            c.append("s%d = join(join(\"x%d\", s%d), \"y\");" % (a, i, b))
    zd.append("End 0")
    c.append("return 0; }")
    return "\n".join(zd) + "\n", "\n".join(c) + "\n"


def shape_procedures(count):
    """Procedures of 100 statements each, every one called once."""
    zd, c = [], []
    procedures = max(1, count // 100)
    for k in range(procedures):
        zd += ["Procedure.i F%d(a.i, b.i)" % k, "  Protected x.i = a, y.i = b"]
        c += ["long long F%d(long long a, long long b) {" % k, "  long long x = a, y = b;"]
        for j in range(98):
            if j % 2:
                zd.append("  x = x + y * %d - a" % j)
                c.append("  x = x + y * %d - a;" % j)
            else:
                zd.append("  y = (y + x) & %d" % (j + 255))
                c.append("  y = (y + x) & %d;" % (j + 255))
        zd += ["  ProcedureReturn x + y", "EndProcedure"]
        c += ["  return x + y; }"]
    zd.append("Define total.i")
    c.append("int main(void) { long long total = 0;")
    for k in range(procedures):
        zd.append("total = total + F%d(%d, 2)" % (k, k))
        c.append("total = total + F%d(%d, 2);" % (k, k))
    zd.append("End total & 255")
    c.append("return (int)(total & 255); }")
    return "\n".join(zd) + "\n", "\n".join(c) + "\n"


SHAPES = {"arith": shape_arith, "strings": shape_strings, "procedures": shape_procedures}

# --- A stubbed installation ----------------------------------------------------

STUB = r"""#!/bin/sh
# Benchmark stand-in for an external tool: keeps the file the compiler hands
# over (when ZANDREL_BENCH_KEEP names a folder) and, with ZANDREL_BENCH_REAL
# set, runs the real tool and adds its time to ZANDREL_BENCH_TIMES.
keep_pattern='%(pattern)s'
if [ -n "$ZANDREL_BENCH_KEEP" ]; then
    for argument in "$@"; do
        case "$argument" in
            *$keep_pattern) cp "$argument" "$ZANDREL_BENCH_KEEP/" 2>/dev/null ;;
        esac
    done
fi
if [ -n "$ZANDREL_BENCH_REAL" ]; then
    start=$(date +%%s%%N)
    "$0.real" "$@"
    rc=$?
    end=$(date +%%s%%N)
    echo "%(name)s $((end - start))" >> "$ZANDREL_BENCH_TIMES"
    exit $rc
fi
exit 0
"""


def make_stubbed_installation(source_home, folder):
    home = os.path.join(folder, "zandrel")
    shutil.copytree(source_home, home, symlinks=True)
    tools = os.path.join(home, "Compilers")
    for relative, pattern, name in [("FAsm.exe", ".asm", "assembler"), ("polink", ".obj", "linker"),
                                    ("polink.exe", ".obj", "linker"), (os.path.join("gcc", "gcc"), ".c", "gcc")]:
        path = os.path.join(tools, relative)
        if not os.path.exists(path):
            continue
        os.rename(path, path + ".real")
        with open(path, "w") as out:
            out.write(STUB % {"pattern": pattern, "name": name})
        os.chmod(path, 0o755)
    return home


# --- Measuring -----------------------------------------------------------------


def run_measured(command, cwd, env=None):
    """Runs a command; returns (seconds, peak KiB, exit code)."""
    start = time.perf_counter()
    process = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", os.path.join(cwd, ".peak")] + command, cwd=cwd,
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    code = process.wait()
    seconds = time.perf_counter() - start
    peak = 0
    try:
        with open(os.path.join(cwd, ".peak")) as f:
            lines = [l for l in f.read().split() if l.isdigit()]
            peak = int(lines[-1]) if lines else 0
    except OSError:
        pass
    return seconds, peak, code


def count_instructions(command, cwd, env=None):
    out = os.path.join(cwd, ".callgrind")
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out] + command, cwd=cwd, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    match = re.search(r"Collected : (\d+)", result.stderr)
    for name in os.listdir(cwd):
        if name.startswith(".callgrind"):
            os.remove(os.path.join(cwd, name))
    return int(match.group(1)) if match else None


def best_of(runs, command, cwd, env=None):
    best, peak, code = None, 0, 0
    for _ in range(runs):
        seconds, kib, code = run_measured(command, cwd, env)
        best = seconds if best is None else min(best, seconds)
        peak = max(peak, kib)
    return best, peak, code


def compiler_env(keep=None, real=False, times=None):
    env = dict(os.environ)
    env.pop("ZANDREL_BENCH_KEEP", None)
    env.pop("ZANDREL_BENCH_REAL", None)
    if keep:
        env["ZANDREL_BENCH_KEEP"] = keep
    if real:
        env["ZANDREL_BENCH_REAL"] = "1"
        env["ZANDREL_BENCH_TIMES"] = times
    return env


def human_size(count):
    return "%dk" % (count // 1000) if count < 1000000 else "%dM" % (count // 1000000)


def format_count(value):
    return "-" if value is None else "%.2f G" % (value / 1e9) if value >= 1e8 else "%.1f M" % (value / 1e6)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--sizes", default="1000,10000,100000,1000000")
    parser.add_argument("--shapes", default="arith,strings,procedures")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--instructions", action="store_true", help="count instructions with callgrind (sizes up to 100k)")
    parser.add_argument("--tools-size", type=int, default=100000)
    parser.add_argument("--reference", help="installation folder of another build to compare the generated files with")
    parser.add_argument("--keep", help="folder that keeps the programs and their outputs")
    args = parser.parse_args()

    source_home = os.path.join(args.build, "zandrel")
    if not os.path.exists(os.path.join(source_home, "Compilers", "zdcompiler")):
        sys.exit("build first: %s/Compilers/zdcompiler not found" % source_home)
    tcc = shutil.which("tcc")
    sizes = [int(s) for s in args.sizes.split(",")]
    shapes = args.shapes.split(",")
    work = args.keep or tempfile.mkdtemp(prefix="zandrel_bench_")
    os.makedirs(work, exist_ok=True)
    home = make_stubbed_installation(source_home, os.path.join(work, "installation"))
    reference = make_stubbed_installation(args.reference, os.path.join(work, "reference")) if args.reference else None
    zdcompiler = os.path.join(home, "Compilers", "zdcompiler")
    zdcompilerc = os.path.join(home, "Compilers", "zdcompilerc")

    print("machine: %s, %d cores; tcc: %s; valgrind: %s" % (os.uname().machine, os.cpu_count(), "yes" if tcc else "missing",
                                                          "yes" if shutil.which("valgrind") else "missing"))
    header = "| shape | size | what | time (s) | ratio to tcc | peak MiB | instructions | instructions to tcc |"
    print(header)
    print("|" + "---|" * 8)
    differences = 0
    for shape in shapes:
        for count in sizes:
            folder = os.path.join(work, "%s_%s" % (shape, human_size(count)))
            os.makedirs(folder, exist_ok=True)
            zd_text, c_text = SHAPES[shape](count)
            with open(os.path.join(folder, "bench.zd"), "w") as f:
                f.write(zd_text)
            with open(os.path.join(folder, "bench_tcc.c"), "w") as f:
                f.write(c_text)
            outputs = {}
            for kind in ("asm", "c"):
                outputs[kind] = os.path.join(folder, "out_" + kind)
                os.makedirs(outputs[kind], exist_ok=True)
            rows = []
            if tcc:
                rows.append(("tcc -c", [tcc, "-c", "bench_tcc.c", "-o", "bench_tcc.o"], None))
            rows.append(("zdcompiler /CHECK", [zdcompiler, "bench.zd", "/CHECK", "/QUIET"], None))
            rows.append(("zdcompiler to zandrel.asm", [zdcompiler, "bench.zd", "/CONSOLE", "/QUIET", "/OUTPUT", "bench.exe"],
                         outputs["asm"]))
            rows.append(("zdcompilerc to zandrel.c", [zdcompilerc, "bench.zd", "/CONSOLE", "/QUIET", "/OUTPUT", "bench_c.exe"],
                         outputs["c"]))
            tcc_time = None
            tcc_instructions = None
            for what, command, keep in rows:
                env = compiler_env(keep)
                seconds, peak, code = best_of(args.runs, command, folder, env)
                if what == "tcc -c":
                    tcc_time = seconds
                ratio = "%.2f" % (seconds / tcc_time) if tcc_time else "-"
                instructions = None
                if args.instructions and count <= 100000:
                    instructions = count_instructions(command, folder, compiler_env())
                if what == "tcc -c":
                    tcc_instructions = instructions
                instruction_ratio = "%.2f" % (instructions / tcc_instructions) if instructions and tcc_instructions else "-"
                status = "" if code == 0 else " (exit %d)" % code
                print("| %s | %s | %s%s | %.3f | %s | %.1f | %s | %s |" % (shape, human_size(count), what, status, seconds,
                                                                         ratio, peak / 1024, format_count(instructions),
                                                                         instruction_ratio))
                sys.stdout.flush()
            if reference:
                for kind, compiler_name, name in (("asm", "zdcompiler", "zandrel.asm"), ("c", "zdcompilerc", "zandrel.c")):
                    ref_folder = os.path.join(folder, "ref_" + kind)
                    os.makedirs(ref_folder, exist_ok=True)
                    out = "bench.exe" if kind == "asm" else "bench_c.exe"
                    subprocess.run([os.path.join(reference, "Compilers", compiler_name), "bench.zd", "/CONSOLE", "/QUIET",
                                    "/OUTPUT", out], cwd=folder, env=compiler_env(ref_folder), stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
                    ours = os.path.join(outputs[kind], name)
                    theirs = os.path.join(ref_folder, name)
                    same = os.path.exists(ours) and os.path.exists(theirs) and open(ours, "rb").read() == open(theirs, "rb").read()
                    if not same:
                        differences += 1
                        print("DIFFERENT: %s of %s %s" % (name, shape, human_size(count)))

    # The external tools on their own, at one size of the first shape.
    count = args.tools_size
    folder = os.path.join(work, "tools_%s" % human_size(count))
    os.makedirs(folder, exist_ok=True)
    zd_text, _ = SHAPES[shapes[0]](count)
    with open(os.path.join(folder, "bench.zd"), "w") as f:
        f.write(zd_text)
    print()
    print("external tools, %s %s statements (full builds with the real tools):" % (shapes[0], human_size(count)))
    print("| compiler | whole build (s) | compiler alone (s) | tool | tool time (s) |")
    print("|---|---|---|---|---|")
    for compiler_name, out in (("zdcompiler", "bench.exe"), ("zdcompilerc", "bench_c.exe")):
        compiler = os.path.join(home, "Compilers", compiler_name)
        alone, _, _ = best_of(1, [compiler, "bench.zd", "/CONSOLE", "/QUIET", "/OUTPUT", out], folder, compiler_env())
        times = os.path.join(folder, ".times")
        if os.path.exists(times):
            os.remove(times)
        whole, _, code = best_of(1, [compiler, "bench.zd", "/CONSOLE", "/QUIET", "/OUTPUT", out], folder,
                                 compiler_env(real=True, times=times))
        tool_times = {}
        if os.path.exists(times):
            for line in open(times):
                name, ns = line.split()
                tool_times[name] = tool_times.get(name, 0) + int(ns) / 1e9
        for name, seconds in sorted(tool_times.items()):
            print("| %s%s | %.3f | %.3f | %s | %.3f |" % (compiler_name, "" if code == 0 else " (exit %d)" % code, whole, alone,
                                                         name, seconds))
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    if differences:
        print("%d generated files differ from the reference build" % differences)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
