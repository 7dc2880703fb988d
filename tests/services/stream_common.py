"""What the raw-socket test servers share (shoutcast_v1.py, hostile_server.py, relay.py):
reading a request's head, ICY metadata blocks, looped audio sent at its bit rate after a
burst, the listening loop and its --ready file."""
import os
import socket
import threading
import time

BITRATE = 128  # kbit/s of the test MP3s; pacing only
RATE = BITRATE * 1000 // 8
BURST = 4 * RATE  # what a real server sends at once on connect


def read_request(conn):
    """The request up to its blank line (at most 64 KiB), or None when the client went away."""
    conn.settimeout(10)
    request = b""
    while b"\r\n\r\n" not in request and len(request) < 65536:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        request += chunk
    conn.settimeout(None)
    return request


def request_path(request, default="/"):
    parts = request.split(b"\r\n", 1)[0].decode("latin-1").split()
    return parts[1] if len(parts) > 1 else default


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


def send_paced(conn, pieces, limit=None, rate=RATE):
    """Sends pieces after a burst at about `rate` bytes a second; stops after `limit` bytes."""
    sent = 0
    start = time.monotonic()
    for piece in pieces:
        if limit is not None and sent + len(piece) > limit:
            piece = piece[: limit - sent]
        conn.sendall(piece)
        sent += len(piece)
        if limit is not None and sent >= limit:
            return sent
        ahead = (sent - 4 * rate) / rate - (time.monotonic() - start)
        if ahead > 0:
            time.sleep(ahead)
    return sent


def with_metadata(pieces, metaint, first_text):
    """Audio pieces cut into blocks of `metaint` bytes, each followed by a metadata block:
    the first carries `first_text` ("StreamTitle='...';"), the others are empty."""
    title = metadata_block(first_text)
    left = metaint
    for piece in pieces:
        out = bytearray()
        while piece:
            n = min(left, len(piece))
            out += piece[:n]
            piece = piece[n:]
            left -= n
            if left == 0:
                out += title
                title = b"\0"
                left = metaint
        yield bytes(out)


def hold_open(conn):
    """Keeps the connection open, sending nothing, until the client goes away."""
    conn.settimeout(None)
    while conn.recv(4096):
        pass


def read_file(path, required=None):
    """The bytes of `path` (b"" for no path); an empty `required` file ends the server."""
    if not path:
        return b""
    with open(path, "rb") as f:
        data = f.read()
    if required and not data:
        raise SystemExit("empty " + required)
    return data


def serve_forever(port, ready, handle, backlog=16, poll=None):
    """Listens on loopback `port`, writes our PID to `ready` (if given) once listening, and
    runs handle(conn) on a thread per connection. `poll`: the accept time-out in seconds, so
    that signal handlers run promptly on this thread."""
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", port))
    server.listen(backlog)
    if ready:
        tmp = ready + ".tmp"
        with open(tmp, "w") as f:
            f.write(str(os.getpid()))
        os.rename(tmp, ready)
    server.settimeout(poll)
    while True:
        try:
            conn, _ = server.accept()
        except socket.timeout:
            continue
        conn.settimeout(None)
        threading.Thread(target=handle, args=(conn,), daemon=True).start()
