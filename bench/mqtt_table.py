#!/usr/bin/env python3
"""Prints the table of bench_mqtt_publish's JSON report (--benchmark_out): events per
second into a local mosquitto, each batch of 512 waited for until the broker holds it,
against the file output's write and fdatasync per batch measured in the same run.
With repetitions, the medians are shown. Until the tool publishes by itself, this
times the publisher alone; the tool's own rate comes from consume_vs_replay."""

import argparse
import json

GOAL_RATIO = 0.7


def medians(report):
    """run name -> events per second of the median aggregate, or of the single run; or an error."""
    rates = {}
    for entry in report["benchmarks"]:
        name = entry["run_name"].replace("/real_time", "")
        if entry.get("error_occurred"):
            rates[name] = entry.get("error_message", "failed")
        elif entry.get("aggregate_name") == "median" or (entry.get("run_type") == "iteration"
                                                          and name not in rates):
            rates[name] = entry["items_per_second"]
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("report", help="JSON file written by bench_mqtt_publish --benchmark_out")
    args = parser.parse_args()
    with open(args.report, encoding="utf-8") as stream:
        rates = medians(json.load(stream))
    baseline = rates.pop("fileOutput")
    if isinstance(baseline, str):
        raise SystemExit("the file output's run failed: " + baseline)
    print("file output, write + fdatasync per batch: %.0f events/s" % baseline)
    header = "%-52s | %12s | %8s | %s" % ("MQTT", "events/s", "vs file", "goal %.1f at QoS 1" % GOAL_RATIO)
    print(header)
    print("-" * len(header))
    for name, rate in rates.items():
        if isinstance(rate, str):
            print("%-52s | %s" % (name, rate))
            continue
        goal = ("met" if rate / baseline >= GOAL_RATIO else "missed") if "qos:1/" in name else ""
        print("%-52s | %12.0f | %8.2f | %s" % (name, rate, rate / baseline, goal))


if __name__ == "__main__":
    main()
