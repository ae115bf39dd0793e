#!/usr/bin/env python3
"""Writes a config.conf whose three passwords are enciphered outside the console.

usage: write_foreign_config.py <file> <variant> <line1> ... <line12>
variant: checksum | sha1 | compressed-checksum | compressed-sha1 | both-flags
(both-flags sets checksum and SHA-1 flags, with a checksum only)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "config"))
from make_cipher_vectors import CHECKSUM as FLAG_CHECKSUM  # noqa: E402
from make_cipher_vectors import COMPRESSED as FLAG_COMPRESSED  # noqa: E402
from make_cipher_vectors import SHA1 as FLAG_SHA1, encipher  # noqa: E402

VARIANTS = {
    "checksum": (FLAG_CHECKSUM, "crc"),
    "sha1": (FLAG_SHA1, "sha1"),
    "compressed-checksum": (FLAG_COMPRESSED | FLAG_CHECKSUM, "crc"),
    "compressed-sha1": (FLAG_COMPRESSED | FLAG_SHA1, "sha1"),
    "both-flags": (FLAG_CHECKSUM | FLAG_SHA1, "crc"),
}


def main():
    path, variant, lines = sys.argv[1], sys.argv[2], sys.argv[3:]
    if variant not in VARIANTS or len(lines) != 12:
        sys.exit(__doc__)
    flags, integrity = VARIANTS[variant]
    for number, r in ((2, 0x5A), (7, 0xC3), (9, 0x01)):
        lines[number - 1] = encipher(lines[number - 1].encode("utf-8"), r, flags, integrity=integrity)
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
