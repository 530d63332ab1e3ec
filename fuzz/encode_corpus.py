#!/usr/bin/env python3
"""Writes the seed corpora: realistic notifications in the codec_batch encoding
(see value_generator.h), the timestamp shapes the platform writes, and the
example input files for the replay readers."""
import hashlib
import json
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLES = HERE.parent / "examples"

EMPTY, BOOLEAN, DOUBLE, INTEGER, TEXT, LIST, MAP = 0, 1, 2, 3, 6, 10, 11
FREE_PATH = 1  # flags: has "pulsarPath", given as a value


def encode(value):
    if value is None:
        return bytes([EMPTY])
    if isinstance(value, bool):
        return bytes([BOOLEAN, int(value)])
    if isinstance(value, int):
        return bytes([INTEGER]) + struct.pack("<q", value)
    if isinstance(value, float):
        return bytes([DOUBLE, 4]) + struct.pack("<d", value)
    if isinstance(value, str):
        data = value.encode()[:255]
        return bytes([TEXT, len(data)]) + data
    if isinstance(value, list):
        items = value[:7]
        return bytes([LIST, len(items)]) + b"".join(encode(item) for item in items)
    entries = list(value.items())[:31]
    return bytes([MAP, len(entries)]) + b"".join(encode(k) + encode(v) for k, v in entries)


def message(record):
    path = record.get("metadata", {}).get("pulsarPath")
    head = bytes([FREE_PATH]) + encode(path) if path is not None else bytes([0])
    return head + encode(record.get("payload"))


def write(folder, name, data):
    target = HERE / "corpus" / folder
    target.mkdir(parents=True, exist_ok=True)
    (target / f"{name}-{hashlib.sha1(data).hexdigest()[:12]}").write_bytes(data)


def main():
    records = [json.loads(line) for line in (EXAMPLES / "notifications.jsonl").read_text().splitlines() if line.strip()]
    config = {"measurementSplittingChannel": "m.out", "towardsHostChannelPrefix": "acme.", "tenantId": "t12345"}
    for index in range(0, len(records), 3):
        batch = records[index:index + 3]
        data = bytes([3]) + encode(config if index % 2 else {}) + bytes([len(batch)])
        data += b"".join(message(record) for record in batch) + bytes([1]) + message(batch[0])
        write("codec_batch", "notifications", data)

    for text in ["2024-02-01T10:00:00.000Z", "2024-02-01T10:00:00Z", "2024-02-01T10:00:00.250+01:00",
                 "2024-02-01T10:00:00-0530", "2024-02-01T10:00:00.000z", "2024-02-01T10:00:00.000Zabc",
                 "2024-02-01T10:00:00Z12:00", "2024-02-01T10:00:00+01", "2024-02-29T23:59:59.999-00:30",
                 "1969-12-31T23:59:59.001+14:00", "2024-02-01T10:00:00.5Z", "2024-02-01T10:03:12.123456+01:00",
                 "2024-02-01T10:00:00.123456789Z", "2024-02-01T10:00:00.abcZ", "  24-02- 1t10:00:00Z",
                 # Within a rounding step of the epoch, from either side.
                 "1969-12-31T23:59:59." + "9" * 400 + "Z", "1970-01-01T00:00:00." + "0" * 400 + "1Z"]:
        write("timestamp", "shape", text.encode())

    write("replay_input", "jsonl", b"\x00" + (EXAMPLES / "notifications.jsonl").read_bytes())
    write("replay_input", "frames", b"\x01" + (EXAMPLES / "notifications.frames").read_bytes())


if __name__ == "__main__":
    main()
