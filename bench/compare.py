#!/usr/bin/python3
"""Runs bench_suite and the openpyxl peer on the same corpus and sets the figures side by side.

Prints every figure (a median) with its match count and every ratio against its target; writes
them all as JSON to --out. Exits 1 when Tabrill, the peer and the in-process limit disagree on a
match count, 2 when a measurement could not be taken. A missed target is reported, not fatal.
"""

import argparse
import glob
import json
import os
import platform
import statistics
import subprocess
import sys

WORD = "売上"
LOOK_INS = ["formulas", "values", "comments"]


def machine_line():
    model = "unknown CPU"
    with open("/proc/cpuinfo", encoding="utf-8") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo", encoding="utf-8") as meminfo:
        total_kb = int(meminfo.readline().split()[1])
    return (f"{model}, {os.cpu_count()} cores, {total_kb / 1024 / 1024:.1f} GiB memory, "
            f"Linux {platform.release()}, Python {platform.python_version()}")


def fail(message):
    sys.stderr.write(f"bench: {message}\n")
    sys.exit(2)


def load_average():
    with open("/proc/loadavg", encoding="utf-8") as loadavg:
        return " ".join(loadavg.read().split()[:3])


def run_suite(args, files):
    command = [args.suite, "--sheethost", args.sheethost, "--runs", str(args.runs)] + files
    done = subprocess.run(command, capture_output=True, text=True, timeout=900)
    if done.returncode != 0:
        sys.stderr.write(done.stderr)
        fail(f"bench_suite failed with {done.returncode}")
    figures = {}
    for line in done.stdout.splitlines():
        if line.startswith("{"):
            figure = json.loads(line)
            figures[figure["name"]] = figure
    return figures


def run_peer(args, mode, files, runs):
    seconds, count = [], None
    for _ in range(runs):
        done = subprocess.run(["/usr/bin/python3", args.peer, mode, WORD] + files,
                              capture_output=True, text=True, timeout=900)
        if done.returncode != 0:
            sys.stderr.write(done.stderr)
            fail(f"the openpyxl peer failed in {mode}")
        answer = json.loads(done.stdout)
        seconds.append(answer["seconds"])
        count = answer["matches"] if mode != "load" else answer["books"]
    return {"name": f"peer_{mode}", "runs": seconds, "median": statistics.median(seconds),
            "count": count}


def ms(seconds):
    return f"{seconds * 1000:10.1f} ms"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--suite", required=True)
    parser.add_argument("--sheethost", required=True)
    parser.add_argument("--peer", required=True)
    parser.add_argument("--corpus", required=True)
    parser.add_argument("--size", default="small")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--out")
    args = parser.parse_args()

    files = sorted(glob.glob(os.path.join(args.corpus, "*.xlsx")))
    if len(files) != 20:
        fail(f"expected 20 workbooks in {args.corpus}, found {len(files)}")
    peer_runs = min(args.runs, 3)

    print(f"machine: {machine_line()}")
    print(f"load average before: {load_average()} (cross-process figures suffer when other "
          f"work holds the cores)")
    print(f"corpus: {args.size}, {len(files)} workbooks in {args.corpus}; "
          f"Tabrill figures: median of {args.runs} runs, openpyxl: median of {peer_runs}")
    sys.stdout.flush()

    figures = run_suite(args, files)
    for mode in ["load"] + LOOK_INS:
        figures[f"peer_{mode}"] = run_peer(args, mode, files, peer_runs)

    f = figures
    print()
    print(f"{'figure':34} {'median':>13} {'best':>10}  count")
    rows = [
        ("open: SheetHost until Count = 20", "open", "books"),
        ("open: openpyxl load_workbook", "peer_load", "books"),
    ]
    for look_in in LOOK_INS:
        rows += [
            (f"search {look_in}: Tabrill", f"search_{look_in}", "matches"),
            (f"search {look_in}: openpyxl", f"peer_{look_in}", "matches"),
            (f"search {look_in}: in-process limit", f"limit_{look_in}", "matches"),
        ]
    for label, key, unit in rows:
        print(f"{label:34} {ms(f[key]['median'])} {min(f[key]['runs']) * 1000:7.1f} ms  "
              f"{f[key]['count']} {unit}")
    if "open_empty" in f and "read_in_process" in f:
        print(f"{'open: start-up alone, no file':34} {ms(f['open_empty']['median'])}")
        print(f"{'open: reading in-process, no window':34} {ms(f['read_in_process']['median'])}  "
              f"(one run, 20 files)")
    call = f["call"]
    print(f"{'one remote call (name + invoke)':34} {call['median'] * 1e6:10.1f} us  "
          f"p99 {call['p99'] * 1e6:.1f} us over {call['calls']} calls")
    if "attach" in f:
        print(f"{'attach (GetActive + one call)':34} {f['attach']['median'] * 1e6:10.1f} us  "
              f"p99 {f['attach']['p99'] * 1e6:.1f} us")
    if "wire_floor" in f:
        print(f"{'bare socket round trip (floor)':34} {f['wire_floor']['median'] * 1e6:10.1f} us  "
              f"p99 {f['wire_floor']['p99'] * 1e6:.1f} us")
    memory = f["memory"]
    print(f"{'SheetHost memory':34} {memory['median']:10.1f} B/cell  {memory['count']} cells "
          f"({(memory['opened_rss'] - memory['empty_rss']) / 2**20:.1f} MiB over "
          f"{memory['empty_rss'] / 2**20:.1f} MiB empty; "
          f"{memory['median'] * 1e6 / 2**20:.1f} MiB per million cells)")
    if "model_bytes" in memory:
        print(f"{'  the model itself':34} {memory['model_bytes'] / memory['count']:10.1f} B/cell")
    if "memory_in_process" in f:
        print(f"{'  reader + model, no window':34} {f['memory_in_process']['median']:10.1f} B/cell "
              f"(resident growth of this process)")
    rows_figure = f["result_list"]
    print(f"{'result list, 100,000 rows':34} {rows_figure['total'] * 1000:10.1f} ms  "
          f"{rows_figure['count']} rows; per row {rows_figure['first_block_per_row'] * 1e6:.2f} us "
          f"(first 10,000) / {rows_figure['last_block_per_row'] * 1e6:.2f} us (last 10,000)")
    if "append_first" in rows_figure:
        print(f"{'  appending alone, per row':34} {rows_figure['append_first'] * 1e6:10.2f} us  "
              f"first 10,000 / {rows_figure['append_last'] * 1e6:.2f} us last 10,000; redraw "
              f"after a block {rows_figure['redraw_first'] * 1e3:.1f} ms at 10,000 rows, "
              f"{rows_figure['redraw_last'] * 1e3:.1f} ms at 100,000")

    # Ratios against the targets.
    print()
    checks = []

    def check(label, value, target, better, unit="x"):
        met = value >= target if better == "higher" else value <= target
        sign = ">=" if better == "higher" else "<="
        checks.append({"target": label, "value": value, "goal": f"{sign} {target}{unit}",
                       "met": met})
        print(f"{label:58} {value:8.2f}{unit:7} target {sign} {target}{unit:7} "
              f"{'met' if met else 'MISSED'}")

    for look_in in LOOK_INS:
        tabrill = f[f"search_{look_in}"]["median"]
        check(f"search {look_in}: openpyxl load+search / Tabrill", f[f"peer_{look_in}"]["median"] /
              tabrill, 10, "higher")
        check(f"search {look_in}: Tabrill / in-process limit",
              tabrill / max(f[f"limit_{look_in}"]["median"], 1e-9), 5, "lower")
    check("open: openpyxl load / SheetHost open", f["peer_load"]["median"] / f["open"]["median"],
          10, "higher")
    check("memory: bytes per cell", memory["median"], 100, "lower", " B")
    check("result list: last / first 10,000 rows, cost per row",
          rows_figure["last_block_per_row"] / rows_figure["first_block_per_row"], 1.5, "lower")

    # Every side must have found the same cells.
    disagreements = []
    for look_in in LOOK_INS:
        counts = {side: f[f"{side}_{look_in}"]["count"] for side in ("search", "peer", "limit")}
        if len(set(counts.values())) != 1:
            disagreements.append(f"{look_in}: Tabrill {counts['search']}, openpyxl "
                                 f"{counts['peer']}, in-process {counts['limit']}")
    if f["open"]["count"] != f["peer_load"]["count"]:
        disagreements.append("open: the book counts differ")
    if rows_figure["count"] != 100000:
        disagreements.append(f"result list holds {rows_figure['count']} rows, not 100000")

    print(f"\nload average after: {load_average()}")
    if args.out:
        with open(args.out, "w", encoding="utf-8") as out:
            json.dump({"machine": machine_line(), "load_average_after": load_average(), "size": args.size, "runs": args.runs,
                       "peer_runs": peer_runs, "figures": figures, "targets": checks,
                       "disagreements": disagreements}, out, ensure_ascii=False, indent=1)
        print(f"\nall figures: {args.out}")
    if disagreements:
        print("\nMATCH COUNTS DISAGREE: " + "; ".join(disagreements))
        return 1
    print("\nmatch counts agree: Tabrill, openpyxl and the in-process limit")
    return 0


if __name__ == "__main__":
    sys.exit(main())
