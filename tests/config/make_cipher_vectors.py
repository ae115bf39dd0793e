#!/usr/bin/env python3
"""Builds FieldCipher test vectors without any Qt code.

Each vector is enciphered here from the byte format alone (version, flags,
key-chained XOR of R + integrity value + payload, Base64), so tst_config
checks the C++ decipher against an outside computation. Damaged vectors are
forged the same way. Prints the rows of the vectors table in tst_config.cpp.
"""
import base64
import hashlib
import struct
import zlib

PROGRAM_KEY = 731629
WIDE_KEY = 0x0123456789ABCDEF   # every key byte non-zero
COMPRESSED, CHECKSUM, SHA1 = 0x01, 0x02, 0x04

PASSWORD = "s3nh@Forte!".encode()
ACCENTED = "a\u00e7\u00facar, S\u00e3o Jos\u00e9, ma\u00e7\u00e3 \u20ac5".encode()
LONG = b"pizza calabresa " * 4


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


def integrity_value(kind, payload):
    if kind == "crc":
        return struct.pack(">H", crc16_x25(payload))
    if kind == "sha1":
        return hashlib.sha1(payload).digest()
    return b""


def cipher_text(flags, body, key=PROGRAM_KEY):
    """body: R, integrity value and payload before scrambling."""
    key_bytes = [(key >> (8 * i)) & 0xFF for i in range(8)]
    out, prev = bytearray(), 0
    for j, b in enumerate(body):
        prev = b ^ key_bytes[j % 8] ^ prev
        out.append(prev)
    return base64.b64encode(bytes([0x03, flags]) + bytes(out)).decode("ascii")


def encipher(plain, r, flags, integrity, key=PROGRAM_KEY):
    payload = q_compress(plain) if flags & COMPRESSED else plain
    return cipher_text(flags, bytes([r]) + integrity_value(integrity, payload) + payload, key)


def c_string(data):
    # Octal escapes cannot swallow the next character the way \x can.
    if isinstance(data, str):
        data = data.encode("utf-8")
    return '"' + "".join(
        chr(b) if 32 <= b < 127 and chr(b) not in '"\\?' else "\\%03o" % b for b in data) + '"'


def row(name, base64_text, plain=b"", error="Ok", log="", key="configCipherKey"):
    print('    { "%s", %s, "%s", %s, FieldCipher::Cipher%s, "%s" },' % (
        name, key, base64_text, c_string(plain), error, log))


def main():
    assert crc16_x25(b"123456789") == 0x906E and crc16_x25(b"") == 0x0000
    assert len(q_compress(LONG)) < len(LONG)

    row("empty, checksum", encipher(b"", 0x00, CHECKSUM, "crc"))
    row("password, checksum", encipher(PASSWORD, 0x5A, CHECKSUM, "crc"), PASSWORD)
    row("long, compressed + checksum", encipher(LONG, 0xA3, COMPRESSED | CHECKSUM, "crc"), LONG)
    row("password, sha1", encipher(PASSWORD, 0x01, SHA1, "sha1"), PASSWORD)
    row("flags 06 test the checksum only", encipher(ACCENTED, 0xC4, CHECKSUM | SHA1, "crc"), ACCENTED)
    row("password, no integrity", encipher(PASSWORD, 0x99, 0, None), PASSWORD)
    wide = encipher(PASSWORD, 0x21, CHECKSUM, "crc", key=WIDE_KEY)
    row("64-bit key", wide, PASSWORD, key="Q_UINT64_C(0x0123456789ABCDEF)")

    crc = integrity_value("crc", PASSWORD)
    row("checksum wrong", cipher_text(CHECKSUM, b"R" + bytes([crc[0] ^ 1, crc[1]]) + PASSWORD),
        error="IntegrityFailed")
    digest = bytearray(integrity_value("sha1", PASSWORD))
    digest[5] ^= 0x40
    row("sha1 digest wrong", cipher_text(SHA1, b"R" + bytes(digest) + PASSWORD), error="IntegrityFailed")
    row("checksum, body too short", cipher_text(CHECKSUM, b"R\x01"), error="IntegrityFailed")
    row("sha1, body too short", cipher_text(SHA1, b"R" + b"d" * 19), error="IntegrityFailed")
    row("flags 06 with a sha1 digest", cipher_text(CHECKSUM | SHA1, b"R" + integrity_value("sha1", PASSWORD) + PASSWORD),
        error="IntegrityFailed")
    # Payloads that pass their checksum but do not decompress. A lying length
    # prefix must be refused before qUncompress sizes a buffer by it.
    bomb = b"\x40\x00\x00\x00" + b"\x55" * 8
    row("compressed, length prefix far beyond the stream",
        cipher_text(COMPRESSED | CHECKSUM, b"R" + integrity_value("crc", bomb) + bomb), error="IntegrityFailed")
    garbage = b"\x00\x00\x00\x10not a zlib stream"
    row("compressed, not a zlib stream",
        cipher_text(COMPRESSED | CHECKSUM, b"R" + integrity_value("crc", garbage) + garbage),
        error="IntegrityFailed", log="qUncompress")
    row("compressed, shorter than its length prefix", cipher_text(COMPRESSED, b"R\x00\x00"), error="IntegrityFailed")


if __name__ == "__main__":
    main()
