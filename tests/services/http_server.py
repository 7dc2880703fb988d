#!/usr/bin/env python3
"""Small HTTP server for integration tests.

Serves the files of one folder on a free loopback port and prints "PORT <n>" on its first
line of output once it accepts connections. Stop it by its process id (SIGTERM or SIGKILL).

Special paths (checked before files):
  /hang[...]          accepts the request and never answers
  /big[...]           a PLS document longer than 32000 bytes whose File1 lies beyond that
  /nul[...]           a PLS document with a NUL byte after its File1 line
  /nul-first[...]     a reply whose first byte is NUL
  /redirect/<path>    302 to /<path>
  /headers[...]       the request line and headers, echoed as the body
  /slow/<path>        <path>, answered after one second
  /truncated/<path>   <path> announced with its full length, cut after half of it
  /as-hls/<path>      <path> (or <path>.m3u8) served as application/vnd.apple.mpegurl,
                      unless it is a segment (.ts, .aac, .mp3): an HLS playlist under an
                      address that does not end in .m3u8
Files are served as application/octet-stream, except the types of HLS streams: .m3u8
(application/vnd.apple.mpegurl), .ts (video/mp2t), .aac (audio/aac), .mp3 (audio/mpeg).
A file named "<path>?<query>" (the query as sent) answers that query before the file <path>.
Every request's headers are appended as one JSON line to the --log file when one is given.
With --status N every request is answered with status N and a short text body instead (an
overloaded server: 503); --status 0 accepts every request and never answers.
Paths never leave the served folder.
"""

import argparse
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote, urlsplit

BIG_PADDING = 40000
CONTENT_TYPES = {
    ".m3u8": "application/vnd.apple.mpegurl",
    ".ts": "video/mp2t",
    ".aac": "audio/aac",
    ".mp3": "audio/mpeg",
}


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "TestHTTP/1.0"

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass

    def handle(self):
        # A client that gives up early (a cancelled request) is no error of the server.
        try:
            super().handle()
        except (BrokenPipeError, ConnectionResetError):
            pass

    def _log_request(self):
        log_path = self.server.log_path
        if not log_path:
            return
        entry = {"path": self.path, "headers": {k: v for k, v in self.headers.items()}}
        with self.server.log_lock, open(log_path, "a", encoding="utf-8") as log:
            log.write(json.dumps(entry) + "\n")

    def _send(self, body, content_type="text/plain", status=200, headers=None):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):  # noqa: N802 (name fixed by the base class)
        self._log_request()
        path = unquote(urlsplit(self.path).path)
        name = path.lstrip("/")
        forced = self.server.forced_status
        if forced > 0:
            self._send(b"status %d" % forced, status=forced)
            return
        if name.startswith("hang") or forced == 0:
            # Hold the connection open without a reply until the client goes away or the
            # server is stopped.
            deadline = time.monotonic() + 120
            while time.monotonic() < deadline:
                time.sleep(0.2)
            return
        if name.startswith("big"):
            padding = b"".join(b"; padding line %05d\n" % i for i in range(BIG_PADDING // 20 + 1))
            body = b"[playlist]\n" + padding + b"File1=http://late.example/stream\n"
            self._send(body)
            return
        if name.startswith("nul-first"):
            self._send(b"\0[playlist]\nFile1=http://hidden.example/\n")
            return
        if name.startswith("nul"):
            self._send(b"[playlist]\nFile1=http://before.example/nul\n\0File2=http://after/\n")
            return
        if name.startswith("redirect/"):
            self.send_response(302)
            self.send_header("Location", "/" + name[len("redirect/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if name.startswith("slow/"):
            time.sleep(1.0)
            name = name[len("slow/"):]
        if name.startswith("truncated/"):
            body = self._file_bytes(name[len("truncated/"):], urlsplit(self.path).query)
            if body is None:
                self._send(b"not found", status=404)
                return
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        if name.startswith("headers"):
            lines = [self.requestline] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
            self._send(("\r\n".join(lines) + "\r\n").encode("utf-8", "replace"))
            return
        content_type = None
        if name.startswith("as-hls/"):
            name = name[len("as-hls/"):]
            if self._file_bytes(name) is None and self._file_bytes(name + ".m3u8") is not None:
                name += ".m3u8"
            ext = os.path.splitext(name)[1].lower()
            if ext not in CONTENT_TYPES or ext == ".m3u8":
                content_type = "application/vnd.apple.mpegurl"
        self._serve_file(name, content_type)

    def _file_bytes(self, name, query=""):
        root = self.server.root
        for candidate in ([name + "?" + query] if query else []) + [name]:
            full = os.path.realpath(os.path.join(root, candidate))
            if os.path.commonpath([root, full]) == root and os.path.isfile(full):
                with open(full, "rb") as f:
                    return f.read()
        return None

    def _serve_file(self, name, content_type=None):
        body = self._file_bytes(name, urlsplit(self.path).query)
        if body is None:
            self._send(b"not found", status=404)
            return
        if content_type is None:
            content_type = CONTENT_TYPES.get(os.path.splitext(name)[1].lower(),
                                             "application/octet-stream")
        self._send(body, content_type=content_type)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True, help="folder to serve")
    parser.add_argument("--log", default="", help="file that receives one JSON line per request")
    parser.add_argument("--status", type=int, default=-1,
                        help="answer every request with this status (0: never answer)")
    args = parser.parse_args()

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.root = os.path.realpath(args.root)
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.forced_status = args.status
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
