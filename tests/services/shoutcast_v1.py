#!/usr/bin/env python3
"""A SHOUTcast v1 style server for tests.

It answers every request with the status line "ICY 200 OK" (not HTTP), icy-name, icy-genre,
icy-br and icy-metaint headers, then loops an MP3 file at roughly its bit rate with a
metadata block every --metaint bytes (the first carries --title, later ones are empty).

Modes:
  normal  as above
  silent  accept the connection, read the request, never answer (tests stop and time-outs)
  redirect  answer "HTTP/1.0 302 Found" with Location: --location
  stall   answer and send a burst of about 4 s of audio, then nothing while keeping the
          connection open (tests stall time-outs and stopping a stream that hangs)

  shoutcast_v1.py --port PORT --mp3 FILE [--mode normal|silent|stall] [--title T]
                  [--content-type TYPE] [--ready FILE]

--mp3 names the audio data to loop (normally MP3; another format with the default
--content-type audio/mpeg makes a mislabelled station).

--ready names a file written once the socket listens. Stop the server by its PID.
"""
import argparse

from stream_common import (hold_open, looped, read_file, read_request, send_paced,
                           serve_forever, with_metadata)


def serve(conn, args, audio):
    try:
        request = read_request(conn)
        if request is None:
            return
        conn.settimeout(10)  # a client that stops reading for that long is dropped
        if args.mode == "silent":
            hold_open(conn)
            return
        if args.mode == "redirect":
            conn.sendall(("HTTP/1.0 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n\r\n"
                          % args.location).encode("utf-8"))
            return
        wants_meta = b"icy-metadata: 1" in request.lower()
        head = ["ICY 200 OK", "icy-notice1:<BR>This stream requires Winamp<BR>",
                "icy-name:" + args.name, "icy-genre:Test Tones", "icy-pub:0",
                "icy-br:" + str(args.bitrate), "content-type:" + args.content_type]
        if wants_meta:
            head.append("icy-metaint:%d" % args.metaint)
        conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode("utf-8"))
        rate = args.bitrate * 1000 // 8
        pieces = looped(audio)
        if wants_meta:
            pieces = with_metadata(pieces, args.metaint,
                                   "StreamTitle='%s';StreamUrl='';" % args.title)
        if args.mode == "stall":
            send_paced(conn, pieces, limit=4 * rate, rate=rate)
            hold_open(conn)
        else:
            send_paced(conn, pieces, rate=rate)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--mp3", required=True)
    p.add_argument("--mode", choices=["normal", "silent", "stall", "redirect"], default="normal")
    p.add_argument("--title", default='Artist - Song "Quoted" O\'Neil')
    p.add_argument("--name", default="V1 Radio")
    p.add_argument("--bitrate", type=int, default=128)
    p.add_argument("--metaint", type=int, default=8192)
    p.add_argument("--content-type", default="audio/mpeg")
    p.add_argument("--location", default="")
    p.add_argument("--ready")
    args = p.parse_args()
    audio = read_file(args.mp3, "MP3 file")
    serve_forever(args.port, args.ready, lambda conn: serve(conn, args, audio))


if __name__ == "__main__":
    main()
