#!/usr/bin/env python3
"""A loopback relay that puts a distant line in front of a server: every byte reaches the other
side half a round trip later, and the server's bytes share one line of a given speed. It counts
the connections it accepts and writes the count to a file after each one.

Usage: latency_relay.py LISTEN_PORT UPSTREAM_PORT RTT_MS MBIT_PER_S COUNT_FILE
"""
import asyncio
import sys
import time

listen_port, upstream_port = int(sys.argv[1]), int(sys.argv[2])
one_way = float(sys.argv[3]) / 2000.0
rate = float(sys.argv[4]) * 1e6 / 8  # bytes per second of the server's line
count_file = sys.argv[5]
connections = 0
line_free_at = 0.0  # when the server's line has sent everything given to it so far


async def pump(reader, writer, limited):
    """Forwards what Reader gives to Writer, each piece after the one-way delay (and, for the
    server's side, after the line has had time to send it), in order."""
    global line_free_at
    queue = asyncio.Queue()

    async def deliver():
        while True:
            due, data = await queue.get()
            if data is None:
                break
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(data)
            await writer.drain()
        try:
            writer.write_eof()
        except OSError:
            pass

    task = asyncio.create_task(deliver())
    try:
        while True:
            data = await reader.read(16384)
            if not data:
                break
            now = time.monotonic()
            sent = now
            if limited:
                line_free_at = max(line_free_at, now) + len(data) / rate
                sent = line_free_at
            queue.put_nowait((sent + one_way, data))
    except (ConnectionError, OSError):
        pass
    queue.put_nowait((0, None))
    try:
        await task
    except (ConnectionError, OSError):
        pass


async def handle(client_reader, client_writer):
    global connections
    connections += 1
    with open(count_file, "w") as f:
        f.write(str(connections))
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", upstream_port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pump(client_reader, server_writer, False),
                         pump(server_reader, client_writer, True))
    for w in (client_writer, server_writer):
        try:
            w.close()
        except OSError:
            pass


async def main():
    with open(count_file, "w") as f:
        f.write("0")
    server = await asyncio.start_server(handle, "127.0.0.1", listen_port)
    async with server:
        await server.serve_forever()


asyncio.run(main())
