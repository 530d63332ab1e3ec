#!/usr/bin/env python3
"""Writes a reproducible JSONL file of mixed platform notifications for the replay
benchmark: alarms, events, measurements, managed objects and operations in the
shapes the platform sends, plus a few percent that the codec must drop."""

import argparse
import json
import random
import sys

TENANT = "t48213"
HOST = "https://t48213.iot.example.com"

# Share of each kind in a notification stream: measurements dominate.
KIND_WEIGHTS = [
    ("measurements", 55),
    ("events", 15),
    ("alarms", 10),
    ("managedobjects", 12),
    ("operations", 8),
]

ALARM_TYPES = ["t5o_TemperatureAlarm", "t5o_UnavailabilityAlarm", "t5o_BatteryAlarm", "t5o_DoorOpenAlarm"]
ALARM_TEXTS = ["Temperature above threshold", "No data received for 10 minutes", "Battery low", "Door opened"]
SEVERITIES = ["CRITICAL", "MAJOR", "MINOR", "WARNING"]
ALARM_STATUSES = ["ACTIVE", "ACKNOWLEDGED", "CLEARED"]
EVENT_TYPES = ["t5o_LocationUpdate", "t5o_ConnectionEvent", "t5o_DoorEvent", "t5o_ConfigurationChanged"]
EVENT_TEXTS = ["Location updated", "Device connected", "Door closed", "Configuration applied"]
OPERATION_STATUSES = ["SUCCESSFUL", "FAILED", "EXECUTING", "PENDING"]
SUPPORTED_OPERATIONS = ["t5o_Restart", "t5o_Configuration", "t5o_Firmware", "t5o_SoftwareList", "t5o_Command",
                        "t5o_LogfileRequest"]

# Fragment name -> (series name, unit, low, high). Series names are unique
# across fragments, so one notification never holds the same series twice.
MEASUREMENT_FRAGMENTS = {
    "t5o_TemperatureMeasurement": [("T", "C", -20.0, 45.0), ("T_internal", "C", 10.0, 70.0)],
    "t5o_HumidityMeasurement": [("h", "%RH", 5.0, 100.0)],
    "t5o_Battery": [("level", "%", 0, 100), ("voltage", "V", 2.8, 4.2), ("current", "mA", -500.0, 500.0)],
    "t5o_SignalStrength": [("rssi", "dBm", -120, -40), ("ber", "%", 0.0, 10.0)],
    "t5o_EnergyMeter": [("activeEnergy", "kWh", 0.0, 90000.0), ("reactiveEnergy", "kvarh", 0.0, 9000.0),
                        ("power", "W", 0, 12000)],
    "t5o_Pressure": [("p", "hPa", 950.0, 1050.0)],
}


class NotificationMaker:
    def __init__(self, rng):
        self.rng = rng
        self.next_id = 1000000

    def new_id(self):
        self.next_id += self.rng.randint(1, 9)
        return str(self.next_id)

    def device_id(self):
        return str(self.rng.randint(100000, 999999))

    def timestamp(self):
        # Seconds in 2024, with milliseconds; a share carries a local offset.
        seconds = 1704067200 + self.rng.randint(0, 365 * 86400 - 1)
        millis = self.rng.randint(0, 999)
        offset_hours = self.rng.choice([0, 0, 0, 1, 2, -5])
        local = seconds + offset_hours * 3600
        days, rest = divmod(local, 86400)
        text = _civil_date(days) + "T%02d:%02d:%02d.%03d" % (rest // 3600, rest % 3600 // 60, rest % 60, millis)
        if offset_hours == 0:
            return text + "Z"
        return text + "%+03d:00" % offset_hours

    def source(self, with_name=True):
        device = self.device_id()
        source = {"id": device, "self": HOST + "/inventory/managedObjects/" + device}
        if with_name:
            source["name"] = "Sensor " + device
        return source

    def alarm(self):
        rng = self.rng
        alarm_id = self.new_id()
        kind = rng.randrange(len(ALARM_TYPES))
        created = self.timestamp()
        return {
            "id": alarm_id,
            "self": HOST + "/alarm/alarms/" + alarm_id,
            "source": self.source(),
            "type": ALARM_TYPES[kind],
            "text": ALARM_TEXTS[kind],
            "time": self.timestamp(),
            "creationTime": created,
            "firstOccurrenceTime": created,
            "lastUpdated": self.timestamp(),
            "status": rng.choice(ALARM_STATUSES),
            "severity": rng.choice(SEVERITIES),
            "count": rng.randint(1, 40),
            "history": {"auditRecords": [], "self": HOST + "/audit/auditRecords"},
        }

    def event(self):
        rng = self.rng
        event_id = self.new_id()
        kind = rng.randrange(len(EVENT_TYPES))
        event = {
            "id": event_id,
            "self": HOST + "/event/events/" + event_id,
            "source": self.source(),
            "type": EVENT_TYPES[kind],
            "text": EVENT_TEXTS[kind],
            "time": self.timestamp(),
            "creationTime": self.timestamp(),
            "lastUpdated": self.timestamp(),
        }
        if kind == 0:
            event["t5o_Position"] = self.position()
        else:
            event["t5o_Tags"] = rng.sample(["gateway", "outdoor", "building-7", "floor-2", "critical"], 2)
        return event

    def measurement(self):
        rng = self.rng
        measurement_id = self.new_id()
        fragments = rng.sample(sorted(MEASUREMENT_FRAGMENTS), rng.randint(1, 4))
        measurement = {
            "id": measurement_id,
            "self": HOST + "/measurement/measurements/" + measurement_id,
            "source": self.source(with_name=False),
            "type": fragments[0],
            "time": self.timestamp(),
        }
        for fragment in fragments:
            series = MEASUREMENT_FRAGMENTS[fragment]
            chosen = rng.sample(series, rng.randint(1, len(series)))
            measurement[fragment] = {name: {"value": _reading(rng, low, high), "unit": unit}
                                     for name, unit, low, high in chosen}
        return measurement

    def references(self, count):
        references = []
        for _ in range(count):
            child = self.device_id()
            references.append({"managedObject": {"id": child, "name": "Child " + child,
                                                 "self": HOST + "/inventory/managedObjects/" + child}})
        return {"references": references, "self": HOST + "/inventory/managedObjects/references"}

    def position(self):
        rng = self.rng
        return {"lat": round(rng.uniform(47.0, 55.0), 6), "lng": round(rng.uniform(5.0, 15.0), 6),
                "alt": round(rng.uniform(0.0, 800.0), 1)}

    def managed_object(self):
        rng = self.rng
        device = self.device_id()
        managed_object = {
            "id": device,
            "self": HOST + "/inventory/managedObjects/" + device,
            "name": "Sensor " + device,
            "type": rng.choice(["t5o_Gateway", "t5o_Sensor", "t5o_Meter"]),
            "owner": "device_" + device,
            "creationTime": self.timestamp(),
            "lastUpdated": self.timestamp(),
            "t5o_IsDevice": {},
            "t5o_SupportedOperations": rng.sample(SUPPORTED_OPERATIONS, rng.randint(1, 5)),
            "t5o_SupportedMeasurements": rng.sample(sorted(MEASUREMENT_FRAGMENTS), rng.randint(1, 3)),
            "t5o_Hardware": {"model": "TX-" + str(rng.randint(100, 999)), "revision": "r" + str(rng.randint(1, 9)),
                             "serialNumber": "SN" + str(rng.randint(10**9, 10**10))},
            "childDevices": self.references(rng.randint(0, 4)),
            "childAssets": self.references(0),
            "childAdditions": self.references(rng.randint(0, 1)),
            "deviceParents": self.references(rng.randint(0, 1)),
            "assetParents": self.references(0),
            "additionParents": self.references(0),
        }
        if rng.random() < 0.7:
            managed_object["t5o_Position"] = self.position()
        return managed_object

    def operation(self):
        rng = self.rng
        operation_id = self.new_id()
        source = self.source()
        operation = {
            "id": operation_id,
            "self": HOST + "/devicecontrol/operations/" + operation_id,
            "source": source,
            "deviceId": source["id"],
            "deviceName": source["name"],
            "status": rng.choice(OPERATION_STATUSES),
            "creationTime": self.timestamp(),
            "description": "Restart device",
            "t5o_Restart": {},
        }
        if operation["status"] == "FAILED":
            operation["failureReason"] = "Device did not answer"
        return operation


def _civil_date(days):
    """Gregorian date of a day count since 1970-01-01."""
    days += 719468
    era = days // 146097
    day_of_era = days - era * 146097
    year_of_era = (day_of_era - day_of_era // 1460 + day_of_era // 36524 - day_of_era // 146096) // 365
    day_of_year = day_of_era - (365 * year_of_era + year_of_era // 4 - year_of_era // 100)
    month_index = (5 * day_of_year + 2) // 153
    day = day_of_year - (153 * month_index + 2) // 5 + 1
    month = month_index + 3 if month_index < 10 else month_index - 9
    year = year_of_era + era * 400 + (1 if month <= 2 else 0)
    return "%04d-%02d-%02d" % (year, month, day)


def _reading(rng, low, high):
    if isinstance(low, int):
        return rng.randint(low, high)
    return round(rng.uniform(low, high), 2)


# Faults the codec must reject, one per notification.
def _break(kind, notification, rng):
    faults = {
        "alarms": [lambda n: n.pop("text"), lambda n: n.update(severity="major"), lambda n: n.update(count="3"),
                   lambda n: n.update(time="yesterday")],
        "events": [lambda n: n["source"].pop("id"), lambda n: n.update(time="2024-02-01 10:00:00Z")],
        "measurements": [lambda n: n.pop("source"), lambda n: n.update(type=17)],
        "managedobjects": [lambda n: n.pop("name"), lambda n: n.update(id=int(n["id"]))],
        "operations": [lambda n: n.update(status="DONE"), lambda n: n.pop("deviceId")],
    }[kind]
    rng.choice(faults)(notification)


def generate(count, seed, invalid_share, out):
    rng = random.Random(seed)
    maker = NotificationMaker(rng)
    makers = {"alarms": maker.alarm, "events": maker.event, "measurements": maker.measurement,
              "managedobjects": maker.managed_object, "operations": maker.operation}
    kinds = [kind for kind, _ in KIND_WEIGHTS]
    weights = [weight for _, weight in KIND_WEIGHTS]
    for index in range(count):
        kind = rng.choices(kinds, weights)[0]
        payload = makers[kind]()
        path_kind = kind
        if rng.random() < invalid_share:
            if rng.random() < 0.2:
                path_kind = "inventory"
            else:
                _break(kind, payload, rng)
        line = {"metadata": {"pulsarPath": "%s/sub/%s/%d" % (TENANT, path_kind, index)}, "payload": payload}
        out.write(json.dumps(line, separators=(",", ":")))
        out.write("\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--count", type=int, default=1000000, help="notifications to write")
    parser.add_argument("--seed", type=int, default=20240201)
    parser.add_argument("--invalid-share", type=float, default=0.03, help="share of notifications the codec drops")
    parser.add_argument("--output", default="-", help="file to write (default: standard output)")
    args = parser.parse_args()
    if args.output == "-":
        generate(args.count, args.seed, args.invalid_share, sys.stdout)
    else:
        with open(args.output, "w", encoding="ascii") as out:
            generate(args.count, args.seed, args.invalid_share, out)


if __name__ == "__main__":
    main()
