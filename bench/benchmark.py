#!/usr/bin/env python3
"""Hand-run benchmark of the scan (not part of CI).

Generates a synthetic project, then runs the Release build of orvandel and
`LC_ALL=C grep -rnoE '\\[[^][]+\\]' scenario > file` on the same tree, alternated,
and prints the median wall time of each, the ratio of the two and the peak
resident memory of the tool.

    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build
    python3 bench/benchmark.py                  # about 200,000 lines, 800,000 tags
    python3 bench/benchmark.py --preset large   # five times that
    python3 bench/benchmark.py --preset longline  # one 200 MB line of text
    python3 bench/benchmark.py --preset nulline   # one 200 MB line of NUL bytes

The machine should be otherwise idle; on a shared one, repeat and compare
medians. Standard library only.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# name: (files, lines per file); every line holds four tags on average.
PRESETS = {
    "small": (200, 1000),
    "large": (1000, 1000),
}

SOUND_FILES = [f"se/sfx{i:03}.ogg" for i in range(120)] + ["voice/ボイス.wav"]
BGM_FILES = [f"theme{i:02}.mp3" for i in range(30)]

TEXTS = [
    "彼女は静かに窓の外を見つめていた。",
    "「それで、どうするつもり？」",
    "The rain had not stopped since morning.",
    "教室には誰もいなかった",
    "",
]


def tag_for(rng):
    """One tag of a mix like a finished script's: mostly known tags, sound
    and BGM tags (a few naming missing files, some with backslashes), a few
    unknown names."""
    roll = rng.random()
    if roll < 0.55:
        return rng.choice(["[l]", "[p]", "[r]", "[cm]", "[er]"])
    if roll < 0.70:
        return f'[chara_show name="akane" time={rng.randrange(100, 900)}]'
    if roll < 0.82:
        name = rng.choice(SOUND_FILES)
        if rng.random() < 0.03:
            name = "missing/" + name
        elif rng.random() < 0.3:
            name = name.replace("/", "\\")
        return f'[playse storage="{name}" loop=false]'
    if roll < 0.87:
        name = rng.choice(BGM_FILES)
        if rng.random() < 0.05:
            name = "gone_" + name
        return f'[playbgm storage="{name}"]'
    if roll < 0.90:
        return rng.choice(["[unknown_tag a=1]", "[ジャンプ]", "[Playse]"])
    return "[jump target=*next]"


def generate(root, files, lines):
    rng = random.Random(20261209)
    for rel in SOUND_FILES:
        path = os.path.join(root, "sound", rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        open(path, "wb").close()
    os.makedirs(os.path.join(root, "bgm"), exist_ok=True)
    for rel in BGM_FILES:
        open(os.path.join(root, "bgm", rel), "wb").close()
    scenario = os.path.join(root, "scenario")
    os.makedirs(scenario, exist_ok=True)
    total_tags = 0
    for f in range(files):
        out = []
        for _ in range(lines):
            if rng.random() < 0.01:  # script code with array accesses
                out.append("[iscript]f.x = a[i] + b[j][k];[endscript]")
                total_tags += 5
                continue
            parts = [rng.choice(TEXTS)]
            count = rng.choice([2, 3, 4, 5, 6])
            for _ in range(count):
                parts.append(tag_for(rng))
                if rng.random() < 0.3:
                    parts.append(rng.choice(TEXTS))
            total_tags += count
            out.append("".join(parts))
        ending = "\r\n" if f % 2 else "\n"
        data = ending.join(out) + ending
        with open(os.path.join(scenario, f"ch{f:04}.ks"), "wb") as fh:
            fh.write(("\ufeff" if f % 3 == 0 else "").encode() + data.encode())
    # The texts hold no brackets, so grep finds exactly these tags.
    return files * lines, total_tags


def generate_long_line(root, size, nul):
    """One line of `size` bytes without brackets: Japanese text, or NUL bytes
    (a sparse file)."""
    os.makedirs(os.path.join(root, "scenario"))
    with open(os.path.join(root, "scenario", "long.ks"), "wb") as fh:
        if nul:
            fh.truncate(size)
            return 1, 0
        block = ("一行だけの長いテキスト" * 100).encode()
        written = 0
        while written < size:
            fh.write(block)
            written += len(block)
    return 1, 0


def timed(command, cwd, stdout):
    """Run `command` and return (wall seconds, peak RSS in KiB)."""
    start = time.perf_counter()
    proc = subprocess.Popen(command, cwd=cwd, stdout=stdout,
                            stderr=subprocess.DEVNULL, shell=isinstance(command, str))
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode not in (0, 1):
        sys.exit(f"{command} failed with status {status}")
    return wall, usage.ru_maxrss


def clean_outputs(root):
    for name in os.listdir(root):
        if name.startswith("tag_report_") or name.endswith("_log.txt"):
            os.remove(os.path.join(root, name))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--preset", choices=[*PRESETS, "longline", "nulline"],
                        default="small")
    parser.add_argument("--exe", default=os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "orvandel"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--dir", help="generate the project here and keep it "
                        "(default: a temporary folder, removed afterwards)")
    args = parser.parse_args()

    exe = os.path.abspath(args.exe)
    if not os.access(exe, os.X_OK):
        sys.exit(f"no executable at {exe}: build the Release configuration first")
    root = os.path.abspath(args.dir) if args.dir else tempfile.mkdtemp(prefix="orvandel_bench_")
    os.makedirs(root, exist_ok=True)
    try:
        if not os.path.isdir(os.path.join(root, "scenario")):
            if args.preset in ("longline", "nulline"):
                lines, tags = generate_long_line(root, 200 * 1000 * 1000,
                                                 args.preset == "nulline")
            else:
                lines, tags = generate(root, *PRESETS[args.preset])
            print(f"generated {lines} lines, {tags} tags in {root}")
        grep = "LC_ALL=C grep -rnoE '\\[[^][]+\\]' scenario > grep_out.txt"
        timed(grep, root, None)  # warms the page cache
        tool_runs, grep_runs = [], []
        for i in range(args.runs):
            clean_outputs(root)
            tool_runs.append(timed([exe], root, subprocess.DEVNULL))
            grep_runs.append(timed(grep, root, None))
            print(f"run {i + 1}: orvandel {tool_runs[-1][0]:.2f} s "
                  f"{tool_runs[-1][1] / 1024:.1f} MiB, grep {grep_runs[-1][0]:.3f} s")
        tool = statistics.median(w for w, _ in tool_runs)
        grep_time = statistics.median(w for w, _ in grep_runs)
        rss = max(r for _, r in tool_runs)
        print(f"orvandel median {tool:.2f} s, grep median {grep_time:.3f} s, "
              f"ratio {tool / grep_time:.1f}x, peak RSS {rss / 1024:.1f} MiB")
    finally:
        if not args.dir:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
