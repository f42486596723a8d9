#!/usr/bin/env python3
"""Writes the TNEF benchmark corpus and its manifest (file name, size, SHA-256, SHA-256 with CR LF
as LF, as gen_corpus.py does):
  tnef-bare  200 containers (winmail.dat files) with 1-3 attachments of 5-100 KiB each; half of
             them name their files in Japanese: the title in code page 932 and a Unicode long name
  tnef-mail  200 mails, each carrying one of the same containers as a base64 "winmail.dat" part
Every attachment name is unique in the corpus, so that the check can find each file by its name.
"""
import argparse
import base64
import hashlib
import os
import random
import struct


def attribute(level, attr_id, attr_type, data):
    return (struct.pack("<BHHI", level, attr_id, attr_type, len(data)) + data +
            struct.pack("<H", sum(data) & 0xFFFF))


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def property_list(long_name, unicode):
    props = [struct.pack("<HHI", 0x0003, 0x0E20, 0)]  # PR_ATTACH_SIZE
    if unicode:
        value = long_name.encode("utf-16-le") + b"\0\0"
        props.append(struct.pack("<HHII", 0x001F, 0x3707, 1, len(value)) + padded(value))
    else:
        value = long_name.encode("ascii") + b"\0"
        props.append(struct.pack("<HHII", 0x001E, 0x3707, 1, len(value)) + padded(value))
    return struct.pack("<I", len(props)) + b"".join(props)


def container(rng, index, japanese):
    code_page = 932 if japanese else 1252
    out = bytearray(b"\x78\x9f\x3e\x22" + struct.pack("<H", rng.randrange(65536)))
    out += attribute(1, 0x9006, 0x0008, struct.pack("<I", 0x00010000))
    out += attribute(1, 0x9007, 0x0006, struct.pack("<II", code_page, 0))
    files = []
    for k in range(rng.randint(1, 3)):
        name = ("資料{0:04d}_{1}.pdf" if japanese else "file{0:04d}_{1}.bin").format(index, k)
        data = rng.randbytes(rng.randint(5, 100) * 1024)
        title = name.encode("cp932" if japanese else "ascii") + b"\0"
        date = struct.pack("<7H", 2021, 1 + index % 12, 1 + k, 9, 30, 0, 0)
        out += attribute(2, 0x9002, 0x0006, b"\x01\x00\xff\xff\xff\xff\x0c\x00\x0c\x00\x80\x00\x00\x00")
        out += attribute(2, 0x8010, 0x0001, title)
        out += attribute(2, 0x8013, 0x0003, date)
        out += attribute(2, 0x800F, 0x0006, data)
        out += attribute(2, 0x9005, 0x0006, property_list(name, japanese))
        files.append((name, data))
    return bytes(out), files


def mail(index, tnef):
    boundary = "----=_tnef_{0:04d}".format(index)
    body = base64.encodebytes(tnef).replace(b"\n", b"\r\n")
    return (
        "Return-Path: <sender{0}@example.com>\r\n"
        "From: Sender {0} <sender{0}@example.com>\r\n"
        "To: someone@example.org\r\n"
        "Date: Tue, {1:d} Mar 2022 10:{2:02d}:00 +0900\r\n"
        "Subject: container {3}\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"{4}\"\r\n"
        "\r\n"
        "--{4}\r\n"
        "Content-Type: text/plain; charset=\"utf-8\"\r\n"
        "\r\n"
        "See the attached files.\r\n"
        "\r\n"
        "--{4}\r\n"
        "Content-Type: application/ms-tnef; name=\"winmail.dat\"\r\n"
        "Content-Disposition: attachment; filename=\"winmail.dat\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n"
    ).format(index % 50, 1 + index % 28, index % 60, index, boundary).encode() + body + \
        "\r\n--{0}--\r\n".format(boundary).encode()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--count", type=int, default=200)
    args = parser.parse_args()
    rng = random.Random(3707)
    bare = os.path.join(args.root, "tnef-bare")
    mails = os.path.join(args.root, "tnef-mail")
    os.makedirs(bare, exist_ok=True)
    os.makedirs(mails, exist_ok=True)
    lines = []
    for index in range(args.count):
        tnef, files = container(rng, index, japanese=index % 2 == 1)
        with open(os.path.join(bare, "c{0:04d}.dat".format(index)), "wb") as f:
            f.write(tnef)
        with open(os.path.join(mails, "t{0:04d}.eml".format(index)), "wb") as f:
            f.write(mail(index, tnef))
        for name, data in files:
            lines.append("{0}\t{1}\t{2}\t{3}\n".format(name, len(data), hashlib.sha256(data).hexdigest(),
                                                     hashlib.sha256(data.replace(b"\r\n", b"\n")).hexdigest()))
    for subset in ("tnef-bare", "tnef-mail"):
        with open(os.path.join(args.root, subset + ".manifest"), "w") as f:
            f.writelines(lines)


if __name__ == "__main__":
    main()
