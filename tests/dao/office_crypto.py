"""Encrypts workbooks the way Excel does, for the reader's tests.

BIFF8/BIFF5 workbook streams get a FILEPASS record and XOR obfuscation, RC4
or RC4 CryptoAPI; .xlsx packages become ECMA-376 Standard or Agile encrypted
packages. Written from the published format descriptions; check_with_msoffcrypto
then decrypts each result with a second, independent implementation (Debian's
python3-msoffcrypto-tool) where it supports the scheme, so the tests do not
merely agree with themselves.
"""
import base64
import hashlib
import hmac
import io
import os
import struct

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

BLOCK = 1024
IN_THE_CLEAR = {0x0809, 0x002F, 0x00E1, 0x0194, 0x0195, 0x0196, 0x0138}


def rc4(key, data):
    enc = Cipher(algorithms.ARC4(key), mode=None).encryptor()
    return enc.update(data)


def records(stream):
    at = 0
    while at + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, at)
        yield at, rtype, length
        at += 4 + length


def with_filepass(stream, filepass):
    """The stream with FILEPASS after the globals' BOF, sheet offsets moved."""
    bof_end = 4 + struct.unpack_from("<H", stream, 2)[0]
    record = struct.pack("<HH", 0x002F, len(filepass)) + filepass
    out = bytearray(stream[:bof_end] + record + stream[bof_end:])
    for at, rtype, length in list(records(bytes(out))):
        if rtype == 0x0085:
            offset = struct.unpack_from("<I", out, at + 4)[0]
            struct.pack_into("<I", out, at + 4, offset + len(record))
        if rtype == 0x000A:
            break  # the end of the globals
    return out


def encrypted_spans(stream):
    for at, rtype, length in records(bytes(stream)):
        if rtype in IN_THE_CLEAR:
            continue
        first = at + 4 + (min(4, length) if rtype == 0x0085 else 0)
        if first < at + 4 + length:
            yield first, at + 4 + length, length


# --- XOR obfuscation --------------------------------------------------------
INITIAL_CODE = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3]
XOR_MATRIX = [
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00]


def xor_bytes(password):
    return bytes((ord(c) & 0xFF) or (ord(c) >> 8) & 0xFF for c in password)


def xor_verifier(pw):
    verifier = 0
    for b in reversed(bytes([len(pw)]) + pw):
        verifier = ((((verifier << 1) & 0x7FFF) | (1 if verifier & 0x4000 else 0)) ^ b)
    return verifier ^ 0xCE4B


def xor_key(pw):
    key = INITIAL_CODE[len(pw) - 1]
    element = 0x68
    for c in reversed(pw):
        for _ in range(7):
            if c & 0x40:
                key ^= XOR_MATRIX[element]
            c = (c << 1) & 0xFF
            element -= 1
    return key


def xor_array(pw):
    key = xor_key(pw)
    array = list(pw) + PAD[: 16 - len(pw)]
    array += [0] * (16 - len(array))
    out = []
    for i, b in enumerate(array):
        v = b ^ (key & 0xFF if i % 2 == 0 else key >> 8)
        out.append(((v << 2) | (v >> 6)) & 0xFF)
    return out


def encrypt_xor(stream, password, biff8=True):
    pw = xor_bytes(password)
    fields = struct.pack("<HH", xor_key(pw), xor_verifier(pw))
    out = with_filepass(stream, (struct.pack("<H", 0) if biff8 else b"") + fields)
    array = xor_array(pw)
    for first, end, length in encrypted_spans(out):
        for at in range(first, end):
            v = out[at] ^ array[(at + length) % 16]
            out[at] = ((v >> 3) | (v << 5)) & 0xFF
    return bytes(out)


# --- RC4 and RC4 CryptoAPI --------------------------------------------------
def rc4_apply(out, key_for_block):
    for first, end, _ in encrypted_spans(out):
        at = first
        while at < end:
            block, offset = divmod(at, BLOCK)
            count = min(end - at, BLOCK - offset)
            stream = rc4(key_for_block(block), bytes(offset + count))[offset:]
            for i in range(count):
                out[at + i] ^= stream[i]
            at += count


def encrypt_rc4(stream, password, salt=None):
    salt = salt or os.urandom(16)
    h0 = hashlib.md5(password.encode("utf-16-le")).digest()[:5]
    base = hashlib.md5((h0 + salt) * 16).digest()[:5]

    def key(block):
        return hashlib.md5(base + struct.pack("<I", block)).digest()

    verifier = os.urandom(16)
    check = rc4(key(0), verifier + hashlib.md5(verifier).digest())
    out = with_filepass(stream, struct.pack("<HHH", 1, 1, 1) + salt + check)
    rc4_apply(out, key)
    return bytes(out)


def encrypt_cryptoapi(stream, password, key_bits=128, salt=None):
    salt = salt or os.urandom(16)
    h0 = hashlib.sha1(salt + password.encode("utf-16-le")).digest()

    def key(block):
        k = hashlib.sha1(h0 + struct.pack("<I", block)).digest()[: key_bits // 8]
        return k + bytes(16 - len(k)) if key_bits == 40 else k

    csp = "Microsoft Enhanced Cryptographic Provider v1.0\0".encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x04, 0, 0x6801, 0x8004, key_bits, 1, 0, 0) + csp
    verifier = os.urandom(16)
    check = rc4(key(0), verifier + hashlib.sha1(verifier).digest())
    info = (struct.pack("<HHHII", 1, 4, 2, 0x04, len(header)) + header
            + struct.pack("<I", 16) + salt + check[:16] + struct.pack("<I", 20) + check[16:])
    out = with_filepass(stream, info)
    rc4_apply(out, key)
    return bytes(out)


# --- ECMA-376 -----------------------------------------------------------------
def aes_ecb(key, data, decrypt=False):
    c = Cipher(algorithms.AES(key), modes.ECB())
    op = c.decryptor() if decrypt else c.encryptor()
    return op.update(data) + op.finalize()


def aes_cbc(key, iv, data):
    op = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    return op.update(data) + op.finalize()


def pad16(data):
    return data + bytes(-len(data) % 16)


def encrypt_standard(package, password):
    salt = os.urandom(16)
    h = hashlib.sha1(salt + password.encode("utf-16-le")).digest()
    for i in range(50000):
        h = hashlib.sha1(struct.pack("<I", i) + h).digest()
    h = hashlib.sha1(h + struct.pack("<I", 0)).digest()
    x1 = hashlib.sha1(bytes(b ^ 0x36 for b in h.ljust(64, b"\0")[:20]) + bytes([0x36] * 44)).digest()
    x2 = hashlib.sha1(bytes(b ^ 0x5C for b in h.ljust(64, b"\0")[:20]) + bytes([0x5C] * 44)).digest()
    key = (x1 + x2)[:16]
    verifier = os.urandom(16)
    csp = "Microsoft Enhanced RSA and AES Cryptographic Provider\0".encode("utf-16-le")
    header = struct.pack("<IIIIIIII", 0x24, 0, 0x660E, 0x8004, 128, 0x18, 0, 0) + csp
    info = (struct.pack("<HHII", 4, 2, 0x24, len(header)) + header + struct.pack("<I", 16) + salt
            + aes_ecb(key, verifier) + struct.pack("<I", 20)
            + aes_ecb(key, pad16(hashlib.sha1(verifier).digest())))
    encrypted = struct.pack("<Q", len(package)) + aes_ecb(key, pad16(package))
    return info, encrypted


def encrypt_agile(package, password, spin=100000):
    def h(*parts):
        return hashlib.sha512(b"".join(parts)).digest()

    key_salt, pw_salt = os.urandom(16), os.urandom(16)
    secret = os.urandom(32)
    hn = h(pw_salt, password.encode("utf-16-le"))
    for i in range(spin):
        hn = h(struct.pack("<I", i), hn)

    def pw_key(block):
        return h(hn, block)[:32]

    verifier_input = os.urandom(16)
    enc_input = aes_cbc(pw_key(bytes.fromhex("fea7d2763b4b9e79")), pw_salt, verifier_input)
    enc_value = aes_cbc(pw_key(bytes.fromhex("d7aa0f6d3061344e")), pw_salt, h(verifier_input))
    enc_key = aes_cbc(pw_key(bytes.fromhex("146e0be7abacd0d6")), pw_salt, secret)
    body = b""
    for index in range(0, max(1, (len(package) + 4095) // 4096)):
        segment = pad16(package[index * 4096:(index + 1) * 4096])
        body += aes_cbc(secret, h(key_salt, struct.pack("<I", index))[:16], segment)
    encrypted = struct.pack("<Q", len(package)) + body
    hmac_key = os.urandom(64)
    hmac_value = hmac.new(hmac_key, encrypted, hashlib.sha512).digest()
    enc_hmac_key = aes_cbc(secret, h(key_salt, bytes.fromhex("5fb2ad010cb9e1f6"))[:16], hmac_key)
    enc_hmac_value = aes_cbc(secret, h(key_salt, bytes.fromhex("a0677f02b22c8433"))[:16], hmac_value)

    def b64(data):
        return base64.b64encode(data).decode()

    common = ('saltSize="16" blockSize="16" keyBits="256" hashSize="64" cipherAlgorithm="AES" '
              'cipherChaining="ChainingModeCBC" hashAlgorithm="SHA512"')
    xml = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
           '<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption" '
           'xmlns:p="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<keyData %s saltValue="%s"/>'
           '<dataIntegrity encryptedHmacKey="%s" encryptedHmacValue="%s"/>'
           '<keyEncryptors><keyEncryptor uri="http://schemas.microsoft.com/office/2006/keyEncryptor/password">'
           '<p:encryptedKey spinCount="%d" %s saltValue="%s" encryptedVerifierHashInput="%s" '
           'encryptedVerifierHashValue="%s" encryptedKeyValue="%s"/></keyEncryptor></keyEncryptors>'
           '</encryption>' % (common, b64(key_salt), b64(enc_hmac_key), b64(enc_hmac_value), spin,
                              common, b64(pw_salt), b64(enc_input), b64(enc_value), b64(enc_key)))
    info = struct.pack("<HHI", 4, 4, 0x40) + xml.encode()
    return info, encrypted


def check_with_msoffcrypto(path, password, expected, extract=None):
    """Decrypts `path` with msoffcrypto and checks the result.

    `expected` is the plain file (xlsx) or, with `extract`, what extract()
    makes of the decrypted file; schemes msoffcrypto lacks are not checked.
    """
    import msoffcrypto
    with open(path, "rb") as f:
        office = msoffcrypto.OfficeFile(f)
        office.load_key(password=password)
        out = io.BytesIO()
        office.decrypt(out)
    got = out.getvalue()
    if extract is not None:
        got = extract(got)
    assert got == expected, "msoffcrypto disagrees with our encryption of " + path
