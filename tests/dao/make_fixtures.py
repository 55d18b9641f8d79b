#!/usr/bin/python3
"""Writes the workbooks the workbook-reader tests read, into the folder given.

Real writers (openpyxl for .xlsx, xlwt for .xls) make the ordinary files; the
odd and hostile ones are assembled here byte by byte: packages with Strict
namespaces or unusual part names, compound files holding raw BIFF records
(RK, MULRK, a shared-string table split across CONTINUE records, formula
results, BIFF5 text in a code page) and encrypted containers.
"""
import datetime
import io
import os
import struct
import sys
import zipfile

import openpyxl
import xlwt
from openpyxl.utils.datetime import CALENDAR_MAC_1904
from openpyxl.workbook.defined_name import DefinedName

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


# The shared data of the multi-sheet workbook, one row per tuple.
HEADER = ["Id", "Name", "Amount", "When", "Flag", "At", "Zip"]
ROWS = [
    (1, "alpha", 1.5, datetime.datetime(2024, 2, 29, 13, 45, 10), True, datetime.time(8, 30), "01234"),
    (2, "beta", -2.25, datetime.datetime(1999, 12, 31, 0, 0, 0), False, datetime.time(23, 59, 59), "00501"),
    (3, "gamma", 1e6, datetime.datetime(1904, 1, 2, 0, 0, 0), True, datetime.time(0, 0, 1), "10001"),
]
LONG = "x" * 300


def write_multi_xlsx(name, epoch=None):
    wb = openpyxl.Workbook()
    if epoch is not None:
        wb.epoch = epoch
    ws = wb.active
    ws.title = "Data"
    ws.append(HEADER)
    for r in ROWS:
        ws.append(list(r))
    for row in ws.iter_rows(min_row=2, min_col=4, max_col=4):
        row[0].number_format = "yyyy-mm-dd hh:mm:ss"
    for row in ws.iter_rows(min_row=2, min_col=6, max_col=6):
        row[0].number_format = "hh:mm:ss"
    sp = wb.create_sheet("My sheet")
    sp.append(["Note"])
    sp.append([LONG])
    sp.append(["short"])
    q = wb.create_sheet("Q'uote")
    q.append(["A"])
    q.append([1])
    b = wb.create_sheet("Bracket")
    # Excel refuses "]" in names it is given, but other writers store it.
    b._WorkbookChild__title = "Br]acket"
    b.append(["B"])
    b.append([2])
    wb.create_sheet("Empty")
    hidden = wb.create_sheet("Hidden")
    hidden.sheet_state = "hidden"
    hidden.append(["H"])
    hidden.append([3])
    wb.create_chartsheet("Chart1")
    # A workbook-level name that shares the sheet's name, and a sheet-level one.
    wb.defined_names.append(DefinedName("Data", attr_text="'My sheet'!$A$1:$A$3"))
    wb.defined_names.append(DefinedName("Area2", attr_text="Data!$B$1:$C$3", localSheetId=0))
    wb.save(path(name))


write_multi_xlsx("multi.xlsx")
write_multi_xlsx("multi1904.xlsx", CALENDAR_MAC_1904)


def write_multi_xls(name):
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Data")
    dt = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    tm = xlwt.easyxf(num_format_str="hh:mm:ss")
    for c, h in enumerate(HEADER):
        ws.write(0, c, h)
    for r, row in enumerate(ROWS, start=1):
        for c, v in enumerate(row):
            if c == 3:
                ws.write(r, c, v, dt)
            elif c == 5:
                ws.write(r, c, v, tm)
            else:
                ws.write(r, c, v)
    sp = wb.add_sheet("My sheet")
    sp.write(0, 0, "Note")
    sp.write(1, 0, LONG)
    sp.write(2, 0, "short")
    q = wb.add_sheet("Q'uote")
    q.write(0, 0, "A")
    q.write(1, 0, 1)
    b = wb.add_sheet("Bracket")
    b.name = "Br]acket"
    b.write(0, 0, "B")
    b.write(1, 0, 2)
    wb.add_sheet("Empty")
    h = wb.add_sheet("Hidden")
    h.write(0, 0, "H")
    h.write(1, 0, 3)
    h.visibility = 1
    wb.save(path(name))


write_multi_xls("multi.xls")

# Typing: numbers with one text far down; ZIP codes as text.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Mixed"
ws.append(["N", "Zip"])
for i in range(1, 6001):
    ws.append(["oops" if i == 5000 else i, "%05d" % i])
wb.save(path("mixed.xlsx"))

# Dates at the edges, all under a date format.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Dates"
edge = [60, 1e12, 0.5, 0, 59, 61, 45351.5000057870, -1]
for v in edge:
    ws.append([v])
for row in ws.iter_rows():
    row[0].number_format = "yyyy-mm-dd hh:mm:ss"
wb.save(path("dates.xlsx"))

# Two sheets whose names simplify alike.
wb = openpyxl.Workbook()
wb.active.title = "Q1"
wb.active.append(["first"])
wb.create_sheet("Q1 ").append(["second"])
wb.save(path("dup.xlsx"))

# Times on day 0 and a date-time with a fraction of a second, all dates.
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Times"
for v in [0.5, datetime.datetime(1899, 12, 30, 0, 0), datetime.datetime(1899, 12, 30, 6, 0),
          45351 + 1.6 / 86400, None, 45351.25]:
    ws.append([v])
for row in ws.iter_rows():
    row[0].number_format = "yyyy-mm-dd hh:mm:ss"
wb.save(path("times.xlsx"))

# xlwt: 1904 system, booleans, RK numbers (integers), a long sheet for MULRK.
wb = xlwt.Workbook()
wb.dates_1904 = True
ws = wb.add_sheet("S1904")
ws.write(0, 0, "When")
ws.write(1, 0, datetime.datetime(2024, 2, 29, 13, 45, 10), xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss"))
wb.save(path("d1904.xls"))


# ---------------------------------------------------------------------------
# Hand-made packages.
def package(name, parts, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path(name), "w", compression) as z:
        for part, text in parts:
            z.writestr(part, text)


T_MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
T_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
S_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
S_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"


def rels(items):
    body = "".join('<Relationship Id="%s" Type="%s" Target="%s"/>' % i for i in items)
    return '<?xml version="1.0"?><Relationships xmlns="%s">%s</Relationships>' % (PKG_REL, body)


def odd_package(name, main, rel, workbook_target, sheet_target, sst_target, styles_target,
                workbook_part, sheet_part, sst_part, styles_part, date1904=False):
    workbook = ('<?xml version="1.0"?><x:workbook xmlns:x="%s" xmlns:rr="%s">'
                '<x:workbookPr date1904="%s"/><x:sheets>'
                '<x:sheet name="Odd" sheetId="1" rr:id="rId1"/></x:sheets></x:workbook>'
                % (main, rel, "true" if date1904 else "false"))
    sst = ('<?xml version="1.0"?><sst xmlns="%s" count="3" uniqueCount="3">'
           '<si><t>plain</t></si>'
           '<si><r><t>ri</t></r><r><rPr><b/></rPr><t>ch</t></r><rPh sb="0" eb="1"><t>PHON</t></rPh></si>'
           '<si><t xml:space="preserve">line_x000D_&amp;&lt;</t></si></sst>' % main)
    styles = ('<?xml version="1.0"?><styleSheet xmlns="%s"><numFmts count="2">'
              '<numFmt numFmtId="164" formatCode="[$-409]d\\-mmm\\-yy;@"/>'
              '<numFmt numFmtId="165" formatCode="&quot;$&quot;#,##0.00"/></numFmts>'
              '<cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>'
              '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/>'
              '<xf numFmtId="20"/></cellXfs></styleSheet>' % main)
    sheet = ('<?xml version="1.0"?><worksheet xmlns="%s"><sheetData>'
             # header row without a row number, cells without references
             '<row><c t="s"><v>0</v></c><c t="inlineStr"><is><t>In</t><t>line</t></is></c>'
             '<c t="str"><f>1</f><v>Formula</v></c><c><v>0</v></c><c><v>0</v></c><c><v>0</v></c></row>'
             # sparse: row 3 (r=3) and columns far apart
             '<row r="3"><c r="A3" t="s"><v>1</v></c><c r="B3" t="b"><v>1</v></c>'
             '<c r="C3" t="e"><v>#DIV/0!</v></c><c r="D3" s="1"><f>TODAY()</f><v>45351</v></c>'
             '<c r="E3" s="2"><v>12.5</v></c><c r="F3" s="3"><v>0.25</v></c></row>'
             '<row r="4"><c r="A4" t="s"><v>2</v></c><c r="B4" t="b"><v>0</v></c>'
             '<c r="D4" t="d" s="1"><v>2024-02-29T12:00:00</v></c><c r="E4" s="2"><v>3</v></c>'
             '<c r="F4" s="3"/></row>'
             '</sheetData></worksheet>' % main)
    package(name, [
        ("[Content_Types].xml", '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'),
        ("_rels/.rels", rels([("rId1", rel + "/officeDocument", workbook_target)])),
        (workbook_part, workbook),
        (os.path.dirname(workbook_part) + "/_rels/" + os.path.basename(workbook_part) + ".rels",
         rels([("rId1", rel + "/worksheet", sheet_target),
               ("rId2", rel + "/sharedStrings", sst_target),
               ("rId3", rel + "/styles", styles_target)])),
        (sheet_part, sheet), (sst_part, sst), (styles_part, styles),
    ])


# Transitional namespaces, relative targets.
odd_package("odd.xlsx", T_MAIN, T_REL, "xl/workbook.xml", "worksheets/sheet1.xml",
            "sharedStrings.xml", "styles.xml", "xl/workbook.xml", "xl/worksheets/sheet1.xml",
            "xl/sharedStrings.xml", "xl/styles.xml")
# Strict namespaces, absolute and "../" targets, part names in other letter cases, backslashes.
odd_package("strict.xlsx", S_MAIN, S_REL, "/XL/Book.xml", "/xl/Sheets/ONE.xml",
            "..\\xl\\strings.XML", "./Styles.xml", "xl/book.xml", "xl/sheets/one.xml",
            "xl/Strings.xml", "xl/styles.xml")

# Hostile packages.
with open(path("text.xlsx"), "w") as f:
    f.write("Id;Name\n1;alpha\n")
with open(path("multi.xlsx"), "rb") as f:
    whole = f.read()
with open(path("truncated.xlsx"), "wb") as f:
    f.write(whole[: len(whole) // 2])
package("dtd.xlsx", [
    ("_rels/.rels", rels([("rId1", T_REL + "/officeDocument", "xl/workbook.xml")])),
    ("xl/workbook.xml", '<?xml version="1.0"?><!DOCTYPE lol [<!ENTITY a "aaaaaaaaaa">'
     '<!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;">]><workbook xmlns="%s">&b;</workbook>' % T_MAIN),
])
package("nosheet.xlsx", [("hello.txt", "nothing here")])
# A zip bomb: one shared string inflating to 64 MB.
package("bomb.xlsx", [
    ("_rels/.rels", rels([("rId1", T_REL + "/officeDocument", "xl/workbook.xml")])),
    ("xl/workbook.xml", '<workbook xmlns="%s"/>' % T_MAIN),
    ("xl/_rels/workbook.xml.rels", rels([("rId1", T_REL + "/sharedStrings", "sharedStrings.xml")])),
    ("xl/sharedStrings.xml", "<sst><si><t>" + "a" * (64 << 20) + "</t></si></sst>"),
])
# A package whose entries claim sizes of nearly 4 GB.
big = io.BytesIO()
with zipfile.ZipFile(big, "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("_rels/.rels", rels([("rId1", T_REL + "/officeDocument", "xl/workbook.xml")]))
    z.writestr("xl/workbook.xml", '<workbook xmlns="%s"/>' % T_MAIN)
    z.writestr("xl/sharedStrings.xml", "<sst>" + "<si><t>x</t></si>" * 10 + "</sst>")
data = bytearray(big.getvalue())
# Claim an absurd uncompressed size for every entry (local and central headers).
i = 0
while True:
    i = data.find(b"PK\x03\x04", i)
    if i < 0:
        break
    struct.pack_into("<I", data, i + 22, 0xFFFFFF00)
    i += 4
i = 0
while True:
    i = data.find(b"PK\x01\x02", i)
    if i < 0:
        break
    struct.pack_into("<I", data, i + 24, 0xFFFFFF00)
    i += 4
with open(path("liar.xlsx"), "wb") as f:
    f.write(data)


# ---------------------------------------------------------------------------
# Compound files of our own: every stream is padded to at least 4 KB so that
# it lives in regular sectors, and the FAT fits one sector.
def cfb(streams):
    sector = 512
    entries = []
    body = bytearray()
    fat = []
    next_sector = 1  # sector 0 holds the FAT
    for name, data in streams:
        data = bytes(data)
        if len(data) < 4096:
            data = data + b"\0" * (4096 - len(data))
        count = (len(data) + sector - 1) // sector
        entries.append((name, next_sector, len(data)))
        chain = list(range(next_sector, next_sector + count))
        fat_entries = [c + 1 for c in chain[:-1]] + [0xFFFFFFFE]
        fat.extend(fat_entries)
        body += data + b"\0" * (count * sector - len(data))
        next_sector += count
    dir_sector = next_sector
    fat.append(0xFFFFFFFE)  # the directory: one sector, four entries
    fat = [0xFFFFFFFD] + fat
    assert len(fat) <= 128
    fat += [0xFFFFFFFF] * (128 - len(fat))

    def entry(name, type_, child, left, right, start, size):
        raw = name.encode("utf-16-le") + b"\0\0"
        e = raw + b"\0" * (64 - len(raw))
        e += struct.pack("<HBB", len(raw), type_, 1)
        e += struct.pack("<III", left, right, child)
        e += b"\0" * 16 + b"\0" * 4 + b"\0" * 16
        e += struct.pack("<IQ", start, size)
        return e[:128] if len(e) >= 128 else e + b"\0" * (128 - len(e))

    none = 0xFFFFFFFF
    dirs = entry("Root Entry", 5, 1 if entries else none, none, none, 0xFFFFFFFE, 0)
    for i, (name, start, size) in enumerate(entries):
        right = i + 2 if i + 1 < len(entries) else none
        dirs += entry(name, 2, none, none, right, start, size)
    while len(dirs) < sector:
        dirs += entry("", 0, none, none, none, 0, 0)
    header = bytearray(512)
    header[0:8] = bytes([0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1])
    struct.pack_into("<HHHHH", header, 24, 0x3E, 3, 0xFFFE, 9, 6)
    struct.pack_into("<I", header, 44, 1)          # FAT sectors
    struct.pack_into("<I", header, 48, dir_sector)  # first directory sector
    struct.pack_into("<I", header, 56, 4096)
    struct.pack_into("<I", header, 60, 0xFFFFFFFE)  # no mini FAT
    struct.pack_into("<I", header, 68, 0xFFFFFFFE)  # no DIFAT
    struct.pack_into("<I", header, 76, 0)           # FAT in sector 0
    for k in range(1, 109):
        struct.pack_into("<I", header, 76 + 4 * k, 0xFFFFFFFF)
    return bytes(header) + struct.pack("<128I", *fat) + bytes(body) + dirs[:sector]


def rec(type_, payload=b""):
    return struct.pack("<HH", type_, len(payload)) + payload


def bof(kind, version=0x0600):
    return rec(0x0809, struct.pack("<HHHHII", version, kind, 0, 0, 0, 0))


def ustr(text, count16=True, high=True):
    data = text.encode("utf-16-le") if high else text.encode("latin-1")
    head = struct.pack("<H", len(text)) if count16 else struct.pack("<B", len(text))
    return head + bytes([1 if high else 0]) + data


def cell(row, col, xf=0):
    return struct.pack("<HHH", row, col, xf)


def rk_int(v):
    return (v << 2) | 2


def biff8_book(sheet_records, sst_records=b"", extra_globals=b"", sheet_name="Raw"):
    # XF 0: general; XF 1: a date format (built-in 14).
    xfs = rec(0x00E0, struct.pack("<HH", 0, 0) + b"\0" * 16) + rec(0x00E0, struct.pack("<HH", 0, 14) + b"\0" * 16)
    globals_ = bof(5) + extra_globals + rec(0x0042, struct.pack("<H", 1200)) + xfs + sst_records
    name = ustr(sheet_name, count16=False)
    boundsheet_len = len(rec(0x0085, struct.pack("<IBB", 0, 0, 0) + name))
    offset = len(globals_) + boundsheet_len + 4  # + EOF
    globals_ += rec(0x0085, struct.pack("<IBB", offset, 0, 0) + name) + rec(0x000A)
    return globals_ + bof(0x10) + sheet_records + rec(0x000A)


# The shared-string table split across a CONTINUE inside a string, which
# switches from compressed to UTF-16 characters there.
s1 = "first"
s2_a, s2_b = "spl", "it\u00e9\u4e2d"
sst = rec(0x00FC, struct.pack("<II", 3, 3) + ustr(s1, high=False)
          + struct.pack("<HB", len(s2_a + s2_b), 0) + s2_a.encode("latin-1"))
sst += rec(0x003C, bytes([1]) + s2_b.encode("utf-16-le") + ustr("rich?", high=False))
sheet = b""
sheet += rec(0x00FD, cell(0, 0) + struct.pack("<I", 0))        # LABELSST "first"
sheet += rec(0x00FD, cell(0, 1) + struct.pack("<I", 1))        # LABELSST split string
sheet += rec(0x027E, cell(1, 0) + struct.pack("<I", rk_int(42)))            # RK integer
sheet += rec(0x027E, cell(1, 1) + struct.pack("<I", rk_int(1234) | 1))      # RK /100
# MULRK over row 2, columns 0..2.
sheet += rec(0x00BD, struct.pack("<HH", 2, 0) + b"".join(struct.pack("<HI", 0, rk_int(v)) for v in (7, 8, 9)) + struct.pack("<H", 2))
sheet += rec(0x0203, cell(3, 0) + struct.pack("<d", 2.5))      # NUMBER
sheet += rec(0x0205, cell(3, 1) + bytes([1, 0]))               # BOOLERR true
sheet += rec(0x0205, cell(3, 2) + bytes([7, 1]))               # BOOLERR error #DIV/0!
# FORMULA with a number result, a text result (STRING follows), a boolean.
sheet += rec(0x0006, cell(4, 0) + struct.pack("<d", 99.0) + b"\0" * 8)
sheet += rec(0x0006, cell(4, 1) + bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF]) + b"\0" * 8)
sheet += rec(0x0207, ustr("from formula"))
sheet += rec(0x0006, cell(4, 2) + bytes([1, 0, 1, 0, 0, 0, 0xFF, 0xFF]) + b"\0" * 8)
sheet += rec(0x0204, cell(5, 0) + ustr("label \u00fc"))        # LABEL
sheet += rec(0x0203, cell(5, 1, 1) + struct.pack("<d", 45351.75))  # a date through XF 1
# An embedded chart: its cells must not leak into the sheet.
sheet += bof(0x20) + rec(0x0203, cell(9, 9) + struct.pack("<d", 1.0)) + rec(0x000A)
with open(path("raw.xls"), "wb") as f:
    f.write(cfb([("Workbook", biff8_book(sheet, sst))]))

# BIFF5 with a Cyrillic code page: names and labels are bytes in CP1251.
name5 = "Лист".encode("cp1251")
label5 = "Привет".encode("cp1251")
g5 = rec(0x0809, struct.pack("<HHHH", 0x0500, 5, 0, 0)) + rec(0x0042, struct.pack("<H", 1251))
bs_len = len(rec(0x0085, struct.pack("<IBBB", 0, 0, 0, len(name5)) + name5))
off5 = len(g5) + bs_len + 4
g5 += rec(0x0085, struct.pack("<IBBB", off5, 0, 0, len(name5)) + name5) + rec(0x000A)
s5 = rec(0x0809, struct.pack("<HHHH", 0x0500, 0x10, 0, 0))
s5 += rec(0x0204, cell(0, 0) + struct.pack("<H", len(label5)) + label5)
s5 += rec(0x0203, cell(1, 0) + struct.pack("<d", 3.25)) + rec(0x000A)
with open(path("biff5.xls"), "wb") as f:
    f.write(cfb([("Book", g5 + s5)]))

# Encrypted: an .xls with FILEPASS (RC4), and an .xlsx as an encrypted package.
with open(path("filepass.xls"), "wb") as f:
    f.write(cfb([("Workbook", bof(5) + rec(0x002F, struct.pack("<HHH", 1, 1, 2) + b"\0" * 48) + rec(0x000A))]))
with open(path("encrypted.xlsx"), "wb") as f:
    # Agile encryption for a certificate only: no password can open it.
    cert = (b'<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption">'
            b'<keyData saltSize="16" blockSize="16" keyBits="256" hashSize="64" '
            b'cipherAlgorithm="AES" cipherChaining="ChainingModeCBC" hashAlgorithm="SHA512" '
            b'saltValue="AAAAAAAAAAAAAAAAAAAAAA=="/></encryption>')
    f.write(cfb([("EncryptionInfo", struct.pack("<HHI", 4, 4, 0x40) + cert.ljust(4088)),
                 ("EncryptedPackage", struct.pack("<Q", 1000) + os.urandom(1000))]))
# A compound file with no workbook in it, and one whose chains loop.
with open(path("noworkbook.xls"), "wb") as f:
    f.write(cfb([("Other", b"hello")]))
looped = bytearray(cfb([("Workbook", biff8_book(b""))]))
struct.pack_into("<I", looped, 512 + 4 * 2, 1)  # sector 2 points back to sector 1
with open(path("loop.xls"), "wb") as f:
    f.write(bytes(looped))
# A record claiming more than the stream holds.
with open(path("shortrec.xls"), "wb") as f:
    f.write(cfb([("Workbook", bof(5) + struct.pack("<HH", 0x00FC, 8000) + b"\0" * 10)]))

# An Excel 95 (BIFF5) workbook from a Russian Excel: no CODEPAGE record, its
# fonts in the Cyrillic character set (204), text in Windows-1251.
def font5(charset):
    name = b"Arial Cyr"
    return rec(0x0031, struct.pack("<HHHHHBBBBB", 200, 0, 0x7FFF, 400, 0, 0, 0, charset, 0, len(name)) + name)


def label5(row, col, text):
    data = text.encode("cp1251")
    return rec(0x0204, cell(row, col) + struct.pack("<H", len(data)) + data)


name95 = "Отчёт".encode("cp1251")
g95 = rec(0x0809, struct.pack("<HHHH", 0x0500, 5, 0, 0)) + font5(204) + font5(204)
bs95 = len(rec(0x0085, struct.pack("<IBBB", 0, 0, 0, len(name95)) + name95))
g95_off = len(g95) + bs95 + 4
g95 += rec(0x0085, struct.pack("<IBBB", g95_off, 0, 0, len(name95)) + name95) + rec(0x000A)
s95 = rec(0x0809, struct.pack("<HHHH", 0x0500, 0x10, 0, 0))
s95 += label5(0, 0, "Имя") + label5(0, 1, "Сумма")
s95 += label5(1, 0, "Отчёт") + rec(0x0203, cell(1, 1) + struct.pack("<d", 12.5))
s95 += label5(2, 0, "Ёж") + rec(0x0203, cell(2, 1) + struct.pack("<d", -3)) + rec(0x000A)
with open(path("cyrillic95.xls"), "wb") as f:
    f.write(cfb([("Book", g95 + s95)]))


# A filled-down formula block as Excel writes it: the first cell's FORMULA,
# then the block's SHRFMLA, then the STRING with the text result; a formula
# whose result is the empty text; and a column holding only empty texts.
def formula_text(row, col, kind=0):
    return rec(0x0006, cell(row, col) + bytes([kind, 0, 0, 0, 0, 0, 0xFF, 0xFF]) + b"\0" * 8)


sst_e = rec(0x00FC, struct.pack("<II", 5, 4) + ustr("id", high=False) + ustr("label", high=False)
            + ustr("blank", high=False) + ustr("", high=False))
sh = b""
for c, index in enumerate((0, 1, 2)):
    sh += rec(0x00FD, cell(0, c) + struct.pack("<I", index))
sh += rec(0x027E, cell(1, 0) + struct.pack("<I", rk_int(1)))
sh += formula_text(1, 1) + rec(0x04BC, struct.pack("<HHBB", 1, 3, 1, 1) + b"\0\0\0\0")
sh += rec(0x0207, ustr("first of block"))
sh += rec(0x00FD, cell(1, 2) + struct.pack("<I", 3))
sh += rec(0x027E, cell(2, 0) + struct.pack("<I", rk_int(2)))
sh += formula_text(2, 1) + rec(0x0207, ustr("second"))
sh += rec(0x00FD, cell(2, 2) + struct.pack("<I", 3))
sh += rec(0x027E, cell(3, 0) + struct.pack("<I", rk_int(3)))
sh += formula_text(3, 1, kind=3)
sh += rec(0x0204, cell(3, 2) + ustr(""))
with open(path("formulas.xls"), "wb") as f:
    f.write(cfb([("Workbook", biff8_book(sh, sst_e, sheet_name="Block"))]))


# ---------------------------------------------------------------------------
# Encrypted workbooks, in every scheme, with a password of the user's and with
# Excel's built-in "VelvetSweatshop". Each is decrypted again by a second
# implementation where Debian has one (msoffcrypto: all but XOR).
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import olefile  # noqa: E402
import office_crypto  # noqa: E402

PASSWORD = "S3cret \u00e9t\u00e9"  # not ASCII: the key takes UTF-16
XOR_PASSWORD = "S3cret"


def plain_book():
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Locked")
    for c, h in enumerate(["id", "name", "amount"]):
        ws.write(0, c, h)
    for r in range(1, 301):  # a stream over several 1,024-byte blocks
        ws.write(r, 0, r)
        ws.write(r, 1, "row %d \u00fc" % r)
        ws.write(r, 2, r * 1.5)
    data = io.BytesIO()
    wb.save(data)
    return olefile.OleFileIO(data.getvalue()).openstream("Workbook").read()


def biff_records(stream):
    """(type, data) of each record, FILEPASS left out, sheet offsets zeroed.

    msoffcrypto blanks FILEPASS into a record of type 0; the compound-file
    writer pads streams with zeros, which read as empty records of type 0.
    """
    out = []
    for at, rtype, length in office_crypto.records(stream):
        data = stream[at + 4:at + 4 + length]
        if rtype in (0x002F, 0):
            continue
        if rtype == 0x0085:
            data = b"\0\0\0\0" + data[4:]
        out.append((rtype, data))
    return out


def workbook_stream_of(decrypted_file):
    return biff_records(olefile.OleFileIO(decrypted_file).openstream("Workbook").read())


book_stream = plain_book()
for name, password, encrypt, checked in [
        ("rc4.xls", PASSWORD, office_crypto.encrypt_rc4, True),
        ("rc4_velvet.xls", "VelvetSweatshop", office_crypto.encrypt_rc4, True),
        ("cryptoapi.xls", PASSWORD, office_crypto.encrypt_cryptoapi, True),
        ("cryptoapi40.xls", PASSWORD,
         lambda s, p: office_crypto.encrypt_cryptoapi(s, p, key_bits=40), True),
        ("xor.xls", XOR_PASSWORD, office_crypto.encrypt_xor, False),
        ("xor_velvet.xls", "VelvetSweatshop", office_crypto.encrypt_xor, False)]:
    with open(path(name), "wb") as f:
        f.write(cfb([("Workbook", encrypt(book_stream, password))]))
    if checked:
        office_crypto.check_with_msoffcrypto(path(name), password, biff_records(book_stream),
                                             workbook_stream_of)
# Excel 95 with XOR obfuscation (BIFF5 FILEPASS has no type field).
with open(path("xor95.xls"), "wb") as f:
    f.write(cfb([("Book", office_crypto.encrypt_xor(g95 + s95, XOR_PASSWORD, biff8=False))]))

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Locked"
ws.append(["id", "name", "amount"])
for r in range(1, 301):
    ws.append([r, "row %d \u00fc" % r, r * 1.5])
plain_xlsx = io.BytesIO()
wb.save(plain_xlsx)
plain_xlsx = plain_xlsx.getvalue()
for name, password, encrypt in [
        ("standard.xlsx", PASSWORD, office_crypto.encrypt_standard),
        ("agile.xlsx", PASSWORD, office_crypto.encrypt_agile),
        ("agile_velvet.xlsx", "VelvetSweatshop", office_crypto.encrypt_agile),
        # Few rounds: the damage tests open it hundreds of times.
        ("agile_fast.xlsx", PASSWORD, lambda p, w: office_crypto.encrypt_agile(p, w, spin=100))]:
    info, package = encrypt(plain_xlsx, password)
    # Padded with blanks (which XML allows after the document) to stay out
    # of the mini stream, which this writer does not make.
    info = info + b" " * max(0, 4096 - len(info))
    with open(path(name), "wb") as f:
        f.write(cfb([("EncryptionInfo", info), ("EncryptedPackage", package)]))
    office_crypto.check_with_msoffcrypto(path(name), password, plain_xlsx)
