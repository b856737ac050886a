#!/usr/bin/env python3
"""A static file server for the resume benchmarks (B11, B12): it honours "Range: bytes=N-" with
If-Range, sends an ETag and Last-Modified, may close each connection after a set number of body
bytes, may hold its pace to a set rate, and writes the body bytes sent so far and the requests
answered into a counter file ("BYTES REQUESTS") after every write.

Usage: flaky_server.py ROOT PORT COUNTER [--drop-every BYTES] [--rate BYTES_PER_SECOND]
"""
import argparse
import email.utils
import http.server
import os
import threading
import time

CHUNK = 64 * 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("port", type=int)
    parser.add_argument("counter")
    parser.add_argument("--drop-every", type=int, default=0)
    parser.add_argument("--rate", type=int, default=0)
    args = parser.parse_args()
    lock = threading.Lock()
    sent = [0, 0]

    def count(n, requests=0):
        with lock:
            sent[0] += n
            sent[1] += requests
            with open(args.counter + ".tmp", "w") as f:
                f.write(f"{sent[0]} {sent[1]}")
            os.replace(args.counter + ".tmp", args.counter)

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def do_GET(self):
            path = os.path.join(args.root, self.path.lstrip("/").split("?")[0])
            if not os.path.isfile(path):
                self.send_error(404)
                return
            info = os.stat(path)
            size = info.st_size
            etag = f'"{info.st_mtime_ns:x}-{size:x}"'
            modified = email.utils.formatdate(info.st_mtime, usegmt=True)
            start = 0
            wanted = self.headers.get("Range", "")
            if_range = self.headers.get("If-Range")
            if wanted.startswith("bytes=") and wanted.endswith("-") and if_range in (None, etag, modified):
                start = int(wanted[6:-1])
                if start >= size:
                    self.send_response(416)
                    self.send_header("Content-Range", f"bytes */{size}")
                    self.send_header("Content-Length", "0")
                    self.end_headers()
                    return
            self.send_response(206 if start else 200)
            if start:
                self.send_header("Content-Range", f"bytes {start}-{size - 1}/{size}")
            self.send_header("Content-Length", str(size - start))
            self.send_header("ETag", etag)
            self.send_header("Last-Modified", modified)
            self.send_header("Content-Type", "application/octet-stream")
            self.end_headers()
            count(0, 1)
            budget = args.drop_every or size
            began = time.monotonic()
            done = 0
            with open(path, "rb") as f:
                f.seek(start)
                while budget > 0:
                    block = f.read(min(CHUNK, budget))
                    if not block:
                        break
                    try:
                        self.wfile.write(block)
                    except OSError:
                        self.close_connection = True
                        return
                    count(len(block))
                    budget -= len(block)
                    done += len(block)
                    if args.rate:
                        ahead = done / args.rate - (time.monotonic() - began)
                        if ahead > 0:
                            time.sleep(ahead)
            if start + done < size:
                # The scheduled drop: the connection goes with the body short.
                self.close_connection = True

    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()
