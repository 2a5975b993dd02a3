#!/usr/bin/env python3
"""Local HTTPS update server for the tests and the demo.

Serves a folder under /updater/ over TLS on 127.0.0.1, and the same folder over plain HTTP on a
second, ephemeral port (for redirect-http). Faults for the tests:
  - a request path /_fault/<kind>/<rest> serves /<rest> with that fault;
  - a sidecar file <file>.fault beside a served file holds the fault's kind.
A kind may carry one parameter after "=", e.g. trickle=0.5, and the prefix "once:", which applies
it to the first request of that file (and query) only (once:500, once:cut=600000), or "gate:", which
answers nothing until the test releases the file (gate:404, or "gate:" alone for a plain answer).
A test releases a held file by making FILE.release beside it (FILE need not exist); "once:" goes
first when both are given (once:gate:500). Without a fault, files come
with an ETag and Last-Modified, and a Range "bytes=N-" gets a 206 with the rest (a "bytes=N-M" the
bytes from N to M) unless an If-Range names another version.

Conditional requests, without a fault only (a fault answers as if none was asked): an
If-None-Match that names the file's ETag (strong comparison, so a W/ tag never matches; a list of
tags; or "*") gets a 304 with the ETag and Last-Modified and no body. Without If-None-Match, an
If-Modified-Since date at or after the file's last change gets the same 304; a date that does not
parse is ignored. A 304 comes before any Range.

Compressed files, as nginx's "gzip_static on;" serves them: when FILE.gz lies beside FILE and the
request's Accept-Encoding takes gzip (gzip or x-gzip, or "*" when neither is named, with a q above
0), the answer carries the bytes of FILE.gz with "Content-Encoding: gzip", its length, and an ETag
(ending in "-gz") and Last-Modified of its own, to which conditional requests and Range then refer;
otherwise FILE as it is. Either answer of a file with a .gz beside it carries "Vary:
Accept-Encoding". This holds for every answer that has an ETag (no fault, cut, no-ranges,
wrong-range, slow).

Kinds:
  404            an HTML error page
  500            an internal server error
  cut=N          Content-Length of the whole answer, its first N bytes sent (default: half), then
                 the connection closed
  no-ranges      the whole file with a 200, whatever Range asks for
  wrong-range    a Range "bytes=N-" (N > 0) gets a 206 that starts at byte N/2 and says so in its
                 Content-Range; without a Range, the whole file
  bad-part       a Range gets the 206 it asks for, with the first byte of the part inverted
  slow           the body in 16 KiB pieces, 20 ms apart
  empty200       an empty 200 answer
  endless        no length, the file (or 64 KiB blocks of "x") again and again until the client leaves
  stall          Content-Length of the whole file, the first 1,000 bytes, then silence on an open connection
  trickle=S      Content-Length of the whole file, then one byte every S seconds (default 5)
  hold=N         as without a fault (ETag, ranges), but only the first N bytes of the body go out
                 before the test releases the file; then the rest
  oversized=N    N bytes of HTML text lines without a "|" (the file need not exist)
  gzip-bomb=N    "Content-Encoding: gzip" whether or not the client takes it, with a Content-Length of
                 the compressed bytes (some 1/340 of N: 3 KiB a MiB), which decode to N bytes of lines
                 "a|d41d8cd98f00b204e9800998ecf8427e" (the last one cut at N); made as it goes out,
                 never N bytes at once (the file need not exist)
  redirect=N     302 to the same address with redirect=N-1; redirect=0 serves the file
  redirect-self  302 to the very address requested, for ever
  redirect-http  302 to the same file on the plain HTTP listener
  coding=NAME    the file as it is, said to be in the Content-Encoding NAME (coding=br)
  chunked        Transfer-Encoding: chunked, 16 KiB chunks and the closing zero chunk
  chunked-cut    chunks for the first half of the file only, then the connection closed
  close          no length, the whole file, then the connection closed
  close-cut      no length, the first half of the file, then the connection closed

No fault holds a test for ever or fills the machine: endless, trickle, stall, slow, gzip-bomb, hold
and gate end the answer by cutting the connection once it has taken FAULT_SECONDS or sent (for the
bomb: decodes to) FAULT_BYTES, so a client that does not stop by itself fails instead of hanging.

  update_server.py --root DIR --cert CRT --key KEY [--port N] [--port-file F] [--log-file F]
The port file gets the HTTPS port; F.http, written just before it, gets the plain HTTP port, and
F.refused a port that the server holds bound on 127.0.0.1 without listening, so that while it runs
nothing else can listen there and every connection to it is refused (a server that is down).
The log gets one line for each request, written when its status goes out:
  METHOD PATH USER-AGENT SCHEME[ range=V][ if-range=V][ if-none-match=V][ if-modified-since=V][ accept-encoding=V] status=NNN
where SCHEME is https or http, a missing user agent is "-", and each V is the request's header
as it came (it may hold spaces; a field is there only when the request had that header). It also
gets a line "CONNECTION - - http" for each connection the plain HTTP listener accepts, whether or
not a request follows (a client speaking TLS to it sends none).
"""
import argparse
import datetime
import email.utils
import http.server
import os
import re
import select
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse
import zlib

ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n"
# About 1 MiB of whole lines for oversized; the answer is cut from repeats of it.
MAINTENANCE_LINE = b"<p>The update server is down for maintenance.</p>\n"
MAINTENANCE_BLOCK = MAINTENANCE_LINE * ((1 << 20) // len(MAINTENANCE_LINE))
# The gzip bomb's text: a megabyte of list lines, sent as copies of its deflated form.
BOMB_LINE = b"a|d41d8cd98f00b204e9800998ecf8427e\n"
BOMB_BLOCK = BOMB_LINE * ((1 << 20) // len(BOMB_LINE))
# Kinds whose parameter is a number, and the number when the kind comes without one.
NUMBER_PARAMETERS = {"trickle": (float, "5"), "oversized": (int, None), "redirect": (int, None), "cut": (int, "-1"),
                     "gzip-bomb": (int, None), "hold": (int, "0")}
# Headers the log names, in the order it names them.
LOGGED_HEADERS = ("Range", "If-Range", "If-None-Match", "If-Modified-Since", "Accept-Encoding")
# One entity tag of an If-None-Match list, or its "*".
ENTITY_TAG = re.compile(r'\*|(?:W/)?"[^"]*"')
# The most any fault sends or decodes to, and the longest it takes, before it cuts the connection.
FAULT_BYTES = 256 << 20
FAULT_SECONDS = 60
# How often a held answer looks for its release.
RELEASE_POLL_SECONDS = 0.01
# Faults given with "once:" that have been served already: (path, fault).
served_once = set()
served_once_lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Without it, a keep-alive client's next request waits out the delayed ACK, some 40 ms.
    disable_nagle_algorithm = True
    server_version = "VardenhalTestServer/1"

    def log_message(self, fmt, *args):
        pass

    def send_response(self, code, message=None):
        # Logged with the status line, before any body: a request whose body stalls is there at once.
        if self.server.log_file and getattr(self, "unlogged", False):
            self.unlogged = False
            fields = "".join(" %s=%s" % (name.lower(), self.headers[name]) for name in LOGGED_HEADERS
                             if self.headers.get(name) is not None)
            with open(self.server.log_file, "a") as f:
                f.write("%s %s %s %s%s status=%d\n" % (self.command, self.path, self.headers.get("User-Agent", "-"),
                                                       self.server.scheme, fields, code))
        super().send_response(code, message)

    def send_body(self, status, body, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def start_ok(self, *headers):
        """Sends a 200 with the given (name, value) headers; False when no body is to follow (HEAD)."""
        self.send_response(200)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        return self.command != "HEAD"

    def cut_connection(self):
        # A plain shutdown: over TLS no close_notify goes out, so the end looks like a broken line.
        self.close_connection = True
        try:
            self.connection.shutdown(2)
        except OSError:
            pass

    def close_cleanly(self):
        # A body without a length ends with the connection; over TLS a close_notify alert says that
        # this end is the real one (close-cut leaves it out). The client's answer is not waited for long.
        self.close_connection = True
        if isinstance(self.connection, ssl.SSLSocket):
            self.connection.settimeout(5)
            try:
                self.connection.unwrap()
            except (OSError, ValueError):
                pass

    def out_of_time(self):
        return time.monotonic() > self.fault_began + FAULT_SECONDS

    def wait_for_release(self, local):
        """Waits until the test makes LOCAL.release; False when FAULT_SECONDS pass first."""
        while not os.path.exists(local + ".release"):
            if self.out_of_time():
                return False
            time.sleep(RELEASE_POLL_SECONDS)
        return True

    def hold_until_client_leaves(self):
        """Keeps the connection open and silent until the client closes it, or FAULT_SECONDS pass."""
        self.close_connection = True
        while not self.out_of_time():
            readable, _, _ = select.select([self.connection], [], [], 1.0)
            if readable:
                try:
                    if not self.connection.recv(65536):
                        return
                except (OSError, ValueError):
                    return

    def setup(self):
        super().setup()
        if self.server.log_file and self.server.scheme == "http":
            with open(self.server.log_file, "a") as f:
                f.write("CONNECTION - - http\n")

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        self.unlogged = True
        self.fault_began = time.monotonic()
        raw_path, _, query = self.path.partition("?")
        path = urllib.parse.unquote(raw_path)
        fault = None
        if path.startswith("/_fault/"):
            parts = path.split("/", 3)
            if len(parts) < 4:
                return self.send_body(400, b"bad fault path\n", "text/plain")
            fault, path = parts[2], "/" + parts[3]
        if not path.startswith("/updater/"):
            return self.send_body(404, ERROR_PAGE, "text/html")
        rel = path[len("/updater/"):]
        local = os.path.realpath(os.path.join(self.server.root, rel))
        if not (local == self.server.root or local.startswith(self.server.root + os.sep)):
            return self.send_body(404, ERROR_PAGE, "text/html")
        if fault is None and os.path.isfile(local + ".fault"):
            with open(local + ".fault") as f:
                fault = f.read().strip()
        if fault and fault.startswith("once:"):
            once = (path, query, fault)
            with served_once_lock:
                fault = None if once in served_once else fault[len("once:"):]
                served_once.add(once)
        if fault and fault.startswith("gate:"):
            fault = fault[len("gate:"):]
            if not self.wait_for_release(local):
                return self.cut_connection()
        kind, _, parameter = (fault or "").partition("=")
        number = None
        if kind in NUMBER_PARAMETERS:
            convert, default = NUMBER_PARAMETERS[kind]
            try:
                number = convert(parameter or default)
            except (TypeError, ValueError):
                number = None
            if number is None or not (number >= 0 or (kind == "cut" and number == -1)):
                return self.send_body(400, b"bad fault parameter\n", "text/plain")
        # The served path without the fault, as it goes into a Location.
        rest = urllib.parse.quote(path) + ("?" + query if query else "")

        if kind == "redirect" and number > 0:
            return self.redirect("https://localhost:%d/_fault/redirect=%d%s"
                                 % (self.server.https_port, number - 1, rest))
        if kind == "redirect-self":
            host = self.headers.get("Host") or "localhost:%d" % self.server.server_address[1]
            return self.redirect("%s://%s%s" % (self.server.scheme, host, self.path))
        if kind == "redirect-http":
            return self.redirect("http://localhost:%d%s" % (self.server.http_port, rest))
        if kind == "404":
            return self.send_body(404, ERROR_PAGE, "text/html")
        if kind == "500":
            return self.send_body(500, b"<html><body>Internal Server Error</body></html>\n", "text/html")
        if kind == "empty200":
            return self.send_body(200, b"")
        if kind == "oversized":
            return self.send_oversized(number)
        if kind == "gzip-bomb":
            return self.send_gzip_bomb(number)
        if kind == "endless":
            return self.send_endless(local if os.path.isfile(local) else None)
        if not os.path.isfile(local):
            return self.send_body(404, ERROR_PAGE, "text/html")
        size = os.path.getsize(local)
        if kind == "coding":
            if self.start_ok(("Content-Type", "text/plain"), ("Content-Encoding", parameter),
                             ("Content-Length", str(size))):
                with open(local, "rb") as f:
                    self.write_from(f, size)
            return
        if kind == "stall":
            return self.send_stall(local, size)
        if kind == "trickle":
            return self.send_trickle(local, size, number)
        if kind in ("chunked", "chunked-cut"):
            return self.send_chunked(local, size, kind == "chunked-cut")
        if kind in ("close", "close-cut"):
            return self.send_until_close(local, size, kind == "close-cut")
        compressed = local + ".gz"
        varies = os.path.isfile(compressed)
        gzipped = varies and self.accepts_gzip()
        if gzipped:
            local = compressed
        stat = os.stat(local)
        size = stat.st_size
        # "gzip -k" keeps the time, and a small file may keep its size: the suffix tells them apart.
        etag = '"%x-%x%s"' % (stat.st_mtime_ns, size, "-gz" if gzipped else "")
        modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        if not kind and self.not_modified(etag, stat.st_mtime):
            self.send_response(304)
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", modified)
            if varies:
                self.send_header("Vary", "Accept-Encoding")
            return self.end_headers()
        first, last = self.requested_range(etag, modified) if kind != "no-ranges" else (None, None)
        if first is not None and first >= size:
            return self.send_body(416, b"", "text/plain")
        start = first or 0
        if kind == "wrong-range" and first:
            start = first // 2
        end = size if last is None else min(last + 1, size)
        self.send_response(206 if first is not None else 200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(end - start))
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", modified)
        if gzipped:
            self.send_header("Content-Encoding", "gzip")
        if varies:
            self.send_header("Vary", "Accept-Encoding")
        if first is not None:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))
        if kind == "cut":
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        with open(local, "rb") as f:
            f.seek(start)
            if kind == "bad-part" and first is not None:
                # One byte of the part turned, the rest as asked.
                block = f.read(end - start)
                return self.wfile.write(bytes([block[0] ^ 0xFF]) + block[1:])
            if kind == "cut":
                self.write_from(f, (size - start) // 2 if number < 0 else min(number, size - start))
                self.wfile.flush()
                return self.cut_connection()
            if kind == "hold":
                self.write_from(f, min(number, end - start))
                self.wfile.flush()
                if not self.wait_for_release(local):
                    return self.cut_connection()
            if last is not None:
                return self.write_from(f, end - f.tell())
            while True:
                if kind == "slow" and self.out_of_time():
                    return self.cut_connection()
                block = f.read(16384 if kind == "slow" else 1 << 20)
                if not block:
                    break
                self.wfile.write(block)
                if kind == "slow":
                    self.wfile.flush()
                    time.sleep(0.02)

    def write_from(self, f, left, block_size=1 << 20, chunked=False):
        """Sends up to `left` bytes of the open file `f`, each block as one chunk when `chunked`."""
        while left > 0:
            block = f.read(min(block_size, left))
            if not block:
                break
            self.wfile.write(b"%x\r\n%s\r\n" % (len(block), block) if chunked else block)
            left -= len(block)

    def requested_range(self, etag, modified):
        """The first and last byte a "Range: bytes=N-" or "bytes=N-M" asks for (the last None when
        open), or (None, None) for the whole file: no Range, another form of it, or an If-Range
        that names another version."""
        wanted = self.headers.get("Range", "")
        if_range = self.headers.get("If-Range")
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", wanted)
        if not match or (if_range and if_range not in (etag, modified)):
            return None, None
        first, last = int(match.group(1)), match.group(2)
        if last and int(last) < first:
            return None, None
        return first, int(last) if last else None

    def not_modified(self, etag, mtime):
        """Whether the request's If-None-Match, or without one its If-Modified-Since, says that the
        client holds this version already."""
        tags = self.headers.get_all("If-None-Match")
        if tags is not None:
            return any(tag in ("*", etag) for tag in ENTITY_TAG.findall(",".join(tags)))
        since = self.headers.get("If-Modified-Since")
        if since is None:
            return False
        try:
            date = email.utils.parsedate_to_datetime(since)
        except (TypeError, ValueError, IndexError):
            return False
        # HTTP dates have whole seconds, and one without a zone is taken as GMT.
        if date.tzinfo is None:
            date = date.replace(tzinfo=datetime.timezone.utc)
        return int(mtime) <= date.timestamp()

    def accepts_gzip(self):
        """Whether Accept-Encoding takes gzip: gzip or x-gzip with a q above 0, else a "*" that does."""
        weights = {}
        for coding in ",".join(self.headers.get_all("Accept-Encoding") or ()).split(","):
            name, *parameters = [part.strip().lower() for part in coding.split(";")]
            weight = 1.0
            for parameter in parameters:
                key, _, value = parameter.partition("=")
                if key.strip() == "q":
                    try:
                        weight = float(value)
                    except ValueError:
                        weight = 0.0
            if name:
                weights[name] = weight
        named = [weights[name] for name in ("gzip", "x-gzip") if name in weights]
        return max(named) > 0 if named else weights.get("*", 0.0) > 0

    def send_oversized(self, size):
        if not self.start_ok(("Content-Type", "text/html"), ("Content-Length", str(size))):
            return
        while size > 0:
            block = MAINTENANCE_BLOCK[:size]
            self.wfile.write(block)
            size -= len(block)

    def send_gzip_bomb(self, size):
        # A raw deflate of one block, ended by a full flush: no back-reference reaches before it
        # and it stops on a byte boundary, so copies of it one after another are a valid stream.
        # A fresh stream for the rest of the size closes it with its final block.
        size = min(size, FAULT_BYTES)
        whole, rest = divmod(size, len(BOMB_BLOCK))
        compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
        block = compressor.compress(BOMB_BLOCK) + compressor.flush(zlib.Z_FULL_FLUSH)
        compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
        tail = compressor.compress(BOMB_BLOCK[:rest]) + compressor.flush()
        # Magic, deflate, no flags, no time, best compression, unknown system.
        header = b"\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff"
        length = len(header) + whole * len(block) + len(tail) + 8
        if not self.start_ok(("Content-Type", "text/plain"), ("Content-Encoding", "gzip"),
                             ("Content-Length", str(length))):
            return
        self.wfile.write(header)
        crc = 0
        for _ in range(whole):
            if self.out_of_time():
                return self.cut_connection()
            self.wfile.write(block)
            crc = zlib.crc32(BOMB_BLOCK, crc)
        self.wfile.write(tail)
        crc = zlib.crc32(BOMB_BLOCK[:rest], crc)
        self.wfile.write(struct.pack("<II", crc, size & 0xFFFFFFFF))

    def send_endless(self, local):
        if not self.start_ok(("Content-Type", "application/octet-stream"), ("Connection", "close")):
            return
        size = os.path.getsize(local) if local else 0
        sent = 0

        def send(block):
            nonlocal sent
            if sent >= FAULT_BYTES or self.out_of_time():
                return False
            self.wfile.write(block)
            sent += len(block)
            return True

        if size >= 65536:
            while True:
                with open(local, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        if not send(block):
                            return self.cut_connection()
        # A small file goes out as one block of whole copies, so that each write is a large one;
        # an empty file would send nothing for ever, so it gets the "x" blocks too.
        block = b"x" * 65536
        if size:
            with open(local, "rb") as f:
                data = f.read()
            block = data * (65536 // len(data) + 1) if data else block
        while send(block):
            pass
        self.cut_connection()

    def send_stall(self, local, size):
        if not self.start_ok(("Content-Type", "application/octet-stream"), ("Content-Length", str(size))):
            return
        with open(local, "rb") as f:
            self.wfile.write(f.read(1000))
        self.wfile.flush()
        self.hold_until_client_leaves()
        self.cut_connection()

    def send_trickle(self, local, size, seconds):
        if not self.start_ok(("Content-Type", "application/octet-stream"), ("Content-Length", str(size))):
            return
        with open(local, "rb") as f:
            for index in range(size):
                if index:
                    time.sleep(seconds)
                if self.out_of_time():
                    return self.cut_connection()
                self.wfile.write(f.read(1))
                self.wfile.flush()

    def send_chunked(self, local, size, cut):
        if not self.start_ok(("Content-Type", "application/octet-stream"), ("Transfer-Encoding", "chunked")):
            return
        with open(local, "rb") as f:
            self.write_from(f, size // 2 if cut else size, 16384, chunked=True)
        if cut:
            self.wfile.flush()
            return self.cut_connection()
        self.wfile.write(b"0\r\n\r\n")

    def send_until_close(self, local, size, cut):
        if not self.start_ok(("Content-Type", "application/octet-stream"), ("Connection", "close")):
            return
        with open(local, "rb") as f:
            self.write_from(f, size // 2 if cut else size)
        self.wfile.flush()
        if cut:
            return self.cut_connection()
        self.close_cleanly()


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that goes away in the middle of an answer is an ordinary event here, not a fault.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError)):
            return
        super().handle_error(request, client_address)


def write_port_file(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file", help="gets the HTTPS port; PORT_FILE.http gets the plain HTTP port and "
                    "PORT_FILE.refused one where nothing listens")
    ap.add_argument("--log-file", help="append one line per request: method, path, user agent, https or http, the "
                    "headers named in the module's docstring and the status")
    args = ap.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    plain = Server(("127.0.0.1", 0), Handler)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    port, plain_port = server.server_address[1], plain.server_address[1]
    for listener, scheme in ((server, "https"), (plain, "http")):
        listener.root = os.path.realpath(args.root)
        listener.log_file = args.log_file
        listener.scheme = scheme
        listener.https_port = port
        listener.http_port = plain_port
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    # Bound, never listening: connections are refused, and the kernel gives the port to no one
    # else, not even as the source port of a connection (which could otherwise meet itself).
    refused = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    refused.bind(("127.0.0.1", 0))
    if args.port_file:
        # The other ports first: once the port file is there, all of them are.
        write_port_file(args.port_file + ".http", plain_port)
        write_port_file(args.port_file + ".refused", refused.getsockname()[1])
        write_port_file(args.port_file, port)
    print("serving https://127.0.0.1:%d/updater/ (plain http on port %d) from %s"
          % (port, plain_port, server.root), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
