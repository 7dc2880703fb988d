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
  stall_head     half of the status line and headers, then silence on an open connection
  stall_body     normal headers and a burst of MP3 (it opens and plays), then silence
  stall_meta     icy-metaint: 16000, four blocks of audio, then a metadata block cut short
                 (length byte and a few bytes of its text), then silence
  metaint_0      icy-metaint: 0 and plain audio
  metaint_1      icy-metaint: 1, a length byte after every audio byte (a title in the first)
  metaint_2g     icy-metaint: 2147483648 (2^31) and plain audio: the first block is 2 GiB away
  huge_headers   1 MiB of short header lines, then normal audio
  huge_line      one header line of 1 MiB, then normal audio
  redirect_loop  "302 Found" to /redirect_loop/N+1, for ever
  zeros_10g      HTTP/1.1, Content-Length 10 GiB of zeros (generated, never stored),
                 application/octet-stream
  rate_change    a few seconds of MP3 at 44.1 kHz stereo, then MP3 at 22.05 kHz mono
                 (--mp3b) under the same reply
  reset_head     half of the headers, then a reset
  reset_probe    headers and 4 KiB of MP3 (less than the decoder probes), then a reset
  hls_*          HLS streams that misbehave (path /MODE/live.m3u8, segments /MODE/segN.aac of
                 ADTS AAC): hls_normal (for comparison), hls_id3_flood (every segment an endless
                 run of 1 MiB ID3 tags), hls_id3_many (10,000 small tags before each segment's
                 audio), hls_id3_long (a 200 KB title), hls_lines (a media playlist of a
                 million lines), hls_variants (a master of 5,000 variants), hls_self (a master
                 naming itself), hls_nest (masters naming a new master, for ever), hls_grow (a
                 live playlist that keeps every segment and adds 2,000 per reload)
  then_aac       the first connection to this path: a burst of MP3, then closed; every later
                 one: AAC (ADTS) as audio/aac (a station whose reconnection brings another format)
  then_aac_mpeg  the same, the AAC labelled audio/mpeg
  then_mp3       the same the other way: AAC first, then MP3
  normal         a well-behaved ICY stream (for comparison)
  normal_aac     the same with AAC (ADTS) data, its icy-name written with outer blanks
  bare           a plain "HTTP/1.0 200 OK" audio/mpeg reply without any icy- header

  hostile_server.py --port PORT --mp3 FILE [--aac FILE] [--mp3b FILE] [--mode MODE]
                    [--ready FILE]

Each mode is one function taking (conn, ctx); MODES maps names to them, so adding a mode is
adding a function and a row. --ready names a file written once the socket listens. Stop the
server by its PID (SIGTERM).
"""
import argparse
import socket
import struct
import time

from stream_common import (BITRATE, BURST, hold_open, looped, metadata_block, read_file,
                           read_request, request_path, send_paced, serve_forever, with_metadata)


class Context:
    def __init__(self, args, mp3, aac, mp3b, path):
        self.args = args
        self.mp3 = mp3
        self.aac = aac
        self.mp3b = mp3b
        self.path = path
        self.counters = COUNTERS


def icy_head(extra=(), content_type="audio/mpeg", name="Hostile Radio", metaint=None):
    lines = ["ICY 200 OK", "icy-name:" + name, "icy-genre:Test", "icy-br:%d" % BITRATE,
             "content-type:" + content_type]
    if metaint is not None:
        lines.append("icy-metaint:%d" % metaint)
    lines.extend(extra)
    return ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8", "replace")


def reset(conn):
    # SO_LINGER with a zero time-out makes close() send RST instead of FIN.
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def trickle(conn, data):
    """Sends `data` at one byte a second."""
    for byte in data:
        conn.sendall(bytes([byte]))
        time.sleep(1)


def half_head(conn):
    head = icy_head()
    conn.sendall(head[: len(head) // 2])


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
    trickle(conn, ctx.mp3)


def mode_trickle_head(conn, ctx):
    trickle(conn, icy_head() + ctx.mp3)


def mode_burst_trickle(conn, ctx):
    conn.sendall(icy_head())
    burst = 36 * 1024
    conn.sendall(ctx.mp3[:burst])
    trickle(conn, ctx.mp3[burst:])


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


def after_burst(then):
    """Normal headers and a burst of MP3 (enough to open and play), then then(conn, ctx)."""
    def mode(conn, ctx):
        conn.sendall(icy_head())
        send_paced(conn, looped(ctx.mp3), limit=BURST)
        then(conn, ctx)
    return mode


def switch_to(option):
    """After the burst, the data of --`option` under the same reply."""
    def then(conn, ctx):
        data = getattr(ctx, option)
        if not data:
            raise OSError("this mode needs --" + option)
        send_paced(conn, looped(data))
    return after_burst(then)


def mode_meta_255(conn, ctx):
    conn.sendall(icy_head(metaint=8192))
    conn.sendall(ctx.mp3[:8192] + bytes([255]))
    hold_open(conn)


def mode_stall_head(conn, ctx):
    half_head(conn)
    hold_open(conn)


def mode_stall_meta(conn, ctx):
    metaint = BURST // 4
    conn.sendall(icy_head(metaint=metaint))
    for block in range(4):
        conn.sendall(ctx.mp3[block * metaint:(block + 1) * metaint])
        conn.sendall(metadata_block("StreamTitle='Block %d';" % block) if block == 0 else b"\0")
    conn.sendall(metadata_block("StreamTitle='Never finished';")[:12])
    hold_open(conn)


def metaint_mode(metaint):
    def mode(conn, ctx):
        conn.sendall(icy_head(metaint=metaint))
        pieces = looped(ctx.mp3)
        if 0 < metaint < len(ctx.mp3):
            pieces = with_metadata(pieces, metaint, "StreamTitle='Metaint %d';" % metaint)
        send_paced(conn, pieces)
    return mode


def mode_huge_headers(conn, ctx):
    extra = ["x-filler-%06d:%s" % (i, "f" * 44) for i in range(1 << 14)]  # 64 bytes a line
    conn.sendall(icy_head(extra=extra))
    send_paced(conn, looped(ctx.mp3))


def mode_huge_line(conn, ctx):
    conn.sendall(icy_head(extra=["x-filler:" + "f" * (1 << 20)]))
    send_paced(conn, looped(ctx.mp3))


def mode_redirect_loop(conn, ctx):
    parts = ctx.path.strip("/").split("/")
    n = int(parts[1]) + 1 if len(parts) > 1 and parts[1].isdigit() else 1
    conn.sendall(("HTTP/1.1 302 Found\r\nLocation: /redirect_loop/%d\r\n"
                  "Content-Length: 0\r\nConnection: close\r\n\r\n" % n).encode())


def mode_zeros_10g(conn, ctx):
    total = 10 << 30
    conn.sendall(("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                  "Content-Length: %d\r\n\r\n" % total).encode())
    zeros = bytes(65536)
    while total > 0:
        n = min(total, len(zeros))
        conn.sendall(zeros[:n])
        total -= n


def mode_reset_head(conn, ctx):
    half_head(conn)
    reset(conn)


def mode_reset_probe(conn, ctx):
    conn.sendall(icy_head() + ctx.mp3[:4096])
    time.sleep(0.2)  # the bytes arrive before the reset
    reset(conn)


def http_reply(conn, body, content_type):
    conn.sendall(("HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                  "Connection: close\r\n\r\n" % (content_type, len(body))).encode() + body)


def adts_segment(aac, n):
    """About two seconds of ADTS frames of `aac`, the n-th such run (wrapping around)."""
    frames, i = [], 0
    while i + 7 <= len(aac):
        length = ((aac[i + 3] & 0x03) << 11) | (aac[i + 4] << 3) | (aac[i + 5] >> 5)
        if length < 7:
            break
        frames.append(aac[i:i + length])
        i += length
    start = (n * 86) % max(1, len(frames) - 86)
    return b"".join(frames[start:start + 86])


def id3(frames):
    def syncsafe(n):
        return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
    body = b"".join(fid.encode() + syncsafe(len(data)) + b"\0\0" + data for fid, data in frames)
    return b"ID3\x04\x00\x00" + syncsafe(len(body)) + body


def media_playlist(first, count, name="seg"):
    lines = ["#EXTM3U", "#EXT-X-VERSION:3", "#EXT-X-TARGETDURATION:2",
             "#EXT-X-MEDIA-SEQUENCE:%d" % first]
    for n in range(first, first + count):
        lines += ["#EXTINF:2.0,", "%s%d.aac" % (name, n)]
    return ("\n".join(lines) + "\n").encode()


def live_sequence():
    return int(time.time() / 2)


def mode_hls(conn, ctx):
    mode, _, leaf = ctx.path.strip("/").partition("/")
    leaf = leaf.split("?", 1)[0]
    m3u8 = "application/vnd.apple.mpegurl"
    if leaf.endswith(".aac"):
        n = int("".join(c for c in leaf if c.isdigit()) or 0)
        audio = adts_segment(ctx.aac, n)
        if mode == "hls_id3_flood":
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: audio/aac\r\n\r\n")
            tag = id3([("TXXX", b"\x03x\0" + b"f" * (1 << 20))])
            while True:
                conn.sendall(tag)
        elif mode == "hls_id3_many":
            small = id3([("TIT2", b"\x03Many")])
            http_reply(conn, small * 10000 + audio, "audio/aac")
        elif mode == "hls_id3_long":
            http_reply(conn, id3([("TIT2", b"\x03" + b"a" * 200000)]) + audio, "audio/aac")
        else:
            http_reply(conn, audio, "audio/aac")
        return
    if mode == "hls_lines":
        body = media_playlist(0, 3) + b"#X\n" * 1000000
    elif mode == "hls_variants":
        if leaf.startswith("v"):
            body = media_playlist(live_sequence(), 5)
        else:
            body = ("#EXTM3U\n" + "".join(
                "#EXT-X-STREAM-INF:BANDWIDTH=%d,CODECS=\"mp4a.40.2\"\nv%d.m3u8\n" % (64000 + i, i)
                for i in range(5000))).encode()
    elif mode == "hls_self":
        body = b"#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000\nlive.m3u8\n"
    elif mode == "hls_nest":
        n = int("".join(c for c in leaf if c.isdigit()) or 0)
        body = ("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000\nlive%d.m3u8\n" % (n + 1)).encode()
    elif mode == "hls_grow":
        # Every segment since the start, 2,000 more on each reload.
        reloads = ctx.counters.setdefault("grow", [0])
        reloads[0] += 1
        body = media_playlist(0, 5 + 2000 * reloads[0])
    else:
        body = media_playlist(live_sequence(), 5)
    http_reply(conn, body, m3u8)
connections = {}  # path -> connections so far, for the then_* modes


def changes_on_reconnect(first, later, content_type):
    def mode(conn, ctx):
        count = connections.get(ctx.path, 0)
        connections[ctx.path] = count + 1
        if not ctx.aac:
            raise OSError("this mode needs --aac")
        data = getattr(ctx, first if count == 0 else later)
        conn.sendall(icy_head(content_type=content_type if count else
                              ("audio/aac" if first == "aac" else "audio/mpeg")))
        send_paced(conn, looped(data), limit=BURST if count == 0 else None)
    return mode


MODES = {
    "then_aac": changes_on_reconnect("mp3", "aac", "audio/aac"),
    "then_aac_mpeg": changes_on_reconnect("mp3", "aac", "audio/mpeg"),
    "then_mp3": changes_on_reconnect("aac", "mp3", "audio/mpeg"),
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
    "close_mid": after_burst(lambda conn, ctx: None),
    "reset": after_burst(lambda conn, ctx: reset(conn)),
    "codec_change": switch_to("aac"),
    "meta_255": mode_meta_255,
    "stall_head": mode_stall_head,
    "stall_body": after_burst(lambda conn, ctx: hold_open(conn)),
    "stall_meta": mode_stall_meta,
    "metaint_0": metaint_mode(0),
    "metaint_1": metaint_mode(1),
    "metaint_2g": metaint_mode(1 << 31),
    "huge_headers": mode_huge_headers,
    "huge_line": mode_huge_line,
    "redirect_loop": mode_redirect_loop,
    "zeros_10g": mode_zeros_10g,
    "rate_change": switch_to("mp3b"),
    "reset_head": mode_reset_head,
    "reset_probe": mode_reset_probe,
}
for _name in ("hls_normal", "hls_id3_flood", "hls_id3_many", "hls_id3_long", "hls_lines",
              "hls_variants", "hls_self", "hls_nest", "hls_grow"):
    MODES[_name] = mode_hls
COUNTERS = {}

# ---- server --------------------------------------------------------------------------------


def serve(conn, args, mp3, aac, mp3b):
    try:
        request = read_request(conn)
        if request is None:
            return
        path = request_path(request)
        segment = path.lstrip("/").split("/", 1)[0].split("?", 1)[0]
        mode = segment if segment in MODES else args.mode
        MODES[mode](conn, Context(args, mp3, aac, mp3b, path))
    except OSError:
        pass
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--mp3", required=True)
    p.add_argument("--aac")
    p.add_argument("--mp3b")
    p.add_argument("--mode", choices=sorted(MODES), default="normal")
    p.add_argument("--ready")
    args = p.parse_args()
    mp3 = read_file(args.mp3, "MP3 file")
    aac, mp3b = read_file(args.aac), read_file(args.mp3b)
    serve_forever(args.port, args.ready, lambda conn: serve(conn, args, mp3, aac, mp3b),
                  backlog=32)


if __name__ == "__main__":
    main()
