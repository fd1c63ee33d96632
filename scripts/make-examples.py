#!/usr/bin/env python3
"""Writes the demo's example files into examples/:

  pump-controller-v1.5.s19  firmware image of a small pump controller as
                            Motorola S-records (S0 header, S1 data, S9 end)
  pump-parameters.txt       its parameter list

Both are made up; the firmware bytes are pseudo-random from a fixed seed, so
running this again gives the same files. Lines end in CR LF, as the uploader
expects. Standard library only.
"""

import pathlib
import random

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
CRLF = "\r\n"

# --- Program file ---------------------------------------------------------

CODE_START, CODE_END = 0x8000, 0xA400      # program code
TABLES_START, TABLES_END = 0xA400, 0xA800  # sensor linearisation tables
TEXT_START = 0xB000                        # display texts
VECTORS_START = 0xFFC0                     # interrupt vectors, up to 0xFFFF

TEXTS = [
    "CALVENORI PC-150", "FW V1.5.0", "PRESSURE HIGH", "PRESSURE LOW",
    "DRY RUN", "FLOW LIMIT", "MOTOR OVERTEMP", "SENSOR FAULT",
    "PRIMING", "STANDBY", "RUN", "SERVICE DUE", "PARAM CRC ERROR",
]


def srecord(rtype, address, data=b""):
    body = bytes([2 + len(data) + 1]) + address.to_bytes(2, "big") + data
    checksum = ~sum(body) & 0xFF
    return "S%d%s%02X" % (rtype, body.hex().upper(), checksum)


def records(start, image, size):
    return [srecord(1, start + i, image[i:i + size]) for i in range(0, len(image), size)]


def code_image(rng):
    return bytes(rng.randrange(256) for _ in range(CODE_END - CODE_START))


def table_image():
    # A rising 16-bit curve: pressure sensor counts to mbar, 512 points.
    words = [int(12 * i + 0.004 * i * i) & 0xFFFF for i in range((TABLES_END - TABLES_START) // 2)]
    return b"".join(w.to_bytes(2, "big") for w in words)


def text_image():
    image = b"".join(t.encode("ascii") + b"\0" for t in TEXTS)
    return image + b"\xFF" * (-len(image) % 16)


def vector_image(rng):
    # Every vector points at a word-aligned entry inside the code.
    entries = [CODE_START + 2 * rng.randrange((CODE_END - CODE_START) // 2) for _ in range(31)]
    return b"".join(e.to_bytes(2, "big") for e in entries + [CODE_START])  # last: reset


def program_file():
    rng = random.Random(150)
    lines = [srecord(0, 0, b"pump-controller-v1.5")]
    lines += records(CODE_START, code_image(rng), 32)
    lines += records(TABLES_START, table_image(), 32)
    lines += records(TEXT_START, text_image(), 16)
    lines += records(VECTORS_START, vector_image(rng), 16)
    lines.append(srecord(9, CODE_START))
    return lines


# --- Parameter list -------------------------------------------------------

START_ADDRESS = 0x0400

# (size in bytes, description, value); descriptions hold no comma.
PARAMETERS = [
    (2, "Nominal outlet pressure (mbar)", 2500),
    (2, "Maximum outlet pressure (mbar)", 6000),
    (2, "Minimum inlet pressure (mbar)", 350),
    (2, "Pressure hysteresis (mbar)", 150),
    (4, "Outlet pressure sensor offset (Pa)", -1250),
    (2, "Outlet pressure sensor gain (1/10000)", 10042),
    (4, "Inlet pressure sensor offset (Pa)", -830),
    (2, "Inlet pressure sensor gain (1/10000)", 9987),
    (2, "Maximum flow (l/h)", 4200),
    (2, "Minimum flow for dry run detection (l/h)", 60),
    (1, "Flow sensor trim (%)", -3),
    (4, "Flow meter pulses per 1000 l", 1843200),
    (2, "Motor nominal speed (rpm)", 2850),
    (2, "Motor minimum speed (rpm)", 900),
    (2, "Ramp up time (ms)", 1500),
    (2, "Ramp down time (ms)", 2000),
    (1, "Motor current limit (1/10 A)", 68),
    (2, "Temperature sensor offset (1/10 C)", -15),
    (1, "Motor overtemperature limit (C)", 105),
    (1, "Controller overtemperature limit (C)", 85),
    (2, "Dry run timeout (s)", 30),
    (2, "Priming timeout (s)", 180),
    (2, "Restart delay after fault (s)", 600),
    (1, "Restart attempts before lockout", 5),
    (4, "Watchdog timeout (us)", 250000),
    (2, "Pressure loss alarm delay (s)", 12),
    (4, "Service interval (running minutes)", 525600),
    (1, "Display contrast", 42),
    (1, "Display language", 2),
    (1, "Bus address", 17),
    (2, "Bus timeout (ms)", 750),
    (1, "Analog input mode", 1),
    (2, "Analog input low point (mbar)", 0),
    (2, "Analog input high point (mbar)", 10000),
    (4, "Frost protection offset (1/1000 C)", -2500),
    (1, "Anti-seize run interval (h)", 24),
]


def parameter_bytes():
    out = b""
    for size, _, value in PARAMETERS:
        out += (value & 0xFFFFFFFF).to_bytes(4, "big")[4 - size:]
    return out


def crc16_ccitt(data):
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021 if crc & 0x8000 else crc << 1) & 0xFFFF
    return crc


def parameter_list():
    # The six header fields after the start address form two records that
    # write nothing (their first field is text), so each parameter line is
    # read as one whole record.
    lines = [
        "&H%04X,Calvenori PC-150 pump controller parameters,PC-150" % START_ADDRESS,
        "Release,V1.5.0",
        "CRC,%d" % crc16_ccitt(parameter_bytes()),
    ]
    lines += ["%d,%s,%d" % p for p in PARAMETERS]
    return lines


def write(name, lines):
    path = EXAMPLES / name
    path.write_bytes((CRLF.join(lines) + CRLF).encode("ascii"))
    print("%s: %d lines" % (path, len(lines)))


def main():
    EXAMPLES.mkdir(exist_ok=True)
    write("pump-controller-v1.5.s19", program_file())
    write("pump-parameters.txt", parameter_list())


if __name__ == "__main__":
    main()
