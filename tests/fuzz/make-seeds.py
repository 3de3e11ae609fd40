#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/, from the
inputs the unit tests use.  Run once; the files are kept in the repository.
Findings' reproducers are added beside the seeds by hand."""
import hashlib
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def seed(target, data):
    if isinstance(data, str):
        data = data.encode("utf-8")
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    name = "seed-" + hashlib.sha1(data).hexdigest()[:12]
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


# -- INI reader ---------------------------------------------------------------
for text in [
    "[Mod]\r\n  Report.dll = 1.2.003  \r\nEmpty=\r\n[Other]\r\n",
    "[Mod]\r\nReport.dll=1.0.001\r\nMain.exe=1.0.001\r\n[Other]\r\na=b\r\n",
    "[Modules]\nReport.dll=2.1.005,Tools\\Report.dll\n[\u00c4rger]\n\u00d6l=1\n",
    "[S]  trailing text\r\n; comment\r\n# comment\r\nk = \"quoted\" \r\n[ s ]\nk=2\n[broken\nx=1\r",
    "[T]\n[broken\nk=1",
    "[S]\na=1\nbb=2\n",
    "\ufeff[Bom]\r\nkey=value\r\n",
]:
    seed("ini_profile", text)
seed("ini_profile", b"[S]\nk=caf\xe9 \x80\n")
seed("ini_profile", b"\xff\xfe" + "[U16]\r\nk=v\r\n".encode("utf-16-le"))
seed("ini_profile", b"[N]\na=b\x00c\nd=e\r\n")

# -- HTTP responses (first byte: no cuts, or cuts at given offsets) -------------
def http(response, cuts=()):
    head = bytes([len(cuts)]) + b"".join(c.to_bytes(2, "little") for c in cuts)
    seed("http_response", head + response)

http(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")
http(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", (10, 30))
http(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n3;ext=1\r\nabc\r\n0\r\nTrailer: x\r\n\r\n", (45, 50, 51))
http(b"HTTP/1.1 200 OK\r\n\r\nrest of it until close")
http(b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\nSet-Cookie: a=1; Path=/; Max-Age=60\r\n\r\nok")
http(b"HTTP/1.1 302 Found\r\nLocation: /else\r\nContent-Length: 5\r\n\r\nmoved")
http(b"HTTP/1.1 301 Moved\r\nLocation: /new\r\n\r\n")
http(b"HTTP/1.1 204 No Content\r\n\r\n")
http(b"HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 70\r\n\r\n"
     b"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">")
http(b"HTTP/1.1 500 Oops\r\nContent-Type: text/plain; charset=us-ascii\r\nConnection: close\r\n\r\nfail\xe9")
http(b"HTTP/1.1 OK\r\n\r\nrest of it")
http(b"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n")
http(b"HTTP/1.1 200 OK\nContent-Length: 3\nSet-Cookie: s=1; Domain=127.0.0.1\nSet-Cookie: t=2\n\nabc", (7,))

# -- cookies (byte: host and protocol, line: request document, lines: values) ---
def cookie(selector, document, values):
    seed("cookie", bytes([selector]) + "\n".join([document] + values).encode("utf-8"))

cookie(1, "allfiles.ini", ["a=1; Path=/; Max-Age=60", "b=2; Domain=quorvin.example; Secure; HttpOnly"])
cookie(1, "allfiles.ini", ["old=1; Max-Age=10", "old=; Expires=Thu, 01 Jan 1970 00:00:00 GMT"])
cookie(0, "a.exe", ["s=1; Domain=127.0.0.1", "t=2; Path=/download", "u=3; Path=/other/"])
cookie(5, "x", ["a=1; Expires=Sunday, 06-Nov-94 08:49:37 GMT", "b=1; expires=Sun Nov  6 08:49:37 1994",
                "c=1; Max-Age=99999999999999999999999999999", "d=1; Max-Age=-99999999999999999999999"])
cookie(1, "x", ["a=1\rX-Injected: yes", "c=\x7f", "e=tab\there", "=novalue", "noequals"])
cookie(2, "dir/doc", ["a=1; Domain=.localhost; Path=", "b=1;;;; ; Path=/dir"])

# -- URLs -----------------------------------------------------------------------
for url in ["http://updates.example/download/allfiles.ini", "http://host:8080",
            "http://host\\a\\b.txt?x=\\y", "http://h/dir/file.ini?p=a/b#c", "http://h/dir/file.ini#part",
            "http://user:secret@h:81/x", "http://:secret@h/x", "http://[::1]:8047/download/a.exe",
            "sub/file.txt?q", "http://u:p@[::1]:1/a/b?c#d", "http://h/", "https://127.0.0.1/caf\u00e9/x"]:
    seed("uri", url)

# -- catalogue, Version.ini and companion -----------------------------------------
SEP = "\n####\n"
def catalogue(cat, version="", companion=""):
    seed("catalogue", cat + SEP + version + SEP + companion)

catalogue("[modules]\r\nReport=Report.exe\r\n[Report]\r\nReport.exe=2.1.005,Report.exe\r\nHelp.chm=1.0.002,Docs\\Help.chm,sha256=00\r\n",
          "[Report]\r\nReport.exe=2.0.010\r\n", "Report\r\nReport.exe\r\n2.1.005\r\nReport.exe\r\n")
catalogue("[modules]\nA=a.exe\nB=b.exe\n[A]\nx=1.0\ny=XXX,y.dll\nz=1.2.3.4,..\\..\\evil\n[B]\nq=0x10.$1F.-3,/abs/q\n",
          "[A]\nx=1.0.0\ny=1.0.001\n", "A\nx\n1.0\n")
catalogue("[modules]\r\nM=m.exe\r\n[M]\r\nc= 2 . 1 . 5 , c:c.dll\r\nd=99999999999.0.0,d\r\n",
          "\ufeff[M]\r\nc=2.1.4\r\n", "\ufeffM\rc\r2.1.5\rm.exe")

# -- look package -------------------------------------------------------------------
package = sys.argv[1] if len(sys.argv) > 1 else None
if package:
    with open(package, "rb") as f:
        seed("look_package", f.read())
seed("look_package", b"QLkP\x00\x00\x00\x00previewimg\x00\x00\x00\x00")

# -- signed catalogue (catalogue, "####" line, signature file) -----------------
for catalogue, signature in [
    ("[modules]\r\nMain=main.exe\r\n[Main]\r\nCore=1.0.002,core.dll,sha256=" + "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"
     + "\r\n[release]\r\nSerial=20261209120000\r\nExpires=2026-12-31T00:00:00Z\r\n", "AAAA\r\n"),
    ("[release]\nSerial=18446744073709551616\n", "  " + "A" * 86 + "==\n"),
    ("[Main]\nCore=1.0.002,core.dll,sha256=ABC,sha512=00\n[release]\nSerial=x\n", ""),
]:
    seed("signed_catalogue", catalogue + "\n####\n" + signature)

# -- install journal and accepted serial (journal, "####" line, serial file) ---
def journal(*lines):
    return "".join(line + "\r\n" for line in lines)

for text, serial in [
    (journal("Quorvin install journal 1", "replacing", "Lib.dll.{F}", "Lib.dll.V.2.0.000",
             "M/Lib.dll", "M/Lib.dll.{O}", "ModA", "Main", "2.0.000"), "20261209120000\r\n"),
    (journal("Quorvin install journal 1", "rolling back", "Lib.dll.{F}", "", "M/Lib.dll", "",
             "ModA", "Main", "2.0.000"), "0\r\n"),
    (journal("Quorvin install journal 1", "replacing", "Lib.dll.{F}", "", "M/../../Outside.dll",
             "/tmp/x", "ModA", "Main", "2.0.000"), "18446744073709551616\r\n"),
    (journal("Quorvin install journal 1", "replacing", "Lib.dll.{F}") + "M/Lib\n.dll", "x"),
]:
    seed("install_journal", text + "\n####\n" + serial)

# -- roots of trust (root text, "####" line, its signature file) --------------
import base64
def b64(data):
    return base64.b64encode(data).decode()

key_a, key_b = b64(bytes(range(32))), b64(bytes(range(32, 64)))
signature = b64(bytes(64))
for text in [
    "[root]\r\nVersion=2\r\nRootThreshold=1\r\nCatalogueThreshold=1\r\n\r\n"
    "[root keys]\r\na=" + key_a + "\r\n\r\n[catalogue keys]\r\nc=" + key_b + "\r\n",
    "[Root]\nversion = 2\nrootthreshold=2\nCatalogueThreshold=1\nExpires=2030-01-01T00:00:00Z\n"
    "SerialFloor=20260301000000\n[root keys]\na=" + key_a + "\nb=" + key_b + "\nb2=" + key_b +
    "\n[catalogue keys]\nc=" + key_a + "\n",
    "[root]\r\nVersion=3\r\nRootThreshold=5\r\nCatalogueThreshold=0\r\n[root keys]\r\nx=short\r\n",
]:
    for signatures in ["", signature + "\n", key_a + " " + signature + "\r\n" + key_b + "\t" + signature]:
        seed("trust_root", text + "\n####\n" + signatures)
seed("trust_root", "2 " + b64(b"[root]\r\nVersion=2\r\n") + " " + b64((key_a + " " + signature + "\n").encode()) + "\r\n")
