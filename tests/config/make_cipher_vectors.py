#!/usr/bin/env python3
"""Builds FieldCipher test vectors without any Qt code.

Each vector is enciphered here from the byte format alone (version, flags,
key-chained XOR of R + integrity value + payload, Base64) so that
tst_fieldcipher can check the C++ decipher against an outside computation.
Prints C++ rows to paste into tst_fieldcipher.cpp.
"""
import base64
import hashlib
import struct
import zlib

PROGRAM_KEY = 731629
FLAG_COMPRESSED, FLAG_CHECKSUM, FLAG_SHA1 = 0x01, 0x02, 0x04


def crc16_x25(data):
    # Reflected CCITT polynomial 0x1021 (0x8408), init 0xFFFF, final XOR 0xFFFF.
    crc = 0xFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc ^ 0xFFFF


def q_compress(data):
    return struct.pack(">I", len(data)) + zlib.compress(data, 9)


def encipher(plain, r, flags, key=PROGRAM_KEY, integrity=None):
    """integrity: 'crc', 'sha1' or None; flags are written as given."""
    key_bytes = [(key >> (8 * i)) & 0xFF for i in range(8)]
    payload = q_compress(plain) if flags & FLAG_COMPRESSED else plain
    if integrity == "crc":
        check = struct.pack(">H", crc16_x25(payload))
    elif integrity == "sha1":
        check = hashlib.sha1(payload).digest()
    else:
        check = b""
    body = bytes([r]) + check + payload
    out, prev = bytearray(), 0
    for j, b in enumerate(body):
        prev = b ^ key_bytes[j % 8] ^ prev
        out.append(prev)
    return base64.b64encode(bytes([0x03, flags]) + bytes(out)).decode("ascii")


def cpp_bytes(data):
    # Octal escapes cannot swallow the next character the way \x can.
    return '"' + "".join(
        chr(b) if 32 <= b < 127 and chr(b) not in '"\\?' else "\\%03o" % b
        for b in data) + '"'


ACCENTED = "a\u00e7\u00facar, S\u00e3o Jos\u00e9, ma\u00e7\u00e3 \u20ac5".encode("utf-8")
LONG = b"pizza calabresa " * 40

# The test holds the same four plain texts under these names.
# plainLong is QByteArray("pizza calabresa ").repeated(40) there.
PLAINS = {b"": "plainEmpty", b"s3nh@Forte!": "plainPassword", ACCENTED: "plainAccented", LONG: "plainLong"}

VECTORS = [
    # name, plain bytes, R, flags, integrity
    ("empty, checksum", b"", 0x00, FLAG_CHECKSUM, "crc"),
    ("empty, checksum, R ff", b"", 0xFF, FLAG_CHECKSUM, "crc"),
    ("password, checksum", b"s3nh@Forte!", 0x5A, FLAG_CHECKSUM, "crc"),
    ("accented, checksum", ACCENTED, 0x17, FLAG_CHECKSUM, "crc"),
    ("long, compressed + checksum", LONG, 0xA3, FLAG_COMPRESSED | FLAG_CHECKSUM, "crc"),
    ("accented, compressed + checksum", ACCENTED, 0x42, FLAG_COMPRESSED | FLAG_CHECKSUM, "crc"),
    ("password, sha1", b"s3nh@Forte!", 0x01, FLAG_SHA1, "sha1"),
    ("empty, sha1", b"", 0x80, FLAG_SHA1, "sha1"),
    ("long, compressed + sha1", LONG, 0x7E, FLAG_COMPRESSED | FLAG_SHA1, "sha1"),
    ("accented, flags 06 checks crc only", ACCENTED, 0xC4, FLAG_CHECKSUM | FLAG_SHA1, "crc"),
    ("empty, flags 06", b"", 0x33, FLAG_CHECKSUM | FLAG_SHA1, "crc"),
    ("password, no integrity", b"s3nh@Forte!", 0x99, 0x00, None),
    ("long, compressed, no integrity", LONG, 0x10, FLAG_COMPRESSED, None),
    ("empty text compressed", b"", 0x61, FLAG_COMPRESSED | FLAG_CHECKSUM, "crc"),
]


def main():
    assert crc16_x25(b"123456789") == 0x906E
    assert crc16_x25(b"") == 0x0000
    print("// Plain texts, UTF-8.")
    for plain, ident in PLAINS.items():
        if plain is not LONG:
            print("const QByteArray %s = QByteArray(%s, %d);" % (ident, cpp_bytes(plain), len(plain)))
    print("// Readable vectors: name, Base64 cipher text, plain text.")
    for name, plain, r, flags, integrity in VECTORS:
        print('    { "%s", "%s", %s },' % (
            name, encipher(plain, r, flags, integrity=integrity), PLAINS[plain]))
    print("// Made with key 123456: the program key must reject them.")
    for name, plain, r in [("other key, password", b"s3nh@Forte!", 0x21),
                           ("other key, accented", ACCENTED, 0x02)]:
        print('    { "%s", "%s" },' % (name, encipher(plain, r, FLAG_CHECKSUM, key=123456, integrity="crc")))


if __name__ == "__main__":
    main()
