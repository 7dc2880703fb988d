#!/usr/bin/env python3
"""A live HLS stream of packed AAC segments, each opening with an ID3 tag.

Runs ffmpeg (a sine tone, AAC in ADTS frames, paced in real time), cuts its output into
segments of about two seconds and writes them to FOLDER as segN.aac, each preceded by an ID3v2.4
tag with the transport-stream timestamp (PRIV), a title (TIT2) and an artist (TPE1), the way
packed-audio HLS stations send their titles. FOLDER/live.m3u8 is the live playlist of the last
five segments; older segments are deleted. The title is "Song K" with K = N // 3 for segment N,
the artist "ID3 Artist".

    hls_id3.py FOLDER [FREQUENCY]

Runs until it is stopped (SIGTERM ends ffmpeg too).
"""

import os
import signal
import struct
import subprocess
import sys

SAMPLE_RATE = 44100
FRAMES_PER_SEGMENT = 86  # 1024 samples each: about two seconds
LIST_SIZE = 5


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3_frame(frame_id, data):
    return frame_id.encode("ascii") + syncsafe(len(data)) + b"\0\0" + data


def id3_tag(title, artist, timestamp_90k):
    body = id3_frame("PRIV", b"com.apple.streaming.transportStreamTimestamp\0"
                     + struct.pack(">Q", timestamp_90k & ((1 << 33) - 1)))
    body += id3_frame("TIT2", b"\x03" + title.encode("utf-8"))
    body += id3_frame("TPE1", b"\x03" + artist.encode("utf-8"))
    return b"ID3\x04\x00\x00" + syncsafe(len(body)) + body


def read_exact(stream, n):
    data = b""
    while len(data) < n:
        chunk = stream.read(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def read_adts_frame(stream):
    header = read_exact(stream, 7)
    if header is None:
        return None
    if header[0] != 0xFF or (header[1] & 0xF0) != 0xF0:
        raise ValueError("lost ADTS sync")
    length = ((header[3] & 0x03) << 11) | (header[4] << 3) | (header[5] >> 5)
    rest = read_exact(stream, length - 7)
    return None if rest is None else header + rest


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    folder = sys.argv[1]
    frequency = sys.argv[2] if len(sys.argv) == 3 else "440"
    os.makedirs(folder, exist_ok=True)
    ffmpeg = subprocess.Popen(
        ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-re", "-f", "lavfi",
         "-i", "sine=frequency=%s:sample_rate=%d" % (frequency, SAMPLE_RATE), "-ac", "2",
         "-c:a", "aac", "-b:a", "96k", "-f", "adts", "-"],
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)

    def stop(*_):
        ffmpeg.terminate()
        sys.exit(0)

    signal.signal(signal.SIGTERM, stop)
    segments = []
    sequence = 0
    samples = 0
    while True:
        frames = []
        for _ in range(FRAMES_PER_SEGMENT):
            frame = read_adts_frame(ffmpeg.stdout)
            if frame is None:
                return 1
            frames.append(frame)
        tag = id3_tag("Song %d" % (sequence // 3), "ID3 Artist",
                      samples * 90000 // SAMPLE_RATE)
        name = "seg%d.aac" % sequence
        write_atomically(os.path.join(folder, name), tag + b"".join(frames))
        samples += 1024 * len(frames)
        segments.append(name)
        while len(segments) > LIST_SIZE:
            old = segments.pop(0)
            try:
                os.remove(os.path.join(folder, old))
            except OSError:
                pass
        first = sequence - len(segments) + 1
        lines = ["#EXTM3U", "#EXT-X-VERSION:3", "#EXT-X-TARGETDURATION:2",
                 "#EXT-X-MEDIA-SEQUENCE:%d" % first]
        for seg in segments:
            lines += ["#EXTINF:%.3f," % (1024.0 * FRAMES_PER_SEGMENT / SAMPLE_RATE), seg]
        write_atomically(os.path.join(folder, "live.m3u8"), ("\n".join(lines) + "\n").encode())
        sequence += 1


if __name__ == "__main__":
    sys.exit(main())
