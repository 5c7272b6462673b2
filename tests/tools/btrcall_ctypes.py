#!/usr/bin/env python3
"""Creates and fills an artists file through the shared engine's BTRCALL, as a program of
another language would, and checks every answer on the way.

usage: btrcall_ctypes.py LIBRARY PATH

The file keeps the artists' structure (300-byte records; key 0 the code, bytes 1-5; key 1
bytes 6-15 with duplicates; key 2 the name, bytes 16-35, duplicates, case-insensitive; key 3
byte 46 then the name) and four artists, so that the caller can read it back with its own
tools. Prints one line per failed check and exits 1 when any failed."""

import ctypes
import struct
import sys

OPEN, CLOSE, INSERT, GET_EQUAL, GET_NEXT, GET_PREVIOUS = 0, 1, 2, 5, 6, 7
GET_LESS_OR_EQUAL, GET_FIRST, CREATE = 11, 12, 14
BEGIN, ABORT = 19, 21
DUP, MOD, SEGMENTED, NOCASE = 0x1, 0x2, 0x10, 0x400
RECORD = 300

lib = ctypes.CDLL(sys.argv[1])
path = sys.argv[2].encode()
btrcall = lib.BTRCALL
btrcall.restype = ctypes.c_int16
btrcall.argtypes = [ctypes.c_uint16, ctypes.c_void_p, ctypes.c_void_p,
                    ctypes.POINTER(ctypes.c_uint32), ctypes.c_void_p, ctypes.c_uint8,
                    ctypes.c_int8]

failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f"{what}: got {got!r}, expected {expected!r}")


class Call:
    """One open of the file: its position block, key buffer and data buffer."""

    def __init__(self):
        self.pos = ctypes.create_string_buffer(128)
        self.key = ctypes.create_string_buffer(255)
        self.data = ctypes.create_string_buffer(RECORD)
        self.length = ctypes.c_uint32(0)

    def __call__(self, op, key_number=0, key=b"", data=None, size=RECORD):
        self.key = ctypes.create_string_buffer(key.ljust(255, b" "), 255)
        if data is not None:
            self.data = ctypes.create_string_buffer(data, len(data))
            self.length.value = len(data)
        else:
            self.data = ctypes.create_string_buffer(size)
            self.length.value = size
        return btrcall(op, self.pos, self.data, ctypes.byref(self.length), self.key, 255, key_number)

    def code(self):
        return self.data.raw[:5].decode()


def artist(code, name, byte46=b" "):
    r = bytearray(b" " * RECORD)
    r[0:5] = code.encode()
    r[15:15 + len(name)] = name.encode()
    r[45:46] = byte46
    return bytes(r)


def structureFichier():
    keys = [[(1, 5, MOD)], [(6, 10, DUP | MOD)], [(16, 20, DUP | MOD | NOCASE)],
            [(46, 1, DUP | MOD), (16, 20, DUP | MOD)]]
    body = struct.pack("<HHH10x", RECORD, 1024, len(keys))
    for key in keys:
        for i, (position, length, flags) in enumerate(key):
            if i + 1 < len(key):
                flags |= SEGMENTED
            body += struct.pack("<HHH10x", position, length, flags)
    return body


def create(mode):
    pos = ctypes.create_string_buffer(128)
    body = ctypes.create_string_buffer(structureFichier(), len(structureFichier()))
    length = ctypes.c_uint32(len(structureFichier()))
    key = ctypes.create_string_buffer(path, 255)
    return btrcall(CREATE, pos, body, ctypes.byref(length), key, 255, mode)


check("create", create(-1), 0)
check("create over an existing file", create(-1), 59)

f = Call()
check("open", btrcall(OPEN, f.pos, None, ctypes.byref(f.length),
                      ctypes.create_string_buffer(path, 255), 255, 0), 0)
for code, name in [("A0001", "abba"), ("A0002", "Blondie"), ("A0003", "ABBA"), ("A0004", "Abba")]:
    check(f"insert {code}", f(INSERT, data=artist(code, name)), 0)
check("insert of a code already there", f(INSERT, data=artist("A0002", "Other")), 5)

check("get equal on a missing code", f(GET_EQUAL, 0, b"Z9999"), 4)
check("get equal on a name", f(GET_EQUAL, 2, b"ABBA"), 0)
check("first of the name's group", f.code(), "A0001")
check("record length returned", f.length.value, RECORD)
check("found key written back", f.key.raw[:20], b"abba".ljust(20))
order = [f.code()]
while (status := f(GET_NEXT, 2)) == 0:
    order.append(f.code())
check("end of file after the last name", status, 9)
check("name order, equal names in insertion order", order, ["A0001", "A0003", "A0004", "A0002"])

check("get less or equal on a name", f(GET_LESS_OR_EQUAL, 2, b"abba"), 0)
check("last of the name's group", f.code(), "A0004")
check("get previous", f(GET_PREVIOUS, 2), 0)
check("previous within the group", f.code(), "A0003")
check("get next on another key", f(GET_NEXT, 0), 7)
check("data buffer shorter than a record", f(GET_FIRST, 0, size=100), 22)

check("begin transaction", f(BEGIN), 0)
check("insert in the transaction", f(INSERT, data=artist("A0005", "Cure")), 0)
check("abort", f(ABORT), 0)
check("aborted insert is gone", f(GET_EQUAL, 0, b"A0005"), 4)
check("abort without a transaction", f(ABORT), 39)

check("close", f(CLOSE), 0)
check("get after close", f(GET_FIRST, 0), 3)

for line in failures:
    print(line)
sys.exit(1 if failures else 0)
