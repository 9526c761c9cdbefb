#!/usr/bin/env python3
"""A loopback relay that holds every chunk for a delay in each direction, like a distant host.

Usage: relay.py <port> <unix socket> <delay ms>
Listens on 127.0.0.1:<port> (0 picks one), forwards each connection to the Unix socket, prints
"port N" once listening and, when its standard input closes, the connections and round trips
(turns from the server's answer back to the client) it carried.
"""
import asyncio
import sys

connections = 0
round_trips = 0


async def forward(reader, writer, delay, from_client, turn):
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def pump():
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                return

    async def deliver():
        global round_trips
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - loop.time()))
            if not data:
                writer.close()
                return
            if from_client and turn[0] != 'client':
                round_trips += 1
            turn[0] = 'client' if from_client else 'server'
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(pump(), deliver())
    except (ConnectionError, OSError):
        writer.close()


async def serve(client_reader, client_writer, path, delay):
    global connections
    connections += 1
    server_reader, server_writer = await asyncio.open_unix_connection(path)
    turn = [None]
    await asyncio.gather(forward(client_reader, server_writer, delay, True, turn),
                         forward(server_reader, client_writer, delay, False, turn))


async def main():
    port, path, delay = int(sys.argv[1]), sys.argv[2], int(sys.argv[3]) / 1000.0
    server = await asyncio.start_server(lambda r, w: serve(r, w, path, delay), '127.0.0.1', port)
    print(f'port {server.sockets[0].getsockname()[1]}', flush=True)
    loop = asyncio.get_running_loop()
    await loop.run_in_executor(None, sys.stdin.read)
    print(f'connections {connections} round trips {round_trips}', flush=True)


asyncio.run(main())
