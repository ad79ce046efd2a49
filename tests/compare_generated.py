#!/usr/bin/env python3
"""Compares the generated files of two builds byte for byte.

    tests/compare_generated.py --reference DIR --build DIR [-j JOBS]
                               [--only REGEX] [--keep DIR] [--list]

Each DIR is a build folder (with its installation in DIR/zandrel) or the
installation folder itself. Both builds compile the same sources with
zdcompiler and zdcompilerc, and the zandrel.asm and zandrel.c they write are
compared, with what each compiler printed and its exit code. The sources:
  - every tests/e2e/programs/*.zd,
  - the other sources under tests/e2e/data that compile on their own,
  - the fixed differential set (the seeds and features the difftest_*
    tests generate with tests/difftest/zdgen.py),
each with /CONSOLE and in turn no further switch, /DEBUGGER, and
/OPTIMIZER /THREAD.

The external tools (assembler, C compiler, linker, resource compiler,
librarian) of both installations are replaced, in copies, by a stand-in
that keeps the generated file and does nothing else, so nothing is
assembled, linked or run. The two copies are used in turn from one folder,
so the paths written into the files are the same; only the value of the
compile-date constant is left out of the comparison.

--only REGEX  compares only the cases whose name matches (for example
              "seed_1[0-9]$" or "programs/loops_sum").
--keep DIR    keeps the stubbed installations and every case's files there.
--list        prints the cases and stops.

Exit code: 0 when every file is the same, 1 when some differ (each listed
with its first differing line), 2 on a fault of the tool or of a build.
"""
import argparse
import concurrent.futures
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
E2E = os.path.join(ROOT, "tests", "e2e")
DIFFTEST = os.path.join(ROOT, "tests", "difftest")

COMPILERS = (("zdcompiler", "zandrel.asm"), ("zdcompilerc", "zandrel.c"))
SWITCH_SETS = ((), ("/DEBUGGER",), ("/OPTIMIZER", "/THREAD"))
COMPILE_TIMEOUT_SECONDS = 120

# The tools a compiler starts after writing its program file, relative to
# the Compilers folder.
EXTERNAL_TOOLS = ("FAsm.exe", "polink", "polink.exe", "polib.exe", "porc.exe", os.path.join("gcc", "gcc"))
KEEP_VARIABLE = "ZANDREL_COMPARE_KEEP"
STAND_IN = """#!/bin/sh
# Stand-in for an external tool: keeps the generated program file it is
# handed in $%s and reports success.
for argument in "$@"; do
    case "$argument" in
        *.asm|*.c) [ -n "$%s" ] && cp "$argument" "$%s/" 2>/dev/null ;;
    esac
done
exit 0
""" % (KEEP_VARIABLE, KEEP_VARIABLE, KEEP_VARIABLE)

# Sources under tests/e2e/data, with the switches their tests give them.
# Names of libraries the tests make first are replaced by a fixed path: both
# builds then get the same (missing) library. make_import.zd writes no
# program file and is left out.
DATA_SOURCES = (
    ("dll_pair/library.zd", ("/DLL",)),
    ("dll_pair/host.zd", ("/CONSOLE",)),
    ("zandrel_dll/library.zd", ("/DLL",)),
    ("import_block/main.zd", ("/CONSOLE",)),
    ("launch_folder/started.zd", ("/CONSOLE",)),
    ("records/main.zd", ("/CONSOLE",)),
    ("variants/main.zd", ("/CONSOLE",)),
    ("variants/order.zd", ("/CONSOLE",)),
)
PLACEHOLDER = re.compile(r"@[A-Z_]+@")
PLACEHOLDER_PATH = "C:\\compare\\Missing.lib"

# The compile-date constant's value line, three lines after its name in the
# constant bank: "dd N" in zandrel.asm, four byte values in zandrel.c.
DATE_NAME = "ZD_Compiler_Date"
DATE_MARK_ASM = 'db "%s",0' % DATE_NAME
DATE_MARK_C = ",".join(str(ord(c)) for c in DATE_NAME) + ",0,"
DATE_VALUE_OFFSET = 3
DATE_VALUE_LINE = re.compile(r"^\s*(dd -?\d+|\d+,\d+,\d+,\d+,)\s*$")
DATE_MASK = "<compile date>"


def installation_of(folder):
    """The installation folder of a build folder or of an installation."""
    for candidate in (os.path.join(folder, "zandrel"), folder):
        if os.path.exists(os.path.join(candidate, "Compilers", "zdcompiler")):
            return os.path.abspath(candidate)
    sys.exit("compare_generated: no installation in %s (Compilers/zdcompiler not found)" % folder)


def make_stubbed_installation(source_home, folder):
    home = os.path.join(folder, "zandrel")
    shutil.copytree(source_home, home, symlinks=True)
    for relative in EXTERNAL_TOOLS:
        path = os.path.join(home, "Compilers", relative)
        if not os.path.exists(path):
            continue
        os.remove(path)
        with open(path, "w") as out:
            out.write(STAND_IN)
        os.chmod(path, 0o755)
    return home


def normalised_lines(data):
    text = [line.decode("latin-1") for line in data.split(b"\n")]
    for i, line in enumerate(text):
        if line.strip() in (DATE_MARK_ASM, DATE_MARK_C) and i + DATE_VALUE_OFFSET < len(text):
            if DATE_VALUE_LINE.match(text[i + DATE_VALUE_OFFSET]):
                text[i + DATE_VALUE_OFFSET] = DATE_MASK
    return text


def given_constants():
    """Names of the constants the e2e tests give programs with /CONSTANT."""
    names = set()
    for path in glob.glob(os.path.join(E2E, "*.cmake")) + [os.path.join(E2E, "CMakeLists.txt")]:
        with open(path) as f:
            names.update(re.findall(r"/CONSTANT (\w+)=", f.read()))
    return sorted(names)


def constant_variants(text, constants):
    """The /CONSTANT switches a program is compiled with: for a constant it
    selects on, each of its CompilerCase values; for one it tests, 0 and 1."""
    for name in constants:
        if not re.search(r"#%s\b" % name, text):
            continue
        if re.search(r"CompilerSelect\s+#%s\b" % name, text):
            values = sorted(set(int(v) for v in re.findall(r"^\s*CompilerCase\s+(\d+)", text, re.M)))
        else:
            values = [0, 1]
        return [("/CONSTANT", "%s=%d" % (name, value)) for value in values]
    return [()]


def collect_cases():
    """(name, source text, switches) of every source compiled."""
    cases = []
    constants = given_constants()
    for path in sorted(glob.glob(os.path.join(E2E, "programs", "*.zd"))):
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            text = f.read()
        for given in constant_variants(text, constants):
            name = "programs/" + os.path.basename(path)[:-3] + ("" if not given else " " + given[1])
            cases.append((name, text, ("/CONSOLE",) + given))
    for relative, switches in DATA_SOURCES:
        path = os.path.join(E2E, "data", relative)
        if not os.path.exists(path):
            continue
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            text = PLACEHOLDER.sub(lambda _: PLACEHOLDER_PATH, f.read())
        cases.append(("data/" + relative[:-3], text, switches))
    sys.path.insert(0, DIFFTEST)
    import difftest  # noqa: E402  (the fixed set's features and generator)
    zdgen = difftest.zdgen
    with open(os.path.join(DIFFTEST, "CMakeLists.txt")) as f:
        cmake = f.read()
    per_shard = int(re.search(r"DIFFTEST_SEEDS_PER_SHARD (\d+)", cmake).group(1))
    shards = int(re.search(r"DIFFTEST_SHARDS (\d+)", cmake).group(1))
    families = list(zdgen.FAMILIES)
    for seed in range(1, per_shard * shards + 1):
        source, _ = zdgen.generate(seed, families[seed % len(families)], list(difftest.KNOWN_DIFFERENCES))
        cases.append(("difftest/seed_%d" % seed, source, ("/CONSOLE",)))
    return cases


def output_name(switches):
    return "program.dll" if "/DLL" in switches else "program.exe"


def compile_once(home, compiler, folder, keep, switches):
    """Runs one compiler in folder; returns (exit code, printed text)."""
    os.makedirs(keep)
    env = dict(os.environ)
    env[KEEP_VARIABLE] = keep
    command = [os.path.join(home, "Compilers", compiler), "main.zd"] + list(switches) + ["/OUTPUT", output_name(switches)]
    try:
        done = subprocess.run(command, cwd=folder, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=COMPILE_TIMEOUT_SECONDS)
        return done.returncode, done.stdout + done.stderr
    except subprocess.TimeoutExpired:
        return "timeout", b""


def first_difference(ours, theirs):
    for number, (a, b) in enumerate(zip(theirs, ours), 1):
        if a != b:
            return number, a, b
    number = min(len(ours), len(theirs)) + 1
    return number, theirs[number - 1] if number <= len(theirs) else "<end>", ours[number - 1] if number <= len(ours) else "<end>"


def case_folder(work, name, compiler, switches):
    return os.path.join(work, "cases", re.sub(r"[^A-Za-z0-9_.-]", "_", "%s_%s_%s" % (
        name, compiler, "".join(s.strip("/").lower() for s in switches))))


def compile_case(job, side):
    """Compiles one source with one compiler and switch set in the
    installation in place; returns (exit code, printed text, program file)."""
    work, name, source, compiler, file_name, switches = job
    folder = case_folder(work, name, compiler, switches)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "main.zd"), "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write(source)
    # The include files the e2e programs share, beside the source as the
    # e2e runners put them.
    for include in glob.glob(os.path.join(E2E, "programs", "*.zdi")):
        shutil.copy(include, folder)
    keep = os.path.join(folder, "generated_" + side)
    code, printed = compile_once(os.path.join(work, "zandrel"), compiler, folder, keep, switches)
    path = os.path.join(keep, file_name)
    generated = open(path, "rb").read() if os.path.exists(path) else None
    return code, printed, generated


def compare_results(job, reference, build):
    """The difference reports of one compilation."""
    _, name, _, compiler, file_name, switches = job
    label = "%s %s %s" % (name, compiler, " ".join(switches))
    (ref_code, ref_printed, ref_file), (new_code, new_printed, new_file) = reference, build
    reports = []
    if ref_code != new_code:
        reports.append("%s: exit code %s, reference %s" % (label, new_code, ref_code))
    if ref_printed != new_printed:
        number, a, b = first_difference(normalised_lines(new_printed), normalised_lines(ref_printed))
        reports.append("%s: printed text, line %d\n  reference: %s\n  build:     %s" % (label, number, a, b))
    if (ref_file is None) != (new_file is None):
        reports.append("%s: %s written by %s only" % (label, file_name, "the build" if ref_file is None else "the reference"))
    elif ref_file is not None and ref_file != new_file:
        ours, theirs = normalised_lines(new_file), normalised_lines(ref_file)
        if ours != theirs:
            number, a, b = first_difference(ours, theirs)
            reports.append("%s: %s line %d\n  reference: %s\n  build:     %s" % (label, file_name, number, a.strip(), b.strip()))
    return label, reports


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--reference", required=True, help="build (or installation) compared against")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"), help="build (or installation) checked")
    parser.add_argument("-j", "--jobs", type=int, default=4)
    parser.add_argument("--only", help="regular expression: compare only the cases whose name matches")
    parser.add_argument("--keep", help="folder that keeps the installations and the cases' files")
    parser.add_argument("--list", action="store_true", help="print the cases and stop")
    args = parser.parse_args()

    cases = collect_cases()
    if args.only:
        pattern = re.compile(args.only)
        cases = [case for case in cases if pattern.search(case[0])]
    if args.list:
        for name, _, switches in cases:
            print(name, " ".join(switches))
        return 0
    if not cases:
        print("compare_generated: no case matches")
        return 2
    reference, build = installation_of(args.reference), installation_of(args.build)
    work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="zandrel_compare_")
    os.makedirs(work, exist_ok=True)
    for earlier in ("cases", "zandrel", "zandrel_reference", "zandrel_build"):
        shutil.rmtree(os.path.join(work, earlier), ignore_errors=True)
    jobs = []
    for name, source, base_switches in cases:
        for switch_set in SWITCH_SETS:
            for compiler, file_name in COMPILERS:
                jobs.append((work, name, source, compiler, file_name, tuple(base_switches) + switch_set))
    # Both builds run from the same folder in turn, on sources in the same
    # folders: the paths written into the generated files are the same.
    results = {}
    for side, home in (("reference", reference), ("build", build)):
        installed = os.path.join(work, "zandrel")
        shutil.rmtree(installed, ignore_errors=True)
        make_stubbed_installation(home, work)
        with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
            results[side] = list(pool.map(lambda job: compile_case(job, side), jobs))
        if args.keep:
            os.rename(installed, os.path.join(work, "zandrel_" + side))
    differing = []
    written = sum(1 for _, _, generated in results["reference"] if generated is not None)
    for job, ref, new in zip(jobs, results["reference"], results["build"]):
        label, reports = compare_results(job, ref, new)
        if reports:
            differing.append(label)
            for report in reports:
                print("DIFFERENT: " + report)
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    print("%d compilations of %d sources compared (%d wrote a program file): %d differ" % (
        len(jobs), len(cases), written, len(differing)))
    if written == 0:
        print("compare_generated: no compilation wrote a program file; the builds or the stand-ins are at fault")
        return 2
    return 1 if differing else 0


if __name__ == "__main__":
    sys.exit(main())
