#!/usr/bin/env python3
"""A loopback TCP proxy that makes a server look far away: make bench's player far from the server.

  delay_proxy.py --target PORT [--port N] [--port-file F] [--delay-ms D] [--seconds S]
                 [--bind ADDR] [--target-host ADDR] [--no-handshake-delay] [--count-file C]
                 [--rate-mbit R]

Listens on ADDR:N (default 127.0.0.1, N 0 = any free port, written to F once it listens) and
forwards every connection to the target (default 127.0.0.1). The bytes of each direction are
delayed by D ms (default 25, so a 50 ms round trip): what is read at time t is written at t + D, in
order, while later reads go on, so the delay is latency and not a throughput cap (up to 64 MiB may
wait in each direction; only then does reading pause). TLS passes through untouched.

The TCP handshake with the proxy itself is local and instant, while a far server's costs a round
trip before the client may send: so a connection's first bytes reach the target no sooner than
3 x D after the accept (the handshake's round trip, then their own way), unless
--no-handshake-delay is given.

With --rate-mbit, the bytes to the client also pass one line of R Mbit/s (10^6 bits), shared by
all the proxy's connections as one player's line is: each slice of at most 16 KiB takes its turn
on it once its delay is over, and is written when its time on the line has passed. The client's
bytes to the server are not limited.

With --count-file, C holds "to_client N" and "to_server M", the bytes written each way so far,
rewritten whenever a connection ends: what a client received, TLS and all.

Only loopback addresses are taken, for both ends. The proxy exits after S seconds (default 600)
whatever happens; an alarm ends the process a few seconds later should the loop itself hang.
"""
import argparse
import asyncio
import collections
import ipaddress
import os
import signal
import socket
import sys

READ_BLOCK = 256 << 10
QUEUE_LIMIT = 64 << 20
# Bytes written each way, for --count-file.
COUNTS = {"to_client": 0, "to_server": 0}
# --rate-mbit: when the shared line to the client is next free, and the slice it carries at a time.
LINE = {"free": 0.0}
LINE_SLICE = 16 << 10
# A sleep ends late by up to a millisecond or so: a slice that finds the line free that recently
# starts where the one before ended, so the lateness does not add up, slice after slice, into a
# slower line.
LINE_SLACK = 0.005


def write_counts(path):
    if path:
        with open(path + ".new", "w") as f:
            f.write("".join("%s %d\n" % item for item in sorted(COUNTS.items())))
        os.replace(path + ".new", path)


def loopback(text):
    address = "127.0.0.1" if text == "localhost" else text
    try:
        if ipaddress.ip_address(address).is_loopback:
            return address
    except ValueError:
        pass
    raise argparse.ArgumentTypeError("not a loopback address: %s" % text)


def no_delay(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)


class Direction:
    """One direction of one connection: a queue of (due time, bytes), an empty block for the end."""

    def __init__(self, loop, delay, earliest, counted, rate=0.0):
        self.counted = counted
        self.rate = rate  # bytes a second on the shared line, 0 for none
        self.loop = loop
        self.delay = delay
        self.earliest = earliest
        self.queue = collections.deque()
        self.queued = 0
        self.arrived = asyncio.Event()
        self.room = asyncio.Event()
        self.room.set()

    async def read(self, reader):
        while True:
            try:
                data = await reader.read(READ_BLOCK)
            except (ConnectionError, OSError):
                data = b""
            self.queue.append((max(self.loop.time() + self.delay, self.earliest), data))
            self.queued += len(data)
            self.arrived.set()
            if not data:
                return
            if self.queued > QUEUE_LIMIT:
                self.room.clear()
                await self.room.wait()

    async def write(self, writer):
        while True:
            while not self.queue:
                self.arrived.clear()
                await self.arrived.wait()
            due, data = self.queue.popleft()
            wait = due - self.loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            if self.rate:
                await self.write_on_line(writer, data)
            else:
                writer.write(data)
                COUNTS[self.counted] += len(data)
                await writer.drain()
            self.queued -= len(data)
            if self.queued <= QUEUE_LIMIT:
                self.room.set()

    async def write_on_line(self, writer, data):
        for at in range(0, len(data), LINE_SLICE):
            piece = data[at:at + LINE_SLICE]
            # The slice's turn: after every slice already given the line, whatever its connection.
            LINE["free"] = max(self.loop.time() - LINE_SLACK, LINE["free"]) + len(piece) / self.rate
            wait = LINE["free"] - self.loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            writer.write(piece)
            COUNTS[self.counted] += len(piece)
            await writer.drain()


async def relay(client_reader, client_writer, args):
    loop = asyncio.get_running_loop()
    accepted = loop.time()
    delay = args.delay_ms / 1000.0
    peer = client_writer.get_extra_info("peername")
    if not peer or not ipaddress.ip_address(peer[0]).is_loopback:
        client_writer.close()
        return
    try:
        server_reader, server_writer = await asyncio.open_connection(args.target_host, args.target)
    except OSError:
        client_writer.close()
        return
    no_delay(client_writer)
    no_delay(server_writer)
    earliest = accepted + 3 * delay if args.handshake_delay else 0.0
    up = Direction(loop, delay, earliest, "to_server")
    down = Direction(loop, delay, 0.0, "to_client", args.rate_mbit * 1e6 / 8)
    tasks = [asyncio.ensure_future(t) for t in (up.read(client_reader), up.write(server_writer),
                                                down.read(server_reader), down.write(client_writer))]
    try:
        # Both writers done means both ends said they were finished; a failed write (a reset)
        # ends the connection at once.
        done, pending = await asyncio.wait(tasks[1::2], return_when=asyncio.FIRST_EXCEPTION)
    finally:
        for task in tasks:
            task.cancel()
        await asyncio.gather(*tasks, return_exceptions=True)
        for writer in (client_writer, server_writer):
            writer.close()
        write_counts(args.count_file)


async def serve(args):
    server = await asyncio.start_server(lambda r, w: relay(r, w, args), args.bind, args.port)
    write_counts(args.count_file)
    port = server.sockets[0].getsockname()[1]
    if args.port_file:
        with open(args.port_file + ".new", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".new", args.port_file)
    async with server:
        try:
            await asyncio.wait_for(server.serve_forever(), args.seconds)
        except asyncio.TimeoutError:
            pass


def main():
    parser = argparse.ArgumentParser(description="A loopback TCP proxy that delays every byte.")
    parser.add_argument("--target", type=int, required=True, help="the port to forward to")
    parser.add_argument("--target-host", type=loopback, default="127.0.0.1")
    parser.add_argument("--bind", type=loopback, default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0, help="0: any free port")
    parser.add_argument("--port-file", help="where the port goes once the proxy listens")
    parser.add_argument("--delay-ms", type=float, default=25.0, help="one-way delay (default 25)")
    parser.add_argument("--seconds", type=float, default=600.0, help="exits after this long (default 600)")
    parser.add_argument("--no-handshake-delay", dest="handshake_delay", action="store_false")
    parser.add_argument("--count-file", help="the bytes written each way, rewritten as connections end")
    parser.add_argument("--rate-mbit", type=float, default=0.0,
                        help="the line to the client, shared by every connection, in Mbit/s (default: none)")
    args = parser.parse_args()
    if args.delay_ms < 0 or args.seconds <= 0 or args.rate_mbit < 0:
        parser.error("--delay-ms and --rate-mbit must be at least 0 and --seconds more than 0")
    # The bound holds even if the loop hangs: SIGALRM's default action ends the process.
    signal.alarm(int(args.seconds) + 5)
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())
