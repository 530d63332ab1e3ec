#!/usr/bin/env python3
"""Prints the table of bench_convert's JSON report (--benchmark_out): per kind the
conversion and the deep copy per notification, their ratio and the host records
each makes. With repetitions, the medians are shown."""

import argparse
import json
import sys

TARGET_RATIO = 1.0
GOAL_RATIO = 0.75


def rows_by_kind(report):
    """kind -> counters of the median aggregate, or of the single run without repetitions."""
    rows = {}
    for entry in report["benchmarks"]:
        kind = entry["run_name"].split("/")[1]
        if entry.get("error_occurred"):
            rows[kind] = {"error": entry.get("error_message", "failed")}
        elif entry.get("run_type") == "iteration" and kind not in rows:
            rows[kind] = entry
        elif entry.get("aggregate_name") == "median":
            rows[kind] = entry
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("report", help="JSON file written by bench_convert --benchmark_out")
    args = parser.parse_args()
    with open(args.report, encoding="utf-8") as stream:
        report = json.load(stream)
    rows = rows_by_kind(report)
    repetitions = report["benchmarks"][0].get("repetitions", 1) if report["benchmarks"] else 0

    allocator = report.get("context", {}).get("record_allocator", "not reported")
    print("host record allocator: %s" % allocator)
    print("Conversion through the plug-in vs one host deep copy (ns per notification, batches of 256, "
          "median of %d repetitions)" % repetitions)
    header = "%-14s | %10s | %11s | %6s | %-6s | %s" % ("kind", "convert ns", "deep copy ns", "ratio",
                                                       "target", "host records made convert / copy")
    print(header)
    print("-" * len(header))
    missed = failed = 0
    for kind, row in rows.items():
        if "error" in row:
            print("%-14s | %s" % (kind, row["error"]))
            failed += 1
            continue
        ratio = row["ratio"]
        met = ratio <= TARGET_RATIO
        missed += not met
        print("%-14s | %10.0f | %11.0f | %6.2f | %-6s | %g / %d" % (
            kind, row["convert_ns"], row["copy_ns"], ratio, "met" if met else "missed",
            row["convert_records"], round(row["copy_records"])))
    print("target: convert <= %.2f x deep copy for every kind; %d of %d kinds miss it (goal beyond: %.2f x)"
          % (TARGET_RATIO, missed, len(rows) - failed, GOAL_RATIO))
    print("convert = (codec batch call + release of the events) - (release of the same notifications "
          "untouched); deep copy = vlm_copy_data + obclient_free_data of each payload of the same rebuilt batch")
    print("host records made: the host's allocation totals across one conversion (codec batch call) "
          "and across one deep copy, per notification, table and list growth included")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
