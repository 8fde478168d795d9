#!/usr/bin/env python3
"""A far server on loopback: relays FTP between 127.0.0.2 and a server on 127.0.0.1, holding
every chunk back by a fixed delay in each direction (the kernel's netem is not available here).

  far_relay.py CONTROL-PORT DELAY-MS

Listens on 127.0.0.2:CONTROL-PORT. The server's passive replies are rewritten on their way:
"227 ... (127,0,0,1,p1,p2)" names 127.0.0.2 instead, and for that port, as for the port of a
"229 ... (|||p|)", a listener on 127.0.0.2 relays to the same port on 127.0.0.1 before the reply
reaches the client. Both clients of a benchmark therefore cross the relay for every byte, in
passive mode. FAR_RELAY_TRACE=1 writes every chunk's time, direction and start to stderr
(where the round trips of an action go). The order of chunks is kept; the delay is counted from each chunk's arrival, so a
stream's throughput is not capped, only its round trips lengthened. An end of stream is relayed
(after the data before it) as a half close, which FTP's data connections depend on.
"""
import asyncio
import os
import re
import sys
import time

FAR = "127.0.0.2"
NEAR = "127.0.0.1"
PASV = re.compile(rb"^227 .*\(127,0,0,1,(\d+),(\d+)\)", re.M)
EPSV = re.compile(rb"^229 .*\(\|\|\|(\d+)\|\)", re.M)


class Relay:
    def __init__(self, delay):
        self.delay = delay
        self.data_ports = set()
        self.trace = os.environ.get("FAR_RELAY_TRACE") == "1"

    async def pump(self, reader, writer, rewrite, label):
        """Copies reader to writer, each chunk no sooner than `delay` after it arrived."""
        loop = asyncio.get_running_loop()
        queue = asyncio.Queue()

        async def feed():
            while True:
                chunk = await reader.read(65536)
                if chunk and rewrite:
                    chunk = await rewrite(chunk)
                if self.trace:
                    print("%.3f %s %r" % (time.time() % 1000, label, chunk[:60]), file=sys.stderr, flush=True)
                queue.put_nowait((loop.time() + self.delay, chunk))
                if not chunk:
                    return

        feeder = asyncio.ensure_future(feed())
        try:
            while True:
                due, chunk = await queue.get()
                wait = due - loop.time()
                if wait > 0:
                    await asyncio.sleep(wait)
                if not chunk:
                    if writer.can_write_eof():
                        writer.write_eof()
                    break
                writer.write(chunk)
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            feeder.cancel()

    async def rewrite_control(self, chunk):
        m = PASV.search(chunk)
        if m:
            await self.open_data_port(int(m.group(1)) * 256 + int(m.group(2)))
            chunk = chunk.replace(b"(127,0,0,1,", b"(127,0,0,2,", 1)
        m = EPSV.search(chunk)
        if m:
            await self.open_data_port(int(m.group(1)))
        return chunk

    async def open_data_port(self, port):
        if port in self.data_ports:
            return
        self.data_ports.add(port)
        await asyncio.start_server(lambda r, w: self.connection(r, w, port, False), FAR, port)

    async def connection(self, client_reader, client_writer, port, control):
        try:
            server_reader, server_writer = await asyncio.open_connection(NEAR, port)
        except OSError:
            client_writer.close()
            return
        rewrite = self.rewrite_control if control else None
        side = "ctl" if control else "data"
        await asyncio.gather(self.pump(client_reader, server_writer, None, side + " >"),
                             self.pump(server_reader, client_writer, rewrite, side + " <"))
        for w in (client_writer, server_writer):
            w.close()


async def main():
    port, delay_ms = int(sys.argv[1]), float(sys.argv[2])
    relay = Relay(delay_ms / 1000.0)
    server = await asyncio.start_server(lambda r, w: relay.connection(r, w, port, True), FAR, port)
    print("ready", flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
