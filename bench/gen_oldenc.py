#!/usr/bin/env python3
"""Writes the benchmark subsets of the old in-body encodings, with a manifest of what each tool
must extract (file name, size, SHA-256 of the original bytes, SHA-256 of them with CR LF as LF),
in the format of gen_corpus.py.

Subsets (folders under the corpus root):
  uu      200 mails with one uuencoded block of 50 KiB: half MIME mails whose attachment part has
          the transfer encoding x-uuencode, half bare text mails with the block in the body
  binhex  100 bare text mails with one BinHex 4.0 block whose data fork is 50 KiB (random bytes
          with runs, so that the run-length coding is used)
"""
import argparse
import binascii
import hashlib
import os
import random

BINHEX_ALPHABET = b"!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr"


def mail_head(index, mime):
    head = (
        "Return-Path: <old{0}@example.com>\r\n"
        "From: Old Sender {0} <old{0}@example.com>\r\n"
        "To: someone@example.org\r\n"
        "Date: Wed, {1:d} Jun 1999 09:{2:02d}:00 +0900\r\n"
        "Subject: old-style file {3}\r\n"
        "Message-ID: <old.{3}@example.com>\r\n"
    ).format(index % 40, 1 + index % 28, index % 60, index)
    if mime:
        head += "MIME-Version: 1.0\r\n"
    return head.encode()


def uu_lines(data, name):
    out = [b"begin 644 " + name.encode()]
    for at in range(0, len(data), 45):
        out.append(binascii.b2a_uu(data[at:at + 45], backtick=True).rstrip(b"\n"))
    out += [b"`", b"end"]
    return b"\r\n".join(out) + b"\r\n"


def uu_mail(rng, index, name, data):
    block = uu_lines(data, name)
    if index % 2 == 0:
        boundary = "----=_OldPart_{0:06d}".format(index)
        body = (
            "Content-Type: multipart/mixed; boundary=\"{0}\"\r\n\r\n"
            "--{0}\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nThe file is attached.\r\n\r\n"
            "--{0}\r\nContent-Type: application/octet-stream; name=\"{1}\"\r\n"
            "Content-Disposition: attachment; filename=\"{1}\"\r\n"
            "Content-Transfer-Encoding: x-uuencode\r\n\r\n"
        ).format(boundary, name).encode()
        return mail_head(index, True) + body + block + "\r\n--{0}--\r\n".format(boundary).encode()
    body = b"\r\nHello,\r\n\r\nhere is the file, uuencoded.\r\n\r\n" + block + b"\r\nBye.\r\n"
    return mail_head(index, False) + body


def binhex_crc(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) & 0xFFFF if crc & 0x8000 else (crc << 1) & 0xFFFF
    return crc


def binhex_run_length(data):
    out = bytearray()
    i = 0
    while i < len(data):
        byte = data[i]
        run = 1
        while i + run < len(data) and data[i + run] == byte and run < 255:
            run += 1
        out.append(byte)
        if byte == 0x90:
            out.append(0)
        if run >= 3:
            out += bytes([0x90, run])
        else:
            for _ in range(run - 1):
                out.append(byte)
                if byte == 0x90:
                    out.append(0)
        i += run
    return bytes(out)


def binhex_block(name, data):
    resource = b""
    header = bytes([len(name)]) + name.encode() + b"\0" + b"BINAmdos" + b"\0\0"
    header += len(data).to_bytes(4, "big") + len(resource).to_bytes(4, "big")
    stream = header + binhex_crc(header + b"\0\0").to_bytes(2, "big")
    stream += data + binhex_crc(data + b"\0\0").to_bytes(2, "big")
    stream += resource + binhex_crc(resource + b"\0\0").to_bytes(2, "big")
    coded = binhex_run_length(stream)
    text = bytearray(b":")
    bits = pending = 0
    for byte in coded:
        pending = (pending << 8) | byte
        bits += 8
        while bits >= 6:
            bits -= 6
            text.append(BINHEX_ALPHABET[(pending >> bits) & 63])
    if bits:
        text.append(BINHEX_ALPHABET[(pending << (6 - bits)) & 63])
    text += b":"
    lines = [bytes(text[at:at + 64]) for at in range(0, len(text), 64)]
    return b"(This file must be converted with BinHex 4.0)\r\n\r\n" + b"\r\n".join(lines) + b"\r\n"


def binhex_data(rng, size):
    out = bytearray()
    while len(out) < size:
        if rng.random() < 0.1:
            out += bytes([rng.choice([0, 0x90, 0xFF])]) * rng.randint(3, 600)
        else:
            out += rng.randbytes(rng.randint(1, 300))
    return bytes(out[:size])


def write_subset(root, subset, mails, manifest):
    folder = os.path.join(root, subset)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(root, subset + ".manifest"), "w") as f:
        for name, data in manifest:
            lf = data.replace(b"\r\n", b"\n")
            f.write("{0}\t{1}\t{2}\t{3}\n".format(name, len(data), hashlib.sha256(data).hexdigest(),
                                                  hashlib.sha256(lf).hexdigest()))
    for index, mail in enumerate(mails):
        with open(os.path.join(folder, "{0}{1:04d}.eml".format(subset[0], index)), "wb") as f:
            f.write(mail)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--uu", type=int, default=200)
    parser.add_argument("--binhex", type=int, default=100)
    parser.add_argument("--size", type=int, default=50 * 1024)
    args = parser.parse_args()
    rng = random.Random(42)

    mails, manifest = [], []
    for index in range(args.uu):
        name = "u{0:04d}.bin".format(index)
        data = rng.randbytes(args.size)
        mails.append(uu_mail(rng, index, name, data))
        manifest.append((name, data))
    write_subset(args.root, "uu", mails, manifest)

    mails, manifest = [], []
    for index in range(args.binhex):
        name = "h{0:04d}.bin".format(index)
        data = binhex_data(rng, args.size)
        head = mail_head(index, False)
        mails.append(head + b"\r\nThe file, in BinHex:\r\n\r\n" + binhex_block(name, data) + b"\r\nBye.\r\n")
        manifest.append((name, data))
    write_subset(args.root, "binhex", mails, manifest)


if __name__ == "__main__":
    main()
