#!/usr/bin/env python3
"""Measures spoolmap against its peer and its floor on the benchmark tables
(bench/make_tables.py); bench/compare.sh builds what it needs and calls it.

    compare.py times   --spoolmap BIN --scan BIN [--baseline BIN] DATA ROWS
    compare.py rss     --spoolmap BIN [--baseline BIN] DATA SMALL LARGE
    compare.py profile --spoolmap BIN DATA ROWS OUT.perf

times: for the points and the polygons table of ROWS rows, runs spoolmap
(and the baseline spoolmap when given), ogr2ogr to ESRI Shapefile and the
bare SQLite scan interleaved, RUNS times each (median), and prints seconds,
rows/s, MB/s of the database file read (the same measure for all three, so it
compares them; output sizes are shown beside it), CPU seconds and peak RSS
(from GNU time, per process), then the ratios ogr2ogr / spoolmap and spoolmap /
scan. Afterwards it checks spoolmap's files: ogrinfo must open them and count
the table's rows, and a baseline's files must be byte for byte the same.
rss: spoolmap's peak RSS on the tables of SMALL and LARGE rows.
profile: perf record of spoolmap on the points table, and its top functions.
The page cache is warm for every run after the first (the files are read
once before timing), so the times are of work, not of the disk.
"""

import argparse
import os
import re
import shutil
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

TABLES = ("points", "polygons")
TABLE_NAME, GEOMETRY_COLUMN = "features", "geom"
MEGABYTE = 1e6
TIME = "/usr/bin/time"
SHAPE_SET = (".shp", ".shx", ".dbf", ".prj")
DBF_RECORD_COUNT_OFFSET = 4
TOP_FUNCTIONS = 10


class Measure:
    def __init__(self, seconds, cpu_seconds, peak_rss_kb, stderr):
        self.seconds = seconds
        self.cpu_seconds = cpu_seconds
        self.peak_rss_kb = peak_rss_kb
        self.stderr = stderr


def table_path(data, kind, rows):
    return os.path.join(data, "features_%s_%d.gpkg" % (kind, rows))


def run_measured(argv, cwd):
    """Runs argv to its end; wall time, CPU time and peak RSS of that process.
    GNU time reports them: a child forked from this Python would count
    Python's own pages in its peak until its exec."""
    with tempfile.NamedTemporaryFile(mode="r") as usage, tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        process = subprocess.run([TIME, "-f", "%U %S %M", "-o", usage.name] + argv, cwd=cwd,
                                 stdout=subprocess.DEVNULL, stderr=errors)
        seconds = time.perf_counter() - start
        errors.seek(0)
        stderr = errors.read().decode(errors="replace")
        if process.returncode != 0:
            sys.exit("compare: %s ended with status %d:\n%s" % (argv[0], process.returncode,
                                                                stderr[-2000:]))
        user, system, peak_rss_kb = usage.read().split()[-3:]
    return Measure(seconds, float(user) + float(system), int(peak_rss_kb), stderr)


def remove_outputs(work, base):
    for suffix in SHAPE_SET + (".cpg",):
        path = os.path.join(work, base + suffix)
        if os.path.exists(path):
            os.remove(path)


def spoolmap_command(binary, gpkg, base):
    database = os.path.splitext(os.path.basename(gpkg))[0]
    return [binary, "-o", "init", "-l", "%s,%s" % (TABLE_NAME, GEOMETRY_COLUMN), "-f", base,
            "-D", database, "-s", os.path.dirname(os.path.abspath(gpkg))]


def tools_for(args, gpkg):
    """(label, output base or None, argv) of each tool, in running order."""
    tools = [("spoolmap", "spoolmap", spoolmap_command(args.spoolmap, gpkg, "spoolmap"))]
    if args.baseline:
        tools.append(("baseline", "baseline", spoolmap_command(args.baseline, gpkg, "baseline")))
    tools.append(("ogr2ogr", "ogr2ogr", ["ogr2ogr", "-f", "ESRI Shapefile", "ogr2ogr.shp",
                                         os.path.abspath(gpkg), TABLE_NAME]))
    tools.append(("bare scan", None, [args.scan, os.path.abspath(gpkg), TABLE_NAME]))
    return tools


def output_bytes(work, base):
    return sum(os.path.getsize(os.path.join(work, base + s)) for s in SHAPE_SET + (".cpg",)
               if os.path.exists(os.path.join(work, base + s)))


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def count_rows(gpkg):
    con = sqlite3.connect("file:%s?mode=ro" % gpkg, uri=True)
    try:
        return con.execute("SELECT count(*) FROM %s" % TABLE_NAME).fetchone()[0]
    finally:
        con.close()


def check_output(work, base, rows):
    """Problems with spoolmap's set: ogrinfo's feature count, the .dbf's."""
    shp = os.path.join(work, base + ".shp")
    info = subprocess.run(["ogrinfo", "-ro", "-so", "-al", shp], capture_output=True, text=True)
    counts = [line.split(":")[1].strip() for line in info.stdout.splitlines()
              if line.startswith("Feature Count:")]
    problems = []
    if info.returncode != 0 or counts != [str(rows)]:
        problems.append("ogrinfo reads %s features from %s (status %d), the table has %d rows"
                        % (counts or "no", shp, info.returncode, rows))
    with open(os.path.join(work, base + ".dbf"), "rb") as f:
        header = f.read(DBF_RECORD_COUNT_OFFSET + 4)
    dbf_rows = int.from_bytes(header[DBF_RECORD_COUNT_OFFSET:], "little")
    if dbf_rows != rows:
        problems.append("the .dbf holds %d records, the table has %d rows" % (dbf_rows, rows))
    return problems


def same_files(work, base, other):
    differ = []
    for suffix in SHAPE_SET:
        with open(os.path.join(work, base + suffix), "rb") as a, \
                open(os.path.join(work, other + suffix), "rb") as b:
            if a.read() != b.read():
                differ.append(suffix)
    return differ


def print_table(kind, rows, gpkg, results, outputs, loads):
    database_mb = os.path.getsize(gpkg) / MEGABYTE
    print("\n== %s: %d rows, database %.1f MB (%s); load average before %s, after %s"
          % (kind, rows, database_mb, gpkg, loads[0], loads[1]))
    print("%-10s %9s %11s %10s %8s %10s %8s %12s" % (
        "tool", "seconds", "rows/s", "DB MB/s", "out MB", "out MB/s", "CPU s", "peak RSS MB"))
    medians = {}
    for label, measures in results.items():
        seconds = statistics.median(m.seconds for m in measures)
        cpu = statistics.median(m.cpu_seconds for m in measures)
        rss = max(m.peak_rss_kb for m in measures) / 1024
        medians[label] = seconds
        out_mb = outputs.get(label, 0) / MEGABYTE
        print("%-10s %9.3f %11.0f %10.1f %8s %10s %8.2f %12.1f" % (
            label, seconds, rows / seconds, database_mb / seconds,
            "%.1f" % out_mb if out_mb else "-", "%.1f" % (out_mb / seconds) if out_mb else "-",
            cpu, rss))
    print("ogr2ogr / spoolmap %.2fx   spoolmap / bare scan %.2fx" % (
        medians["ogr2ogr"] / medians["spoolmap"], medians["spoolmap"] / medians["bare scan"]),
        end="")
    if "baseline" in medians:
        print("   baseline / spoolmap %.2fx   baseline / bare scan %.2fx" % (
            medians["baseline"] / medians["spoolmap"], medians["baseline"] / medians["bare scan"]),
            end="")
    print()


def compare_times(args):
    failed = False
    work = tempfile.mkdtemp(prefix="spoolmap-compare-")
    print("Medians of %d interleaved runs on a warm page cache. DB MB/s: the database file's"
          " size over the time,\nthe same measure for every tool; out: the files written;"
          " MB = 10^6 bytes; CPU s: user + system." % args.runs)
    try:
        for kind in TABLES:
            gpkg = table_path(args.data, kind, args.rows)
            rows = count_rows(gpkg)
            tools = tools_for(args, gpkg)
            results = {label: [] for label, _, _ in tools}
            run_measured(tools[-1][2], work)  # warms the page cache
            loads = [load_average()]
            for _ in range(args.runs):
                for label, base, argv in tools:
                    if base:
                        remove_outputs(work, base)
                    results[label].append(run_measured(argv, work))
            loads.append(load_average())
            outputs = {label: output_bytes(work, base) for label, base, _ in tools if base}
            print_table(kind, rows, gpkg, results, outputs, loads)
            problems = check_output(work, "spoolmap", rows)
            if args.baseline:
                differ = same_files(work, "spoolmap", "baseline")
                if differ:
                    problems.append("spoolmap and the baseline differ in %s" % " ".join(differ))
            for problem in problems:
                print("PROBLEM: " + problem)
            if not problems:
                print("spoolmap's set opens in ogrinfo with all %d rows%s" % (
                    rows, ", byte for byte the baseline's" if args.baseline else ""))
            failed = failed or bool(problems)
    finally:
        shutil.rmtree(work)
    return 1 if failed else 0


def compare_rss(args):
    work = tempfile.mkdtemp(prefix="spoolmap-rss-")
    binaries = [("spoolmap", args.spoolmap)] + ([("baseline", args.baseline)] if args.baseline
                                                else [])
    try:
        print("%-10s %-9s %14s %14s %8s" % ("tool", "table", "RSS MB small", "RSS MB large",
                                            "large/small"))
        for label, binary in binaries:
            for kind in TABLES:
                rss = []
                for rows in (args.small, args.large):
                    remove_outputs(work, label)
                    gpkg = table_path(args.data, kind, rows)
                    rss.append(run_measured(spoolmap_command(binary, gpkg, label),
                                            work).peak_rss_kb / 1024)
                print("%-10s %-9s %14.1f %14.1f %8.3f" % (label, kind, rss[0], rss[1],
                                                          rss[1] / rss[0]))
        print("(small %d rows, large %d rows; the target is large/small at most 1.10)"
              % (args.small, args.large))
    finally:
        shutil.rmtree(work)
    return 0


def profile(args):
    work = tempfile.mkdtemp(prefix="spoolmap-profile-")
    try:
        gpkg = table_path(args.data, "points", args.rows)
        record = ["perf", "record", "-e", "cpu-clock", "-g", "-q", "-o",
                  os.path.abspath(args.out), "--"] + spoolmap_command(args.spoolmap, gpkg,
                                                                      "spoolmap")
        subprocess.run(record, cwd=work, check=True, stdout=subprocess.DEVNULL)
    finally:
        shutil.rmtree(work)
    report = subprocess.run(["perf", "report", "-i", args.out, "--no-children", "--sort",
                             "symbol", "--stdio", "-g", "none", "--percent-limit", "0.5"],
                            capture_output=True, text=True, check=True)
    lines = [l for l in report.stdout.splitlines() if l.strip() and not l.startswith("#")]
    print("Top %d functions by own time (perf, cpu-clock), points table of %d rows:"
          % (TOP_FUNCTIONS, args.rows))
    for line in lines[:TOP_FUNCTIONS]:
        print(re.sub(r"(\s+-)+\s*$", "", line))
    # The samples of each thread: the unload's own and, when the cursor reads
    # ahead, the reader thread's.
    threads = subprocess.run(["perf", "report", "-i", args.out, "--no-children", "--sort", "pid",
                              "--stdio", "-g", "none"], capture_output=True, text=True, check=True)
    shares = [l.split()[:2] for l in threads.stdout.splitlines() if l.strip() and
              not l.startswith("#")]
    print("Samples by thread: " + ", ".join("%s %s" % (tid, share) for share, tid in shares))
    print("(whole report: perf report -i %s --no-children)" % args.out)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="mode", required=True)
    times = sub.add_parser("times")
    times.add_argument("--spoolmap", required=True)
    times.add_argument("--scan", required=True)
    times.add_argument("--baseline")
    times.add_argument("--runs", type=int, default=3)
    times.add_argument("data")
    times.add_argument("rows", type=int)
    rss = sub.add_parser("rss")
    rss.add_argument("--spoolmap", required=True)
    rss.add_argument("--baseline")
    rss.add_argument("data")
    rss.add_argument("small", type=int)
    rss.add_argument("large", type=int)
    prof = sub.add_parser("profile")
    prof.add_argument("--spoolmap", required=True)
    prof.add_argument("data")
    prof.add_argument("rows", type=int)
    prof.add_argument("out")
    args = parser.parse_args()
    # The tools run in a scratch folder, so every path given must be absolute.
    for name in ("spoolmap", "scan", "baseline", "data", "out"):
        if getattr(args, name, None):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    return {"times": compare_times, "rss": compare_rss, "profile": profile}[args.mode](args)


if __name__ == "__main__":
    sys.exit(main())
