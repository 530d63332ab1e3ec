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
BITS = 4  # a double given by its bits, not one of the special values
FREE_PATH = 1  # flags: has "pulsarPath", given as a value
TEXT_END = b"\\0"


class Input:
    """Bytes laid out as FuzzedDataProvider reads them: choices and numbers from
    the end (the first one read is the last byte, a number's high byte first),
    texts from the front, each closed by a backslash and one more byte."""

    def __init__(self):
        self.front = bytearray()
        self.back = bytearray()  # in reading order

    def choice(self, value):
        self.back.append(value)

    def number(self, value):
        self.back += (value % 2**64).to_bytes(8, "big")

    def text(self, data):
        self.front += data.replace(b"\\", b"\\\\") + TEXT_END

    def data(self):
        return bytes(self.front) + bytes(reversed(self.back))


def encode(value, into):
    if value is None:
        into.choice(EMPTY)
    elif isinstance(value, bool):
        into.choice(BOOLEAN)
        into.choice(int(value))
    elif isinstance(value, int):
        into.choice(INTEGER)
        into.number(value)
    elif isinstance(value, float):
        into.choice(DOUBLE)
        into.choice(BITS)
        into.number(struct.unpack("<Q", struct.pack("<d", value))[0])
    elif isinstance(value, str):
        into.choice(TEXT)
        into.text(value.encode())
    elif isinstance(value, list):
        items = value[:7]
        into.choice(LIST)
        into.choice(len(items))
        for item in items:
            encode(item, into)
    else:
        entries = list(value.items())[:31]
        into.choice(MAP)
        into.choice(len(entries))
        for key, item in entries:
            encode(key, into)
            encode(item, into)


def message(record, into):
    path = record.get("metadata", {}).get("pulsarPath")
    into.choice(FREE_PATH if path is not None else 0)
    if path is not None:
        encode(path, into)
    encode(record.get("payload"), into)


def write(folder, name, data):
    target = HERE / "corpus" / folder
    target.mkdir(parents=True, exist_ok=True)
    (target / f"{name}-{hashlib.sha1(data).hexdigest()[:12]}").write_bytes(data)


def main():
    records = [json.loads(line) for line in (EXAMPLES / "notifications.jsonl").read_text().splitlines() if line.strip()]
    config = {"measurementSplittingChannel": "m.out", "towardsHostChannelPrefix": "acme.", "tenantId": "t12345"}
    for index in range(0, len(records), 3):
        batch = records[index:index + 3]
        into = Input()
        into.choice(3)  # log level 6
        encode(config if index % 2 else {}, into)
        into.choice(len(batch))
        for record in batch:
            message(record, into)
        into.choice(1)
        message(batch[0], into)
        write("codec_batch", "notifications", into.data())

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
