#!/usr/bin/env python3
"""A relay for reconnection tests: passes each request on to an upstream server and its
answer back, and cuts connections when told to.

  relay.py --port PORT --upstream HOST:PORT [--ready FILE]

Signals:
  SIGUSR1  cut every connection that is open now (as a server restart or a proxy time-out
           does); later requests are relayed again
  SIGUSR2  refuse from now on: every later request is answered "HTTP/1.0 404 Not Found"

Each request line is printed on standard output as it arrives ("GET /live.mp3" or
"REFUSED /live.mp3"). --ready names a file written once the socket listens. Stop the relay
by its PID.
"""
import argparse
import signal
import socket
import sys
import threading

from stream_common import read_request, request_path, serve_forever

lock = threading.Lock()
open_sockets = set()
refusing = False


def pipe(source, sink):
    try:
        while True:
            data = source.recv(16384)
            if not data:
                break
            sink.sendall(data)
    except OSError:
        pass
    for s in (source, sink):
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def serve(client, upstream):
    try:
        request = read_request(client)
        if request is None:
            return
        path = request_path(request, "?")
        if refusing:
            print("REFUSED " + path, flush=True)
            client.sendall(b"HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\n"
                           b"Content-Length: 10\r\n\r\nNot Found\n")
            return
        print("GET " + path, flush=True)
        host, port = upstream.rsplit(":", 1)
        server = socket.create_connection((host, int(port)), timeout=10)
        server.settimeout(None)
        with lock:
            open_sockets.update((client, server))
        server.sendall(request)
        back = threading.Thread(target=pipe, args=(server, client), daemon=True)
        back.start()
        pipe(client, server)
        back.join()
        with lock:
            open_sockets.discard(server)
        server.close()
    except OSError:
        pass
    finally:
        with lock:
            open_sockets.discard(client)
        client.close()


def cut(*_):
    with lock:
        doomed = list(open_sockets)
    for s in doomed:
        try:
            s.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def refuse(*_):
    global refusing
    refusing = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--upstream", required=True)
    parser.add_argument("--ready")
    args = parser.parse_args()

    signal.signal(signal.SIGUSR1, cut)
    signal.signal(signal.SIGUSR2, refuse)
    # Signal handlers run on the listening thread between its steps: it must not block for long
    # (the kernel may hand the signal to another thread, which does not wake this one).
    serve_forever(args.port, args.ready, lambda client: serve(client, args.upstream), poll=0.1)


if __name__ == "__main__":
    try:
        main()
    except KeyboardInterrupt:
        sys.exit(0)
