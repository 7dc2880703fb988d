#!/usr/bin/env python3
"""An ICY server for one listener at a time that sends an MP3 file with metadata blocks
"StreamTitle='TITLE';" placed exactly at chosen bytes of the audio (icy-metaint is their
greatest common divisor; the other blocks are empty), announced with its length (a file, which
the player does not reconnect to play again), then closes the connection after the last byte.

    tone_split_server.py MP3_FILE PORT_FILE BYTE:TITLE [BYTE:TITLE ...]

The chosen port is written to PORT_FILE once the server listens."""
import math
import socket
import sys


def meta_block(text):
    data = text.encode("utf-8")
    blocks = (len(data) + 15) // 16
    return bytes([blocks]) + data + b"\0" * (blocks * 16 - len(data))


def body(audio, metaint, titles):
    out = bytearray()
    for start in range(0, len(audio), metaint):
        chunk = audio[start:start + metaint]
        out += chunk
        if len(chunk) == metaint:
            end = start + metaint
            out += meta_block("StreamTitle='%s';" % titles[end]) if end in titles else b"\0"
    return bytes(out)


def main():
    audio = open(sys.argv[1], "rb").read()
    titles = {}
    for arg in sys.argv[3:]:
        at, title = arg.split(":", 1)
        titles[int(at)] = title
    metaint = 0
    for at in titles:
        metaint = math.gcd(metaint, at)
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", 0))
    srv.listen(4)
    payload = body(audio, metaint, titles)
    with open(sys.argv[2], "w") as f:
        f.write(str(srv.getsockname()[1]))
    while True:
        conn, _ = srv.accept()
        try:
            request = b""
            while b"\r\n\r\n" not in request:
                part = conn.recv(4096)
                if not part:
                    break
                request += part
            head = ("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Tone Split\r\n"
                    "icy-br: 128\r\nicy-metaint: %d\r\nContent-Length: %d\r\n\r\n"
                    % (metaint, len(payload)))
            conn.sendall(head.encode("ascii") + payload)
        except OSError:
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
