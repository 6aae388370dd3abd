#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Turns bench.tsv and targets.tsv into Markdown tables and an SVG chart,
and adds the stripped size and NEEDED of every build found.

  report.py RESULTS_DIR BUILD_ROOT
"""
import glob
import math
import os
import re
import subprocess
import sys
import tempfile


def read_rows(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        return [dict(zip(header, line.rstrip("\n").split("\t"))) for line in f]


def in_order(values):
    return list(dict.fromkeys(values))


def short(output):
    output = " ".join(output.split())
    return "(none)" if not output else output if len(output) <= 40 else output[:39] + "…"


def ratio(value, floor):
    return f"{value / floor:.3f}" if floor else "-"


def strip_for(build):
    """The strip that goes with the build's readelf (its cross binutils)."""
    readelf = "readelf"
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("HOSTQ_READELF:"):
                readelf = line.rstrip("\n").split("=", 1)[1]
    return readelf[: -len("readelf")] + "strip"


def stripped_size(strip, path):
    """Stripped, and compressed as a squashfs firmware image stores it (xz)."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "stripped")
        if subprocess.run([strip, "-o", out, path], capture_output=True).returncode != 0:
            return None, None
        with open(out, "rb") as f:
            xz = subprocess.run(["xz", "-9", "-c"], stdin=f, capture_output=True).stdout
        return os.path.getsize(out), len(xz)


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
        strip = strip_for(os.path.join(build_root, preset))
        floor_size = stripped_size(strip, floor)[0] if os.path.isfile(floor) else None
        rows.append((preset, *stripped_size(strip, tool), floor_size, needed(tool)))
    # What the Buildroot test installed, built with Buildroot's hardening.
    for out in sorted(glob.glob(os.path.join(build_root, "*", "tests", "buildroot", "output-*"))):
        tool = os.path.join(out, "target", "usr", "bin", "hostq")
        build = out.split(os.sep + "tests" + os.sep)[0]
        if os.path.isfile(tool):
            name = f"Buildroot ({os.path.basename(build)}), " + os.path.basename(out)[len("output-"):]
            rows.append((name, *stripped_size(strip_for(build), tool), None, needed(tool)))
    return rows


def svg_chart(groups):
    """One bar a row: hostq's figure as a ratio to the floor's, drawn from
    the floor (1.0) to the left when below it, to the right when above."""
    width, left, bar, low, high = 760, 250, 12, 0.85, 1.15
    span = width - left - 60

    def x(value):
        return left + span * (min(max(value, low), high) - low) / (high - low)

    parts, y = [], 10
    for title, rows in groups:
        y += 20
        parts.append(f'<text x="10" y="{y}" font-weight="bold">{title}</text>')
        y += 6
        top = y
        for label, value in rows:
            x0, x1 = sorted((x(1.0), x(value)))
            colour = "#59a14f" if value <= 1.0 else "#e15759"
            parts.append(f'<text x="10" y="{y + bar - 2}" font-size="10">{label}</text>')
            parts.append(f'<rect x="{x0:.1f}" y="{y}" width="{max(x1 - x0, 1):.1f}" height="{bar - 2}" '
                         f'fill="{colour}"/>')
            parts.append(f'<text x="{x1 + 4:.1f}" y="{y + bar - 2}" font-size="10">{value:.3f}</text>')
            y += bar
        parts.append(f'<line x1="{x(1.0)}" y1="{top - 2}" x2="{x(1.0)}" y2="{y + 2}" stroke="black"/>')
    for tick in (low, 0.9, 0.95, 1.0, 1.05, 1.1, high):
        parts.append(f'<text x="{x(tick) - 10:.1f}" y="{y + 14}" font-size="9">{tick:.2f}</text>')
    body = "\n".join(parts)
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{y + 40}" '
            f'font-family="sans-serif" font-size="11">\n<rect width="100%" height="100%" fill="white"/>\n'
            f'<text x="{left}" y="{y + 32}" font-size="10">hostq ÷ C floor, from the floor (1.00): green below it, '
            f'red above; clipped at {low} and {high}</text>\n{body}\n</svg>\n')


def host_tables(rows, runs):
    by = {(r["tool"], r["query"]): r for r in rows}
    md = ["## Host", "",
          f"Each figure per run. Wall time: median and quartiles of {runs} runs per tool and query, the order "
          "shuffled anew every round (process start included); ×floor is the ratio to the C floor measured "
          "in the same run. `hostq, a copy` is the same binary under another name: it shows what noise is.",
          ""]
    chart = []
    for q in in_order(r["query"] for r in rows):
        md += [f"### `{q}`", "",
               "| tool | instructions | ×floor | wall ms (q1–q3) | ×floor | peak RSS (KiB) | ×floor | output |",
               "|---|---:|---:|---:|---:|---:|---:|---|"]
        f = by[("floor", q)]
        for t in in_order(r["tool"] for r in rows):
            r = by[(t, q)]
            i, w, m = int(r["instructions"] or 0), int(r["wall_us"]), int(r["rss_kb"])
            md.append(f"| {r['label']} | {i:,} | {ratio(i, int(f['instructions'] or 0))} | "
                      f"{w / 1000:.2f} ({int(r['wall_q1_us']) / 1000:.2f}–{int(r['wall_q3_us']) / 1000:.2f}) | "
                      f"{ratio(w, int(f['wall_us']))} | {m:,} | {ratio(m, int(f['rss_kb']))} | {short(r['output'])} |")
        md.append("")
        h = by[("hostq", q)]
        chart.append((f"host wall, {q}", int(h["wall_us"]) / int(f["wall_us"])))
    # Noise: a median is known to about 1.57 IQR / sqrt(n) (a box plot's
    # notch); two medians differ within noise while their notches overlap.

    def notch(r):
        return 1.57 * (int(r["wall_q3_us"]) - int(r["wall_q1_us"])) / math.sqrt(int(runs))

    md += ["Fairness, hostq against its copy (the same binary): the medians' difference and the noise "
           "(the sum of the two medians' notches, 1.57·IQR/√n each: overlapping notches are within noise).", "",
           "| query | hostq (ms) | copy (ms) | difference (ms) | noise (ms) | within noise |",
           "|---|---:|---:|---:|---:|---|"]
    for q in in_order(r["query"] for r in rows):
        a, b = by[("hostq", q)], by.get(("hostq-copy", q))
        if b is None:
            continue
        diff, noise = abs(int(a["wall_us"]) - int(b["wall_us"])), notch(a) + notch(b)
        md.append(f"| `{q}` | {int(a['wall_us']) / 1000:.2f} | {int(b['wall_us']) / 1000:.2f} | {diff / 1000:.2f} | "
                  f"{noise / 1000:.2f} | {'yes' if diff <= noise else 'no'} |")
    md.append("")
    return md, chart


def target_tables(rows):
    md = ["## Target builds", "",
          "Executed target instructions per run (qemu, `-singlestep -d exec,nochain`: one line an instruction; "
          "the whole process, loader and libc included), against the same dnsmasq, hostq and the C floor "
          "built the same way.", ""]
    chart = []
    for build in in_order(r["build"] for r in rows):
        md += [f"### `{build}`", "", "| query | hostq | C floor | ×floor | output |", "|---|---:|---:|---:|---|"]
        for r in rows:
            if r["build"] != build:
                continue
            h, f = int(r["hostq"]), int(r["floor"].split()[0])
            note = r["floor"].partition(" ")[2]
            md.append(f"| `{r['query']}` | {h:,} | {f:,}{' ' + note if note else ''} | {ratio(h, f)} | "
                      f"{short(r['output'])} |")
            chart.append((f"{build}, {r['query']}", h / f))
        md.append("")
    return md, chart


def main():
    results, build_root = sys.argv[1], sys.argv[2]
    runs = open(os.path.join(results, "bench.runs")).read().split()[1]
    md = ["# hostq benchmark", ""]
    host_rows = read_rows(os.path.join(results, "bench.tsv"))
    host_md, host_chart = host_tables(host_rows, runs)
    target_md, target_chart = target_tables(read_rows(os.path.join(results, "targets.tsv")))
    md += host_md + target_md
    md += ["## Builds", "",
           "| build | hostq stripped (bytes) | xz -9 (bytes) | C floor stripped (bytes) | hostq − floor "
           "| hostq NEEDED |",
           "|---|---:|---:|---:|---:|---|"]
    for preset, size, xz, floor, need in sizes(build_root):
        diff = f"{size - floor:+,}" if size and floor else "-"
        md.append(f"| {preset} | {size:,} | {xz:,} | {floor or 0:,} | {diff} | {need} |")
    md += ["", "The Buildroot builds keep Buildroot's full RELRO, which pads the data segment "
           "to MIPS's 64 KiB page; xz, as a squashfs image stores the file, takes the padding "
           "out again.", ""]
    programs = {r["label"]: int(r["bytes"]) for r in host_rows}
    md += ["The host's programs as run, without the shared libraries they load: " +
           ", ".join(f"{label} {size:,}" for label, size in programs.items()) + " bytes.", ""]

    text = "\n".join(md)
    with open(os.path.join(results, "bench.md"), "w") as f:
        f.write(text)
    with open(os.path.join(results, "bench.svg"), "w") as f:
        f.write(svg_chart([("Host wall time, median", host_chart),
                           ("Target instructions per run", target_chart)]))
    print(text)
    print(f"written: {results}/bench.md, {results}/bench.svg")


if __name__ == "__main__":
    main()
