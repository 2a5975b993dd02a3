#!/usr/bin/env python3
"""Local HTTPS update server for the tests and the demo.

Serves a folder under /updater/ over TLS on 127.0.0.1. Faults for the tests:
  - a request path /_fault/<kind>/<rest> serves /<rest> with that fault;
  - a sidecar file <file>.fault beside a served file holds the fault's kind.
Kinds: 404 (HTML error page), 500, cut (Content-Length of the whole file, half of it sent,
then the connection closed), slow (the body in 16 KiB pieces, 20 ms apart), empty200 (an empty
200 answer).

  update_server.py --root DIR --cert CRT --key KEY [--port N] [--port-file F] [--log-file F]
"""
import argparse
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VardenhalTestServer/1"

    def log_message(self, fmt, *args):
        pass

    def send_body(self, status, body, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        if self.server.log_file:
            with open(self.server.log_file, "a") as f:
                f.write("%s %s %s\n" % (self.command, self.path, self.headers.get("User-Agent", "-")))
        path = urllib.parse.unquote(self.path.split("?", 1)[0])
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
        if fault == "404":
            return self.send_body(404, ERROR_PAGE, "text/html")
        if fault == "500":
            return self.send_body(500, b"<html><body>Internal Server Error</body></html>\n", "text/html")
        if fault == "empty200":
            return self.send_body(200, b"")
        if not os.path.isfile(local):
            return self.send_body(404, ERROR_PAGE, "text/html")
        size = os.path.getsize(local)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        if fault == "cut":
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        with open(local, "rb") as f:
            if fault == "cut":
                self.wfile.write(f.read(size // 2))
                self.wfile.flush()
                self.close_connection = True
                try:
                    self.connection.shutdown(2)
                except OSError:
                    pass
                return
            while True:
                block = f.read(16384 if fault == "slow" else 1 << 20)
                if not block:
                    break
                self.wfile.write(block)
                if fault == "slow":
                    self.wfile.flush()
                    time.sleep(0.02)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file")
    ap.add_argument("--log-file", help="append one line per request: method, path, user agent")
    args = ap.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    server.root = os.path.realpath(args.root)
    server.log_file = args.log_file
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(args.cert, args.key)
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("serving https://127.0.0.1:%d/updater/ from %s" % (port, server.root), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
