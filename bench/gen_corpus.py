#!/usr/bin/env python3
"""Writes the benchmark corpus: mails with known attachments, and a manifest of what each tool
must extract (file name, size, SHA-256 of the original bytes, SHA-256 of them with CR LF as LF).

Subsets (folders under the corpus root):
  small  2,000 mails with 1-3 base64 attachments of 1-50 KiB
  large  10 mails with one 20 MiB base64 attachment in 76-character CRLF lines
  qp     200 mails with about 100 KiB of quoted-printable text
"""
import argparse
import base64
import hashlib
import os
import random

HEX = b"0123456789ABCDEF"


def header(rng, index, boundary):
    day = 1 + index % 28
    return (
        "Return-Path: <sender{0}@example.com>\r\n"
        "From: Sender {0} <sender{0}@example.com>\r\n"
        "To: someone@example.org\r\n"
        "Date: Tue, {1:d} Mar 2022 10:{2:02d}:00 +0900\r\n"
        "Subject: benchmark mail {3}\r\n"
        "Message-ID: <bench.{3}@example.com>\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"{4}\"\r\n"
        "\r\n"
        "This is a multi-part message in MIME format.\r\n"
        "\r\n"
        "--{4}\r\n"
        "Content-Type: text/plain; charset=\"utf-8\"\r\n"
        "Content-Transfer-Encoding: 7bit\r\n"
        "\r\n"
        "Hello,\r\n\r\nplease find the files attached.\r\n\r\n"
    ).format(index % 50, day, index % 60, index, boundary).encode()


def base64_part(boundary, name, data, content_type="application/octet-stream"):
    body = base64.encodebytes(data).replace(b"\n", b"\r\n")
    head = (
        "--{0}\r\n"
        "Content-Type: {1}; name=\"{2}\"\r\n"
        "Content-Disposition: attachment; filename=\"{2}\"\r\n"
        "Content-Transfer-Encoding: base64\r\n"
        "\r\n"
    ).format(boundary, content_type, name).encode()
    return head + body


def qp_encode(data):
    """Quoted-printable with CR LF hard breaks and soft breaks that keep lines at 76."""
    out = bytearray()
    lines = data.split(b"\r\n")
    for number, line in enumerate(lines):
        column = 0
        for i, byte in enumerate(line):
            last = i == len(line) - 1
            if (33 <= byte <= 126 and byte != 61) or (byte == 32 and not last):
                piece = bytes([byte])
            else:
                piece = b"=" + bytes([HEX[byte >> 4], HEX[byte & 15]])
            if column + len(piece) > 75:
                out += b"=\r\n"
                column = 0
            out += piece
            column += len(piece)
        if number < len(lines) - 1:
            out += b"\r\n"
    return bytes(out)


def qp_text(rng, size):
    words = ["mail", "attachment", "invoice", "report", "a=b", "x + y = z", "データ", "添付ファイル", "会議の資料",
             "お世話になっております。", "よろしくお願いいたします。", "Grüße", "naïve café"]
    lines = []
    total = 0
    while total < size:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(1, 30)))
        encoded = line.encode()
        lines.append(encoded)
        total += len(encoded) + 2
    return b"\r\n".join(lines)


def qp_part(boundary, name, data):
    head = (
        "--{0}\r\n"
        "Content-Type: text/plain; charset=\"utf-8\"; name=\"{1}\"\r\n"
        "Content-Disposition: attachment; filename=\"{1}\"\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n"
    ).format(boundary, name).encode()
    return head + qp_encode(data) + b"\r\n"


def write_mail(folder, index, parts, boundary, rng):
    mail = header(rng, index, boundary) + b"".join(parts) + "--{0}--\r\n".format(boundary).encode()
    with open(os.path.join(folder, "mail{0:05d}.eml".format(index)), "wb") as f:
        f.write(mail)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--small", type=int, default=2000)
    parser.add_argument("--large", type=int, default=10)
    parser.add_argument("--qp", type=int, default=200)
    parser.add_argument("--large-size", type=int, default=20 << 20)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    for subset in ("small", "large", "qp"):
        os.makedirs(os.path.join(args.root, subset), exist_ok=True)
    manifests = {subset: [] for subset in ("small", "large", "qp")}

    def remember(subset, name, data):
        manifests[subset].append((name, len(data), hashlib.sha256(data).hexdigest(),
                                  hashlib.sha256(data.replace(b"\r\n", b"\n")).hexdigest()))

    for i in range(args.small):
        boundary = "----=_Part_{0}_{1}".format(i, rng.randrange(10**9))
        parts = []
        for k in range(rng.randint(1, 3)):
            name = "s{0:05d}_{1}.bin".format(i, k)
            data = rng.randbytes(rng.randint(1024, 50 * 1024))
            remember("small", name, data)
            parts.append(base64_part(boundary, name, data))
        write_mail(os.path.join(args.root, "small"), i, parts, boundary, rng)
    for i in range(args.large):
        boundary = "----=_Part_L{0}_{1}".format(i, rng.randrange(10**9))
        name = "l{0:02d}.bin".format(i)
        data = rng.randbytes(args.large_size)
        remember("large", name, data)
        write_mail(os.path.join(args.root, "large"), i, [base64_part(boundary, name, data)], boundary, rng)
    for i in range(args.qp):
        boundary = "----=_Part_Q{0}_{1}".format(i, rng.randrange(10**9))
        name = "q{0:04d}.txt".format(i)
        data = qp_text(rng, 100 * 1024)
        remember("qp", name, data)
        write_mail(os.path.join(args.root, "qp"), i, [qp_part(boundary, name, data)], boundary, rng)
    for subset, rows in manifests.items():
        with open(os.path.join(args.root, subset + ".manifest"), "w") as f:
            for row in rows:
                f.write("\t".join(str(field) for field in row) + "\n")


if __name__ == "__main__":
    main()
