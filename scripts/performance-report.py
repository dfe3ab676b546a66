#!/usr/bin/env python3
"""Builds the benchmarks in Release, runs each several times and writes docs/PERFORMANCE.md and the
cost-per-report plot docs/report-cost.svg from the medians. Only the block between the report's
markers is rewritten; the notes written by hand below it stay.

    scripts/performance-report.py [--runs 5] [--build build-release] [--no-build]

The Node.js peer needs `node` and Benchmarks/node_modules (`npm ci` in Benchmarks/, which this
script runs when node is there and the folder is not); without them its rows say "skipped".
"""

import argparse
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TARGETS = ["TalvaneStreamBenchmark", "TalvaneStreamDeltaBenchmark", "ManageBenchmark", "TalvaneEndToEndBenchmark"]
MANAGE_FILTER = "BM_ManageStream/Events:8000|BM_DecodeWholeBody/Events:8000|BM_ManageLastReport|BM_ManageMemory|BM_ReportCostCurve"
CURVE_POINTS = [500, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000]


def run(command, **kwargs):
    return subprocess.run(command, check=True, text=True, **kwargs)


def output_of(command):
    try:
        return subprocess.run(command, check=True, text=True, capture_output=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return "not found"


def build(build_dir):
    run([str(ROOT / "scripts/deps.sh")])
    run([str(ROOT / "scripts/build.sh"), str(build_dir), "-DCMAKE_BUILD_TYPE=Release", "--", *TARGETS])
    bench = ROOT / "Benchmarks"
    if output_of(["sh", "-c", "command -v node"]) != "not found" and not (bench / "node_modules").is_dir():
        print("Installing the Node.js peer (npm ci in Benchmarks/)")
        run(["npm", "ci", "--silent"], cwd=bench)


def run_benchmark(binary, extra):
    """One run of a Google Benchmark program; its entries by name."""
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        run([str(binary), f"--benchmark_out={out.name}", "--benchmark_out_format=json", *extra], stdout=subprocess.DEVNULL)
        data = json.load(open(out.name))
    return {entry["name"]: entry for entry in data["benchmarks"] if not entry.get("error_occurred")}, data["context"]


class Medians:
    """Every figure of every run of one benchmark program; median() of a benchmark's field."""

    def __init__(self):
        self.runs = []
        self.context = {}

    def add(self, entries, context):
        self.runs.append(entries)
        self.context = context

    def values(self, name, field):
        return [entry[field] for entries in self.runs for key, entry in entries.items() if key == name and field in entry]

    def median(self, name, field="real_time"):
        values = self.values(name, field)
        return statistics.median(values) if values else None

    def spread(self, name, field="real_time"):
        values = self.values(name, field)
        return (min(values), max(values)) if values else None


def measure(build_dir, runs):
    binaries = build_dir / "bin"
    plans = {
        "stream": (binaries / "TalvaneStreamBenchmark", []),
        "delta": (binaries / "TalvaneStreamDeltaBenchmark", []),
        "manage": (binaries / "ManageBenchmark", [f"--benchmark_filter={MANAGE_FILTER}"]),
        "e2e": (binaries / "TalvaneEndToEndBenchmark", []),
    }
    results = {key: Medians() for key in plans}
    load_before = os.getloadavg()
    for index in range(runs):
        for key, (binary, extra) in plans.items():
            print(f"run {index + 1}/{runs}: {binary.name}", flush=True)
            results[key].add(*run_benchmark(binary, extra))
    return results, load_before, os.getloadavg()


def fmt(value, digits=1, unit=""):
    if value is None:
        return "skipped"
    return f"{value:,.{digits}f}{unit}"


def machine_lines(context, load_before, load_after):
    cpu = "unknown"
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = "unknown"
    for line in open("/proc/meminfo"):
        if line.startswith("MemTotal"):
            memory = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
    debian = Path("/etc/debian_version").read_text().strip() if Path("/etc/debian_version").exists() else "unknown"
    return [
        f"- CPU: {cpu}, {context.get('num_cpus', os.cpu_count())} cores at {context.get('mhz_per_cpu', '?')} MHz",
        f"- Memory: {memory}; Linux {platform.release()}, Debian {debian}",
        f"- Compiler: {output_of(['c++', '--version']).splitlines()[0]}, Release (-O3)",
        f"- Node.js: {output_of(['node', '--version'])}; curl: {output_of(['curl', '--version']).splitlines()[0]}",
        f"- Load average when the runs began and ended: {load_before[0]:.1f} and {load_after[0]:.1f} "
        f"(other work on the machine inflates every figure alike; ratios measured in one run are steadier)",
    ]


def integrate(points, values, upto):
    """The sum of a per-report cost over reports 1..upto, from its values at the points (piecewise linear)."""
    xs = [0] + points
    ys = [values[0]] + values
    total = 0.0
    for (x0, y0), (x1, y1) in zip(zip(xs, ys), zip(xs[1:], ys[1:])):
        if x0 >= upto:
            break
        end = min(x1, upto)
        y_end = y0 + (y1 - y0) * (end - x0) / (x1 - x0)
        total += (y0 + y_end) / 2 * (end - x0)
    return total


def cost_curve(manage):
    name = "BM_ReportCostCurve/iterations:1/manual_time"
    incremental = [manage.median(name, f"inc_us_{p}") for p in CURVE_POINTS]
    redecode = [manage.median(name, f"redecode_us_{p}") for p in CURVE_POINTS]
    return incremental, redecode


def svg_plot(incremental, redecode, path):
    """Two panels, log scale: the cost of one report, and the cost of all reports so far."""
    import math

    width, height, margin = 360, 260, 56
    panels = [
        ("Cost of one report (µs)", incremental, redecode),
        ("Cost of all reports so far (ms)",
         [integrate(CURVE_POINTS, incremental, p) / 1e3 for p in CURVE_POINTS],
         [integrate(CURVE_POINTS, redecode, p) / 1e3 for p in CURVE_POINTS]),
    ]
    parts = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{2 * width + 20}" height="{height + 40}" '
             f'font-family="sans-serif" font-size="11">', '<rect width="100%" height="100%" fill="white"/>']
    for index, (title, low, high) in enumerate(panels):
        left = index * (width + 20)
        values = [v for v in low + high if v and v > 0]
        lo, hi = math.floor(math.log10(min(values))), math.ceil(math.log10(max(values)))

        def x(events):
            return left + margin + (width - margin - 10) * events / 8000

        def y(value):
            return 20 + (height - 40) * (hi - math.log10(max(value, 10 ** lo))) / (hi - lo)

        parts.append(f'<text x="{left + width / 2}" y="14" text-anchor="middle" font-weight="bold">{title}</text>')
        parts.append(f'<line x1="{x(0)}" y1="{y(10 ** lo)}" x2="{x(8000)}" y2="{y(10 ** lo)}" stroke="black"/>')
        parts.append(f'<line x1="{x(0)}" y1="{y(10 ** lo)}" x2="{x(0)}" y2="{y(10 ** hi)}" stroke="black"/>')
        for decade in range(lo, hi + 1):
            parts.append(f'<line x1="{x(0)}" y1="{y(10 ** decade)}" x2="{x(8000)}" y2="{y(10 ** decade)}" stroke="#ddd"/>')
            parts.append(f'<text x="{x(0) - 4}" y="{y(10 ** decade) + 4}" text-anchor="end">{10 ** decade:g}</text>')
        for events in range(0, 8001, 2000):
            parts.append(f'<text x="{x(events)}" y="{height - 4}" text-anchor="middle">{events}</text>')
        parts.append(f'<text x="{left + width / 2}" y="{height + 12}" text-anchor="middle">events received</text>')
        for series, colour, label in ((high, "#c0392b", "re-decode at every report"), (low, "#1f77b4", "incremental (shipped)")):
            line = " ".join(f"{x(p):.1f},{y(v):.1f}" for p, v in zip(CURVE_POINTS, series))
            parts.append(f'<polyline points="{line}" fill="none" stroke="{colour}" stroke-width="2"/>')
            for p, v in zip(CURVE_POINTS, series):
                parts.append(f'<circle cx="{x(p):.1f}" cy="{y(v):.1f}" r="2.5" fill="{colour}"/>')
        for row, (colour, label) in enumerate((("#c0392b", "re-decode at every report"), ("#1f77b4", "incremental (shipped)"))):
            parts.append(f'<rect x="{left + margin + 10}" y="{28 + 14 * row}" width="10" height="3" fill="{colour}"/>')
            parts.append(f'<text x="{left + margin + 24}" y="{32 + 14 * row}">{label}</text>')
    parts.append("</svg>")
    path.write_text("\n".join(parts) + "\n")


def report(results, load_before, load_after, runs):
    stream, delta, manage, e2e = results["stream"], results["delta"], results["manage"], results["e2e"]
    lines = ["# Performance", "",
             f"Written by `scripts/performance-report.py` from {runs} runs of each benchmark in `Benchmarks/` "
             "(Release build); every figure is the median of the runs. `scripts/test.sh` runs the same "
             "benchmarks in a smoke mode only.", "", "## Machine", ""]
    lines += machine_lines(stream.context, load_before, load_after)

    lines += ["", "## Reading a streamed answer, beside RapidJSON", "",
              "8,000 chat events of about 200 bytes (1.62 MB), wall time per pass over the body "
              "(`TalvaneStreamBenchmark`). RapidJSON parses the same event payloads into its DOM and reads "
              "the text: the limit a C++ reader of these documents can reach.", "",
              "| Path | ms | MB/s | Events/s |", "|---|---|---|---|"]
    rows = [("SSE text decoder, fed whole", "BM_DecoderWhole"),
            ("SSE text decoder, event-sized slices", "BM_DecoderEventSlices"),
            ("Engine-style JSON tree per event (chat record parser)", "BM_ChatParserEvents"),
            ("Tree path: text decoder + tree parser, event slices", "BM_DecodeAndParseEventSlices"),
            ("**Fast path: byte decoder + stream-event reader, event slices (shipped)**", "BM_FastPathEventSlices"),
            ("Whole-body text function", "BM_StreamTextWholeBody"),
            ("RapidJSON on the same payloads", "BM_RapidJsonEvents")]
    for label, name in rows:
        mbs = stream.median(name, "bytes_per_second")
        eps = stream.median(name, "events/s")
        lines.append(f"| {label} | {fmt(stream.median(name))} | {fmt(mbs and mbs / 1e6, 0)} | {fmt(eps and eps / 1e3, 0, ' k')} |")
    fast, rapid = stream.median("BM_FastPathEventSlices"), stream.median("BM_RapidJsonEvents")
    if fast and rapid:
        lines += ["", f"The shipped path takes {fast / rapid:.2f}× RapidJSON's time, SSE framing, UTF-16 text and "
                  "the engine's JSON rules included."]

    node = delta.median("BM_NodePeer/iterations:1/manual_time")
    whole, deltamode = delta.median("BM_Manager/Combined:1"), delta.median("BM_Manager/Combined:0")
    lines += ["", "## The 8,000-event answer through the manager, beside Node.js", "",
              "The request manager's benchmark body (8,000 events of 255 bytes, 2.04 MB) in event-sized chunks, one "
              "progress report per chunk, in one run of `TalvaneStreamDeltaBenchmark`. The manager rows are the "
              "whole progress path: taking the bytes over from the received body, decoding, appending the text and "
              "calling a bound listener. The peer is `Benchmarks/node/stream-peer.mjs`: TextDecoder, "
              "`eventsource-parser` 4.1.3 (pinned in `Benchmarks/package.json`) and V8's `JSON.parse`, collecting the "
              "same fields, its own median of 40 passes after 20 warm-up passes. No client library of any chat "
              "service is measured.", "",
              "| Path | ms | Ratio to the peer |", "|---|---|---|"]
    for label, name in (("Tree path (decoder + engine-style JSON tree)", "BM_TreePath"),
                        ("Fast path (byte decoder + stream-event reader)", "BM_FastPath"),
                        ("**Whole manager, whole mode**", "BM_Manager/Combined:1"),
                        ("**Whole manager, delta mode**", "BM_Manager/Combined:0"),
                        ("Node.js: eventsource-parser + JSON.parse", "BM_NodePeer/iterations:1/manual_time")):
        value = delta.median(name)
        ratio = f"{value / node:.2f}" if value and node else "—"
        lines.append(f"| {label} | {fmt(value, 2)} | {ratio} |")

    incremental, redecode = cost_curve(manage)
    svg_plot(incremental, redecode, ROOT / "docs/report-cost.svg")
    decode_once = manage.median("BM_DecodeWholeBody/Events:8000/manual_time")
    lines += ["", "## Incremental decoding against re-decoding at every report", "",
              "A simpler design converts and decodes the whole body received so far at every report. "
              "`BM_ReportCostCurve` (`ManageBenchmark`, thread CPU time, whole mode) times one report at points "
              "along the stream both ways; the totals integrate those costs over every report up to the point.", "",
              "![Cost per report against events](report-cost.svg)", "",
              "| Events | One report, incremental | One report, re-decode | All reports, incremental | All reports, re-decode | Re-decode ÷ incremental |",
              "|---|---|---|---|---|---|"]
    for events in (1000, 4000, 8000):
        i = CURVE_POINTS.index(events)
        inc_total = integrate(CURVE_POINTS, incremental, events)
        re_total = integrate(CURVE_POINTS, redecode, events)
        lines.append(f"| {events:,} | {fmt(incremental[i], 2, ' µs')} | {fmt(redecode[i] / 1e3, 2, ' ms')} | "
                     f"{fmt(inc_total / 1e3, 1, ' ms')} | {fmt(re_total / 1e6, 1, ' s')} | {re_total / inc_total:,.0f}× |")
    lines += ["", "All 8,000 reports against one decode of the whole body "
              f"({fmt(decode_once, 1, ' ms')}, `BM_DecodeWholeBody`), thread CPU time (`BM_ManageStream`):", "",
              "| | Whole mode | Delta mode |", "|---|---|---|"]
    stream_name = "BM_ManageStream/Events:8000/Combined:{}/manual_time"
    lines.append("| All 8,000 reports (ms) | " + " | ".join(fmt(manage.median(stream_name.format(c)), 2) for c in (1, 0)) + " |")
    lines.append("| Ratio to one whole-body decode (target ≤ 3×) | " + " | ".join(
        fmt(manage.median(stream_name.format(c), "x_decode"), 2, "×") for c in (1, 0)) + " |")
    lines.append("| Mean report (µs) | " + " | ".join(fmt(manage.median(stream_name.format(c), "mean_report_us"), 2) for c in (1, 0)) + " |")

    lines += ["", "## The game thread's cost of one progress report", "",
              "Each of the 8,000 reports is timed alone in three passes and keeps its shortest time (a pause of the "
              "whole machine in one pass is not a slow report); the table shows the longest of those, the report where "
              "it happened, and the last report of the stream (`BM_ManageLastReport`).", "",
              "| | Whole mode | Delta mode |", "|---|---|---|"]
    lines.append("| Longest report (µs, target < 100) | " + " | ".join(
        fmt(manage.median(stream_name.format(c), "max_report_us"), 1) for c in (1, 0)) + " |")
    lines.append("| Spread over the runs (µs) | " + " | ".join(
        "{:.1f}–{:.1f}".format(*manage.spread(stream_name.format(c), "max_report_us")) for c in (1, 0)) + " |")
    lines.append("| at report | " + " | ".join(
        fmt(manage.median(stream_name.format(c), "max_report_at"), 0) for c in (1, 0)) + " |")
    last_name = "BM_ManageLastReport/Combined:{}/iterations:5/manual_time"
    lines.append("| Last report (µs, target < 10) | " + " | ".join(fmt(manage.median(last_name.format(c), "max_us"), 2) for c in (1, 0)) + " |")

    memory = "BM_ManageMemory/Combined:1/iterations:1"
    lines += ["", "## Memory per request in flight", "", "| Item | MB |", "|---|---|"]
    for label, field in (("Body received", "body_bytes"), ("Answer text's buffer", "text_alloc_bytes"),
                         ("Everything the plugin holds for the request (body and text included)", "state_bytes"),
                         ("Most one report holds at once", "report_peak_bytes"),
                         ("The same, re-decoding at every report", "naive_report_peak_bytes")):
        value = manage.median(memory, field)
        lines.append(f"| {label} | {fmt(value and value / 1e6, 2)} |")

    manager_e2e = e2e.median("BM_ManagerEndToEnd/iterations:20/manual_time")
    curl_e2e = e2e.median("BM_CurlCommandLine/iterations:20/manual_time")
    lines += ["", "## End to end, beside curl", "",
              "One streamed answer from the reference server on 127.0.0.1: 2,000 events in slices of 1 to 89 bytes "
              "(about 470 kB), sent as fast as the socket takes them (`TalvaneEndToEndBenchmark`, 20 answers per run). "
              "The manager fetches it through the engine's HTTP module with the HTTP manager ticked every millisecond; "
              "the curl command line fetches it with the same body and headers (its own `time_total`, so its start-up "
              "is not counted).", "",
              "| | ms |", "|---|---|",
              f"| Manager: request call to success report | {fmt(manager_e2e, 1)} |",
              f"| curl: whole transfer | {fmt(curl_e2e, 1)} |",
              f"| Ratio (target ≤ 1.5×) | {fmt(manager_e2e and curl_e2e and manager_e2e / curl_e2e, 2, '×')} |",
              f"| Server's first body byte to the first progress report | "
              f"{fmt(e2e.median('BM_ManagerEndToEnd/iterations:20/manual_time', 'first_progress_ms'), 2)} |",
              f"| curl: time to its first byte (`time_starttransfer`) | "
              f"{fmt(e2e.median('BM_CurlCommandLine/iterations:20/manual_time', 'first_byte_ms'), 2)} |"]
    write_generated(lines)


BEGIN, END = "<!-- performance-report.py: begin -->", "<!-- performance-report.py: end -->"


def write_generated(lines):
    """Replaces the generated block of docs/PERFORMANCE.md; the notes written by hand after it stay."""
    path = ROOT / "docs/PERFORMANCE.md"
    old = path.read_text() if path.exists() else ""
    notes = old.split(END, 1)[1].lstrip("\n") if END in old else ""
    path.write_text(BEGIN + "\n" + "\n".join(lines) + "\n" + END + "\n\n" + notes)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--build", default=str(ROOT / "build-release"))
    parser.add_argument("--no-build", action="store_true")
    args = parser.parse_args()
    build_dir = Path(args.build)
    if not args.no_build:
        build(build_dir)
    results, load_before, load_after = measure(build_dir, args.runs)
    report(results, load_before, load_after, args.runs)
    print("Wrote docs/PERFORMANCE.md and docs/report-cost.svg")
    return 0


if __name__ == "__main__":
    sys.exit(main())
