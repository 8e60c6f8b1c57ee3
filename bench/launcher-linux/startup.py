#!/usr/bin/env python3
"""Start-up cost of morv against the JDK's own java command.

Starts the demo image's hello-world (the viewer with --hello, which prints one
line and ends without loading any native library) over and over, once through
the image's morv and once through the image runtime's bin/java with exactly
the JVM argument vector that morv hands to JLI_Launch (read from morv's own
VARNO_DEBUG trace), and reports the whole-process wall times and the ratio of
their medians. The two commands alternate, and take turns at going first, so
drifts in machine load and cache effects hit both alike.

    python3 bench/launcher-linux/startup.py [--image DIR] [--runs N] [--warmup N]

The image is the one scripts/demo.sh lays out (build/release/demo-image by
default; run the demo once first).
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def jvm_arguments(morv, env):
    """The argument vector morv passes to JLI_Launch, from its trace."""
    traced = dict(env, VARNO_DEBUG="true")
    result = subprocess.run([morv, "--hello"], env=traced, capture_output=True, text=True,
                            check=True)
    args = {}
    for line in result.stderr.splitlines():
        m = re.fullmatch(r"jli arg\[(\d+)\]: \[(.*)\]", line)
        if m:
            args[int(m.group(1))] = m.group(2)
    if not args or sorted(args) != list(range(len(args))):
        sys.exit("no JLI_Launch argument trace from morv:\n" + result.stderr)
    return [args[i] for i in range(len(args))]


def run_once(argv, env):
    """Wall time and CPU time (user + system) of one whole process."""
    start = time.perf_counter()
    child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{argv[0]} ended with {child.returncode}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--image", default=os.path.join(ROOT, "build", "release", "demo-image"))
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--warmup", type=int, default=3)
    opts = parser.parse_args()

    morv = os.path.join(opts.image, "morv")
    java = os.path.join(opts.image, "runtime", "bin", "java")
    for path in (morv, java):
        if not os.access(path, os.X_OK):
            sys.exit(f"{path} not found: run scripts/demo.sh first")

    env = {k: v for k, v in os.environ.items()
           if k not in ("VARNO_DEBUG", "JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS",
                        "LD_LIBRARY_PATH")}
    args = jvm_arguments(morv, env)
    commands = {
        "morv": [morv, "--hello"],
        "java": [java] + args[1:],
    }
    print("java command:", " ".join(commands["java"]))

    for _ in range(opts.warmup):
        for argv in commands.values():
            run_once(argv, env)
    wall = {name: [] for name in commands}
    cpu = {name: [] for name in commands}
    order = list(commands)
    for i in range(opts.runs):
        # Each command goes first in every other round, so neither profits
        # from what the other just brought into the caches.
        for name in (order if i % 2 == 0 else order[::-1]):
            w, c = run_once(commands[name], env)
            wall[name].append(w * 1000)
            cpu[name].append(c * 1000)

    for name in commands:
        ms = wall[name]
        print(f"{name}: wall median {statistics.median(ms):.1f} ms, mean {statistics.mean(ms):.1f}, "
              f"stdev {statistics.stdev(ms):.1f}, min {min(ms):.1f}, max {max(ms):.1f}; "
              f"CPU median {statistics.median(cpu[name]):.1f} ms ({len(ms)} runs)")
    ratio = statistics.median(wall["morv"]) / statistics.median(wall["java"])
    cpu_ratio = statistics.median(cpu["morv"]) / statistics.median(cpu["java"])
    print(f"ratio of wall-time medians morv/java: {ratio:.3f} ({(ratio - 1) * 100:+.1f}%; "
          f"goal: within 3%); CPU-time medians: {cpu_ratio:.3f}")


if __name__ == "__main__":
    main()
