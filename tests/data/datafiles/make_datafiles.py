#!/usr/bin/env python3
"""Writes the data file fixtures of this folder, independently of the C++ writer.

version1.dat      a version 1 file: two customers, one with a 0x5C trail byte
                  in its name, records without the later items, device type 1
version1_as6.dat  the same tree as the program saves it: version 6, the later
                  items 0, the device type the configured 8 channels (code 3)
"""
import struct

SIGNATURE = b"sd5c16-20070831-sd56s0c-t6b510aD6"


def s(text):
    raw = text.encode("cp932") if isinstance(text, str) else text
    assert len(raw) < 255
    return bytes([len(raw)]) + raw


def i32(*values):
    return b"".join(struct.pack("<i", v) for v in values)


def f64(*values):
    return b"".join(struct.pack("<d", v) for v in values)


def record(version, seed, samples, dev_type):
    out = struct.pack("<H", len(samples)) + bytes(samples)
    out += i32(seed, 2, 1, 1, 0, 1, 1)                  # dataNo .. measPeriod
    out += i32(*[seed * 10 + i for i in range(8)])      # chSetting
    out += i32(0) + f64(39539.5 + seed)                 # valid, 2008-04-01 12:00 + seed days
    out += i32(100, 10)                                 # vcValue, vcEndValue
    if version >= 2:
        out += i32(0, 0)                                # measureType, measureOpe
    if version >= 6:
        out += i32(0)                                   # noiseMask
    out += i32(dev_type)
    out += f64(1.5, 10.0, 2.5, 20.0, 3.5, 30.0)         # vacuum/sesshoku R, S, T
    out += s("晴れ") + f64(21.5, 55.0) + s("備考")
    out += s("VCB-1") + s("メーカー") + s("No.1") + s("2001/02")
    out += b"".join(s("CH%d" % (i + 1)) for i in range(8))
    return out


def tree(version, dev_type):
    out = s(SIGNATURE) + i32(version) + i32(2, 9600, 8, 0, 0, 1)
    out += struct.pack("<H", 2)
    customers = [("ソフト", [(1, [0, 1, 3, 3, 1])]), ("東京", [(2, [7, 7, 0]), (3, [])])]
    for name, records in customers:
        out += s(name) + struct.pack("<H", 1) + s("回路A") + struct.pack("<H", 1) + s("点1")
        out += struct.pack("<H", len(records))
        for seed, samples in records:
            out += record(version, seed, samples, dev_type)
    return out


with open("version1.dat", "wb") as f:
    f.write(tree(1, 1))
with open("version1_as6.dat", "wb") as f:
    f.write(tree(6, 3))
