#!/usr/bin/env python3
"""An HTTP/ICY server that misbehaves on purpose, one way per mode, for robustness tests.

The mode comes from the first path segment of the request ("GET /zeros HTTP/1.1"); a path
that names no mode gets --mode. So one server process answers every mode:

  zeros          audio/mpeg reply whose body is endless zero bytes
  html           audio/mpeg reply whose body is an endless HTML page (a captive portal)
  trickle        normal ICY headers, then the MP3 data at one byte per second
  trickle_head   the status line and headers themselves at one byte per second
  burst_trickle  normal headers and a 36 KiB burst of MP3 (enough to open, too little to
                 buffer), then one byte per second
  title_flood    icy-metaint: 1 with a new title in every metadata block
  many_headers   about 260 KB of short icy- header lines, then normal audio
  huge_name      a 90 KB icy-name header, then normal audio
  close_mid      a few seconds of audio (burst), then the connection is closed
  reset          a few seconds of audio, then the connection is reset (RST)
  codec_change   a few seconds of MP3, then AAC (ADTS) data under the same reply
  meta_255       icy-metaint: 8192; after the first 8192 audio bytes a length byte of 255,
                 then nothing more while the connection stays open
  normal         a well-behaved ICY stream (for comparison)
  normal_aac     the same with AAC (ADTS) data, its icy-name written with outer blanks
  bare           a plain "HTTP/1.0 200 OK" audio/mpeg reply without any icy- header

  hostile_server.py --port PORT --mp3 FILE [--aac FILE] [--mode MODE] [--ready FILE]

Each mode is one function taking (conn, ctx); MODES maps names to them, so adding a mode is
adding a function and a row. --ready names a file written once the socket listens. Stop the
server by its PID (SIGTERM).
"""
import argparse
import os
import socket
import struct
import threading
import time

BITRATE = 128  # kbit/s of the test MP3; pacing only
RATE = BITRATE * 1000 // 8
BURST = 4 * RATE  # what a real server sends at once on connect


class Context:
    def __init__(self, args, mp3, aac, path):
        self.args = args
        self.mp3 = mp3
        self.aac = aac
        self.path = path


def icy_head(extra=(), content_type="audio/mpeg", name="Hostile Radio", metaint=None):
    lines = ["ICY 200 OK", "icy-name:" + name, "icy-genre:Test", "icy-br:%d" % BITRATE,
             "content-type:" + content_type]
    if metaint:
        lines.append("icy-metaint:%d" % metaint)
    lines.extend(extra)
    return ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8", "replace")


def metadata_block(text):
    data = text.encode("utf-8")[: 255 * 16]
    blocks = (len(data) + 15) // 16
    return bytes([blocks]) + data + b"\0" * (blocks * 16 - len(data))


def looped(data):
    """Endless 4 KiB pieces of `data`."""
    pos = 0
    while True:
        piece = data[pos:pos + 4096]
        if len(piece) < 4096:
            piece += data[: 4096 - len(piece)]
        pos = (pos + 4096) % len(data)
        yield piece


def send_paced(conn, pieces, limit=None):
    """Sends pieces after a burst at about the stream's bit rate; stops after `limit` bytes."""
    sent = 0
    start = time.monotonic()
    for piece in pieces:
        if limit is not None and sent + len(piece) > limit:
            piece = piece[: limit - sent]
        conn.sendall(piece)
        sent += len(piece)
        if limit is not None and sent >= limit:
            return sent
        ahead = (sent - BURST) / RATE - (time.monotonic() - start)
        if ahead > 0:
            time.sleep(ahead)
    return sent


def hold_open(conn):
    """Keeps the connection open, sending nothing, until the client goes away."""
    conn.settimeout(None)
    while conn.recv(4096):
        pass


# ---- modes ---------------------------------------------------------------------------------


def mode_normal(conn, ctx):
    conn.sendall(icy_head())
    send_paced(conn, looped(ctx.mp3))


def mode_bare(conn, ctx):
    conn.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n")
    send_paced(conn, looped(ctx.mp3))


def mode_normal_aac(conn, ctx):
    if not ctx.aac:
        raise OSError("normal_aac needs --aac")
    conn.sendall(icy_head(content_type="audio/aac", name=" Spaced AAC Radio "))
    send_paced(conn, looped(ctx.aac))


def mode_zeros(conn, ctx):
    conn.sendall(icy_head())
    zeros = bytes(65536)
    while True:  # as fast as the client takes it
        conn.sendall(zeros)


def mode_html(conn, ctx):
    conn.sendall(icy_head())
    conn.sendall(b"<!DOCTYPE html><html><head><title>Welcome to the hotel network</title>"
                 b"</head><body>\n")
    row = (b"<p>Please <a href=\"/login\">log in</a> to use the network. "
           b"&nbsp;Terms &amp; conditions apply.</p>\n") * 64
    while True:
        conn.sendall(row)


def mode_trickle(conn, ctx):
    conn.sendall(icy_head())
    for byte in ctx.mp3:
        conn.sendall(bytes([byte]))
        time.sleep(1)


def mode_trickle_head(conn, ctx):
    for byte in icy_head() + ctx.mp3:
        conn.sendall(bytes([byte]))
        time.sleep(1)


def mode_burst_trickle(conn, ctx):
    conn.sendall(icy_head())
    burst = 36 * 1024
    conn.sendall(ctx.mp3[:burst])
    for byte in ctx.mp3[burst:]:
        conn.sendall(bytes([byte]))
        time.sleep(1)


def mode_title_flood(conn, ctx):
    conn.sendall(icy_head(metaint=1))
    n = 0
    for piece in looped(ctx.mp3):
        out = bytearray()
        for byte in piece:
            n += 1
            out.append(byte)
            out += metadata_block("StreamTitle='Flood title %d';" % n)
        conn.sendall(out)


def mode_many_headers(conn, ctx):
    extra = ["icy-x%05d:%s" % (i, "v" * 20) for i in range(8000)]
    conn.sendall(icy_head(extra=extra))
    send_paced(conn, looped(ctx.mp3))


def mode_huge_name(conn, ctx):
    conn.sendall(icy_head(name="N" * (90 * 1024)))
    send_paced(conn, looped(ctx.mp3))


def mode_close_mid(conn, ctx):
    conn.sendall(icy_head())
    send_paced(conn, looped(ctx.mp3), limit=BURST)


def mode_reset(conn, ctx):
    conn.sendall(icy_head())
    send_paced(conn, looped(ctx.mp3), limit=BURST)
    # SO_LINGER with a zero time-out makes close() send RST instead of FIN.
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def mode_codec_change(conn, ctx):
    if not ctx.aac:
        raise OSError("codec_change needs --aac")
    conn.sendall(icy_head())
    send_paced(conn, looped(ctx.mp3), limit=BURST)
    send_paced(conn, looped(ctx.aac))


def mode_meta_255(conn, ctx):
    conn.sendall(icy_head(metaint=8192))
    conn.sendall(ctx.mp3[:8192] + bytes([255]))
    hold_open(conn)


MODES = {
    "normal": mode_normal,
    "bare": mode_bare,
    "normal_aac": mode_normal_aac,
    "zeros": mode_zeros,
    "html": mode_html,
    "trickle": mode_trickle,
    "trickle_head": mode_trickle_head,
    "burst_trickle": mode_burst_trickle,
    "title_flood": mode_title_flood,
    "many_headers": mode_many_headers,
    "huge_name": mode_huge_name,
    "close_mid": mode_close_mid,
    "reset": mode_reset,
    "codec_change": mode_codec_change,
    "meta_255": mode_meta_255,
}

# ---- server --------------------------------------------------------------------------------


def read_request(conn):
    conn.settimeout(10)
    request = b""
    while b"\r\n\r\n" not in request and len(request) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        request += chunk
    conn.settimeout(None)
    return request


def serve(conn, args, mp3, aac):
    try:
        request = read_request(conn)
        if request is None:
            return
        parts = request.split(b"\r\n", 1)[0].decode("latin-1").split()
        path = parts[1] if len(parts) > 1 else "/"
        segment = path.lstrip("/").split("/", 1)[0].split("?", 1)[0]
        mode = segment if segment in MODES else args.mode
        MODES[mode](conn, Context(args, mp3, aac, path))
    except OSError:
        pass
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--mp3", required=True)
    p.add_argument("--aac")
    p.add_argument("--mode", choices=sorted(MODES), default="normal")
    p.add_argument("--ready")
    args = p.parse_args()
    with open(args.mp3, "rb") as f:
        mp3 = f.read()
    if not mp3:
        raise SystemExit("empty MP3 file")
    aac = b""
    if args.aac:
        with open(args.aac, "rb") as f:
            aac = f.read()
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", args.port))
    server.listen(32)
    if args.ready:
        tmp = args.ready + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(os.getpid()))
        os.rename(tmp, args.ready)
    while True:
        conn, _ = server.accept()
        threading.Thread(target=serve, args=(conn, args, mp3, aac), daemon=True).start()


if __name__ == "__main__":
    main()
