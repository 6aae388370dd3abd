#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Turns bench.tsv into a Markdown table and an SVG chart, and adds the
stripped size and NEEDED of every build found.

  report.py RESULTS_DIR BUILD_ROOT
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

TOOLS = ["hostq", "floor", "getent", "gethostip", "dig"]
LABELS = {
    "hostq": "hostq",
    "floor": "C floor",
    "getent": "getent ahostsv4",
    "gethostip": "gethostip -d",
    "dig": "dig +short",
}


def read_rows(path):
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


def short(output):
    output = " ".join(output.split())
    return "(none)" if not output else output if len(output) <= 40 else output[:39] + "…"


def ratio(value, floor):
    return f"{value / floor:.3f}" if floor else "-"


def elf_machine(path):
    header = subprocess.run(["readelf", "-h", path], capture_output=True, text=True).stdout
    if "MIPS" not in header:
        return ""
    return "mips-linux-gnu-" if "big endian" in header else "mipsel-linux-gnu-"


def stripped_size(path):
    prefix = elf_machine(path)
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "stripped")
        if subprocess.run([prefix + "strip", "-o", out, path], capture_output=True).returncode != 0:
            return None
        return os.path.getsize(out)


def needed(path):
    dynamic = subprocess.run(["readelf", "-d", path], capture_output=True, text=True).stdout
    return ", ".join(re.findall(r"\(NEEDED\).*\[(.*)\]", dynamic)) or "none (static)"


def sizes(build_root):
    rows = []
    for preset in sorted(os.listdir(build_root)):
        tool = os.path.join(build_root, preset, "hostq")
        floor = os.path.join(build_root, preset, "bench", "hostq_floor")
        if not os.path.isfile(tool) or preset in ("host-asan", "fuzz"):
            continue
        floor_size = stripped_size(floor) if os.path.isfile(floor) else None
        rows.append((preset, stripped_size(tool), floor_size, needed(tool)))
    return rows


def svg_chart(rows, tool_sizes):
    """Horizontal bars on a log scale: instructions per query, and size."""
    queries = sorted({r["query"] for r in rows}, key=[r["query"] for r in rows].index)
    instr = {(r["tool"], r["query"]): int(r["instructions"] or 0) for r in rows}
    colours = ["#4e79a7", "#f28e2b", "#e15759", "#76b7b2", "#59a14f"]
    width, left, bar, gap = 760, 150, 9, 14
    parts = []
    y = 30

    def axis_x(value, top):
        return left + (width - left - 90) * math.log10(max(value, 1)) / math.log10(max(top, 10))

    top = max(instr.values())
    parts.append(f'<text x="10" y="{y}" font-weight="bold">Instructions per run (callgrind, log scale)</text>')
    y += 14
    for tool in TOOLS:
        parts.append(f'<text x="10" y="{y + 5 * bar // 2 + 4}">{LABELS[tool]}</text>')
        for i, q in enumerate(queries):
            v = instr.get((tool, q), 0)
            w = axis_x(v, top) - left
            parts.append(f'<rect x="{left}" y="{y + i * bar}" width="{w:.1f}" height="{bar - 1}" fill="{colours[i]}"/>')
            parts.append(f'<text x="{left + w + 4:.1f}" y="{y + i * bar + bar - 2}" font-size="8">{v:,}</text>')
        y += len(queries) * bar + gap
    for i, q in enumerate(queries):
        parts.append(f'<rect x="{left + i * 120}" y="{y}" width="9" height="9" fill="{colours[i]}"/>')
        parts.append(f'<text x="{left + i * 120 + 13}" y="{y + 9}" font-size="10">{q}</text>')
    y += 36
    top = max(s for _, s in tool_sizes)
    parts.append(f'<text x="10" y="{y}" font-weight="bold">Executable size in bytes (log scale)</text>')
    y += 14
    for tool, size in tool_sizes:
        w = axis_x(size, top) - left
        parts.append(f'<text x="10" y="{y + 10}">{LABELS[tool]}</text>')
        parts.append(f'<rect x="{left}" y="{y}" width="{w:.1f}" height="13" fill="#4e79a7"/>')
        parts.append(f'<text x="{left + w + 4:.1f}" y="{y + 10}" font-size="10">{size:,}</text>')
        y += 18
    body = "\n".join(parts)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{y + 10}" '
            f'font-family="sans-serif" font-size="11">\n<rect width="100%" height="100%" fill="white"/>\n'
            f"{body}\n</svg>\n")


def main():
    results, build_root = sys.argv[1], sys.argv[2]
    rows = read_rows(os.path.join(results, "bench.tsv"))
    by = {(r["tool"], r["query"]): r for r in rows}
    queries = sorted({r["query"] for r in rows}, key=[r["query"] for r in rows].index)
    runs = open(os.path.join(results, "bench.runs")).read().strip()

    md = ["# hostq benchmark", "", f"Each figure per run; wall time is the median of {runs.split()[1]} interleaved runs "
          "(process start included); ×floor is the ratio to the C floor measured in the same run.", ""]
    for q in queries:
        md += [f"## `{q}`", "",
               "| tool | instructions | ×floor | wall (ms) | ×floor | peak RSS (KiB) | ×floor | output |",
               "|---|---:|---:|---:|---:|---:|---:|---|"]
        f = by[("floor", q)]
        for t in TOOLS:
            r = by[(t, q)]
            i, w, m = int(r["instructions"] or 0), int(r["wall_us"]), int(r["rss_kb"])
            md.append(f"| {LABELS[t]} | {i:,} | {ratio(i, int(f['instructions'] or 0))} | {w / 1000:.2f} | "
                      f"{ratio(w, int(f['wall_us']))} | {m:,} | {ratio(m, int(f['rss_kb']))} | "
                      f"{short(r['output'])} |")
        md.append("")

    md += ["## Builds", "", "| build | hostq stripped (bytes) | C floor stripped (bytes) | hostq − floor | hostq NEEDED |",
           "|---|---:|---:|---:|---|"]
    for preset, size, floor, need in sizes(build_root):
        diff = f"{size - floor:+,}" if size and floor else "-"
        md.append(f"| {preset} | {size:,} | {floor or 0:,} | {diff} | {need} |")
    md.append("")

    tool_sizes = []
    host = os.path.join(build_root, "host")
    for t, path in [("hostq", os.path.join(host, "hostq")), ("floor", os.path.join(host, "bench", "hostq_floor")),
                    ("getent", shutil.which("getent")), ("gethostip", shutil.which("gethostip")),
                    ("dig", shutil.which("dig"))]:
        size = stripped_size(path) if t in ("hostq", "floor") else os.path.getsize(path)
        tool_sizes.append((t, size))
    md += ["Executable sizes on the host (hostq and the floor stripped; the peers as installed, "
           "without the shared libraries they load): " +
           ", ".join(f"{LABELS[t]} {s:,}" for t, s in tool_sizes) + " bytes.", ""]

    text = "\n".join(md)
    with open(os.path.join(results, "bench.md"), "w") as f:
        f.write(text)
    with open(os.path.join(results, "bench.svg"), "w") as f:
        f.write(svg_chart(rows, tool_sizes))
    print(text)
    print(f"written: {results}/bench.md, {results}/bench.svg")


if __name__ == "__main__":
    main()
