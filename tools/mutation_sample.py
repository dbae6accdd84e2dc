#!/usr/bin/env python3
"""Measures how many small faults the test suite catches.

Applies single-point mutations to the code under src/ one at a time (flip a comparison,
swap + and -, change an integer constant by one, drop an assignment, negate a condition,
replace a returned value), rebuilds only what changed, runs the tests of the mutated
layer with a timeout, and records each mutant as killed, survived or timed out. Mutants
that do not compile are skipped and replaced by others. A seed and a count make a run
reproducible: the same tree, seed and count give the same mutants.

    tools/mutation_sample.py --seed 1 --count 100 [--build build] [--layers engine,effects]
                             [--report out.json]
    tools/mutation_sample.py --replay out.json [--layers engine]

Every test program of the layer runs, so the report names each test that kills a mutant
(its killers). --replay runs the mutants of an earlier report again, to check that the
tests still kill what they killed then. The source file is restored after every mutant,
also on Ctrl+C.
"""

import argparse
import json
import random
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass, asdict, field
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LAYERS = ["effects", "engine", "audio_io", "persist", "control", "app"]
# The test programs of each layer's label (live JACK tests are left out: a mutant that
# only they could catch counts as survived).
TEST_TARGETS = {
    "effects": ["effects_tests"],
    "engine": ["engine_tests", "engine_thread_tests"],
    "audio_io": ["audio_io_tests", "audio_io_thread_tests"],
    "persist": ["persist_tests"],
    "control": ["control_tests"],
    "app": ["app_tests"],
}


@dataclass
class Mutant:
    file: str
    line: int  # 1-based
    operator: str
    before: str
    after: str
    outcome: str = ""
    seconds: float = 0.0
    killers: list = field(default_factory=list)


# Each operator maps one source line to its mutated forms (the line without its comment).
def _swap_tokens(pairs):
    def apply(code):
        out = []
        for old, new in pairs:
            for m in re.finditer(old, code):
                out.append(code[: m.start()] + new + code[m.end():])
        return out
    return apply


OPERATORS = {
    "comparison": _swap_tokens([
        (r"(?<![<>=!])<(?![<=])(?=\s)", "<="), (r"<=", "<"),
        (r"(?<![<>=!-])>(?![>=])(?=\s)", ">="), (r">=", ">"),
        (r"==", "!="), (r"!=", "=="),
    ]),
    "arithmetic": _swap_tokens([(r"(?<=\s)\+(?=\s)", "-"), (r"(?<=\s)-(?=\s)", "+"),
                                (r"(?<=\s)\*(?=\s)", "/")]),
    "logical": _swap_tokens([(r"&&", "||"), (r"\|\|", "&&")]),
}


def _constant(code):
    out = []
    for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.])", code):
        value = int(m.group(1))
        out.append(code[: m.start()] + str(value + 1) + code[m.end():])
        if value > 0:
            out.append(code[: m.start()] + str(value - 1) + code[m.end():])
    return out


def _drop_assignment(code):
    if re.match(r"^\s*[\w\->.\[\]*]+\s*(=|\+=|-=|\*=|/=|\|=|&=)\s*[^=].*;\s*$", code) and "const " not in code:
        return [re.sub(r"\S.*$", "{}  // mutant: assignment dropped", code)]
    return []


def _negate_condition(code):
    m = re.search(r"\b(if|while)\s*\(", code)
    if not m or "constexpr" in code:
        return []
    start = m.end()
    depth = 1
    for i in range(start, len(code)):
        depth += {"(": 1, ")": -1}.get(code[i], 0)
        if depth == 0:
            return [code[:start] + "!(" + code[start:i] + ")" + code[i:]]
    return []


def _return_value(code):
    m = re.match(r"^(\s*return\s+)(.+);\s*$", code)
    if not m:
        return []
    value = m.group(2).strip()
    swaps = {"true": "false", "false": "true", "0": "1", "1": "0", "-1": "0", "nullptr": None}
    if value in swaps:
        return [] if swaps[value] is None else [m.group(1) + swaps[value] + ";"]
    return [m.group(1) + "{};"]


OPERATORS.update({"constant": _constant, "drop-assignment": _drop_assignment,
                  "negate-condition": _negate_condition, "return-value": _return_value})


def code_part(line):
    """The line without a trailing // comment, or None for lines not worth mutating."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("//", "#", "*", "/*", "static_assert")):
        return None
    if '"' in line or "'" in line:  # texts of the system are not faults to sample
        return None
    return line.split("//", 1)[0].rstrip()


def candidates(layers):
    found = []
    for layer in layers:
        for path in sorted((ROOT / "src" / layer).rglob("*.cpp")):
            rel = str(path.relative_to(ROOT))
            for number, line in enumerate(path.read_text().splitlines(), 1):
                code = code_part(line)
                if code is None:
                    continue
                for name, op in OPERATORS.items():
                    for mutated in op(code):
                        if mutated != code:
                            found.append(Mutant(rel, number, name, code.strip(), mutated.strip()))
    return found


def run(cmd, timeout=None):
    # A mutant can make a test print any bytes: undecodable ones are replaced, not fatal.
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, errors="replace", timeout=timeout)


def layer_of_path(file):
    return file.split("/")[1]


def layer_of(mutant):
    return layer_of_path(mutant.file)


def source_matches(mutant):
    lines = (ROOT / mutant.file).read_text().splitlines()
    return mutant.line <= len(lines) and (code_part(lines[mutant.line - 1]) or "").strip() == mutant.before


def test_layers(mutant):
    """The layers whose tests run for a mutant: its own, and the effects tests for the
    engine's effects operations, which they exercise."""
    layer = layer_of(mutant)
    if layer == "engine" and Path(mutant.file).name.startswith("effects_"):
        return ["engine", "effects"]
    return [layer]


_compile_commands = {}


def compiles(build, mutant):
    """A quick syntax-only compile of the mutated file with its own flags: most mutants
    that do not compile are dropped here, before any build."""
    if not _compile_commands:
        for entry in json.loads((ROOT / build / "compile_commands.json").read_text()):
            _compile_commands[str(Path(entry["file"]).resolve())] = entry
    entry = _compile_commands.get(str((ROOT / mutant.file).resolve()))
    if not entry:
        return True
    args = entry.get("arguments") or entry["command"].split()
    args = [a for a in args if a not in ("ccache",) and not a.endswith("/ccache")]
    if "-o" in args:
        i = args.index("-o")
        del args[i:i + 2]
    args = [a for a in args if a != "-c"] + ["-fsyntax-only"]
    return subprocess.run(args, cwd=entry["directory"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


_targets = {}


def targets_in_build(build, layer):
    """The layer's test programs that this build defines (asked of ninja once a run)."""
    if build not in _targets:
        _targets[build] = run(["ninja", "-C", build, "-t", "targets", "all"]).stdout
    return [t for t in TEST_TARGETS[layer] if re.search(rf"^tests/{t}:", _targets[build], re.M)]


def try_mutant(mutant, build, timeout):
    path = ROOT / mutant.file
    original = path.read_text()
    lines = original.splitlines(keepends=True)
    old = lines[mutant.line - 1]
    indent = old[: len(old) - len(old.lstrip())]
    comment = old.split("//", 1)[1] if "//" in old else None
    lines[mutant.line - 1] = indent + mutant.after + ("  //" + comment if comment else "\n")
    started = time.monotonic()
    try:
        path.write_text("".join(lines))
        if not compiles(build, mutant):
            return "uncompilable"
        targets = [t for layer in test_layers(mutant) for t in targets_in_build(build, layer)]
        built = run(["cmake", "--build", build, "--target", *targets])
        if built.returncode != 0:
            return "uncompilable"
        outcome = "survived"
        mutant.killers = []
        for target in targets:
            try:
                result = run([f"{build}/tests/{target}", "--gtest_brief=1"], timeout=timeout)
            except subprocess.TimeoutExpired:
                mutant.killers.append(f"{target}: timeout")
                outcome = "timeout" if outcome == "survived" else outcome
                continue
            if result.returncode != 0:
                failed = sorted(set(re.findall(r"^\[  FAILED  \] (\w+(?:/\w+)?\.\w+(?:/\w+)?)",
                                               result.stdout, re.M)))
                mutant.killers += failed or [f"{target}: exit {result.returncode}"]
                outcome = "killed"
        return outcome
    finally:
        path.write_text(original)
        mutant.seconds = round(time.monotonic() - started, 1)


def main():
    # A terminated run restores the mutated file like Ctrl+C does.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=100)
    parser.add_argument("--build", default="build", help="a configured build folder")
    parser.add_argument("--layers", default=",".join(LAYERS))
    parser.add_argument("--timeout", type=int, default=60, help="seconds per test program")
    parser.add_argument("--report", default=None, help="write the results as JSON here")
    parser.add_argument("--replay", default=None, help="run the mutants of this report again")
    args = parser.parse_args()

    layers = [l for l in args.layers.split(",") if l]
    unknown = set(layers) - set(LAYERS)
    if unknown:
        parser.error(f"unknown layers: {', '.join(sorted(unknown))}")
    if args.replay:
        pool = [Mutant(**{k: v for k, v in m.items() if k in ("file", "line", "operator", "before", "after")})
                for m in json.loads(Path(args.replay).read_text()) if layer_of_path(m["file"]) in layers]
        args.count = len(pool)
        print(f"replaying {len(pool)} mutants of {args.replay} in {', '.join(layers)}")
    else:
        pool = candidates(layers)
        random.Random(args.seed).shuffle(pool)
        print(f"{len(pool)} candidate mutants in {', '.join(layers)}; sampling {args.count} (seed {args.seed})")

    results = []
    for mutant in pool:
        if len(results) == args.count:
            break
        if args.replay and not source_matches(mutant):
            mutant.outcome = "stale"  # the line changed since the report: not comparable
        else:
            mutant.outcome = try_mutant(mutant, args.build, args.timeout)
        if mutant.outcome == "uncompilable" and not args.replay:
            continue
        results.append(mutant)
        print(f"[{len(results):3}/{args.count}] {mutant.outcome:8} {mutant.file}:{mutant.line} "
              f"{mutant.operator}: {mutant.after}", flush=True)
    # The restored sources are rebuilt so that the build folder matches the tree again.
    run(["cmake", "--build", args.build])

    print("\nlayer       killed  survived  timeout  kill rate")
    for layer in layers + ["all"]:
        mine = [m for m in results if (layer == "all" or layer_of(m) == layer)
                and m.outcome in ("killed", "survived", "timeout")]
        if not mine:
            continue
        killed = sum(m.outcome in ("killed", "timeout") for m in mine)
        survived = sum(m.outcome == "survived" for m in mine)
        timeouts = sum(m.outcome == "timeout" for m in mine)
        print(f"{layer:10} {killed - timeouts:7} {survived:9} {timeouts:8} {100 * killed / len(mine):9.0f} %")
    survivors = [m for m in results if m.outcome == "survived"]
    if survivors:
        print("\nsurvivors:")
        for m in survivors:
            print(f"  {m.file}:{m.line} {m.operator}: {m.before}  ->  {m.after}")
    stale = [m for m in results if m.outcome in ("stale", "uncompilable")]
    if stale:
        print(f"\n{len(stale)} mutants no longer apply to the tree (left out of the rates)")
    if args.report:
        Path(args.report).write_text(json.dumps([asdict(m) for m in results], indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
