#!/usr/bin/env python3
"""A slow link on loopback: a TCP relay that adds a fixed delay each way and caps the bandwidth.

    bench/enlace.py LISTEN_PORT TARGET_PORT [--rtt-ms 30] [--mbit 20] [--segundos 600]

Listens on 127.0.0.1:LISTEN_PORT and relays every connection to 127.0.0.1:TARGET_PORT, so a
client pointed at LISTEN_PORT sees the server as from a branch office: each byte leaves half the
round trip (RTT/2) after the link has finished sending the bytes before it, and the link sends
at most MBIT megabits per second in each direction (a queue, as a router's, not a token bucket:
a burst waits its turn). --mbit 0 means no cap. It stops by itself after SEGUNDOS seconds
(and on the first SIGTERM/SIGINT), closing every relayed connection; whatever they are doing,
it is gone within a few seconds.

Once it listens it prints "enlace LISTEN_PORT -> TARGET_PORT" on standard output. On exit it
prints one line per direction with the bytes carried and the number of bursts (reads that
found the link idle), a rough count of round trips.

The kernel here has no netem; this stands in for it. It needs only Python 3 (no packages).
Example, a 30 ms / 20 Mbit/s link in front of a server on 23399, for ten minutes at most:

    bench/enlace.py 23499 23399 --rtt-ms 30 --mbit 20 --segundos 600 &
    MYSQL_TCP_PORT=23499 ...client...
"""

import argparse
import asyncio
import os
import signal
import sys
import time

TROZO = 16384  # bytes read at a time: finer pieces keep the cap smooth
ESPERA_CIERRE = 2.0  # seconds given to the relayed connections to close when it stops


class Sentido:
    """One direction of the link, shared by every connection in that direction (one wire)."""

    def __init__(self, nombre, retardo, bytes_por_segundo):
        self.nombre = nombre
        self.retardo = retardo
        self.bps = bytes_por_segundo
        self.libre = 0.0  # when the wire has sent everything queued so far
        self.bytes = 0
        self.rafagas = 0

    def salida(self, ahora, n):
        """When n bytes read now reach the far end."""
        if self.libre <= ahora:
            self.rafagas += 1
            inicio = ahora
        else:
            inicio = self.libre
        self.libre = inicio + (n / self.bps if self.bps else 0.0)
        self.bytes += n
        return self.libre + self.retardo


async def bombear(lector, escritor, sentido, limite):
    # Bounded queue: a fast sender is held back once about `limite` bytes are in flight, as a
    # real link's window would, instead of the relay buffering a whole transfer.
    cola = asyncio.Queue(maxsize=max(4, limite // TROZO))

    # Neither half swallows a cancellation: a relay being stopped must end at once, whatever
    # it was waiting for (a full queue, a peer that no longer reads).
    async def leer():
        try:
            while True:
                datos = await lector.read(TROZO)
                if not datos:
                    break
                await cola.put((sentido.salida(time.monotonic(), len(datos)), datos))
        except ConnectionError:
            pass
        await cola.put((None, b""))

    async def escribir():
        try:
            while True:
                cuando, datos = await cola.get()
                if cuando is None:
                    break
                espera = cuando - time.monotonic()
                if espera > 0:
                    await asyncio.sleep(espera)
                escritor.write(datos)
                await escritor.drain()
            if escritor.can_write_eof():
                escritor.write_eof()
        except ConnectionError:
            pass

    lectura = asyncio.ensure_future(leer())
    try:
        await escribir()
    finally:
        # Done or failed, nothing read from now on can be delivered: the reader stops too,
        # rather than wait forever on a queue nobody empties.
        lectura.cancel()
        await asyncio.gather(lectura, return_exceptions=True)


async def principal(args):
    retardo = args.rtt_ms / 2000.0
    bps = args.mbit * 1e6 / 8
    ida = Sentido("cliente->servidor", retardo, bps)
    vuelta = Sentido("servidor->cliente", retardo, bps)
    # In flight per direction: the bandwidth-delay product, and never less than 1 MB.
    limite = max(1 << 20, int(bps * retardo * 2))
    tareas = set()

    async def atender(cliente_r, cliente_w):
        try:
            servidor_r, servidor_w = await asyncio.open_connection("127.0.0.1", args.destino)
        except OSError:
            cliente_w.close()
            return
        tarea = asyncio.current_task()
        tareas.add(tarea)
        try:
            await asyncio.gather(bombear(cliente_r, servidor_w, ida, limite),
                                 bombear(servidor_r, cliente_w, vuelta, limite))
        except asyncio.CancelledError:
            pass  # the link's time is up
        finally:
            tareas.discard(tarea)
            for w in (cliente_w, servidor_w):
                w.close()

    servidor = await asyncio.start_server(atender, "127.0.0.1", args.escucha, reuse_address=True)
    fin = asyncio.get_running_loop().create_future()
    for s in (signal.SIGTERM, signal.SIGINT):
        asyncio.get_running_loop().add_signal_handler(s, lambda: fin.done() or fin.set_result(0))
    asyncio.get_running_loop().call_later(args.segundos, lambda: fin.done() or fin.set_result(0))
    print(f"enlace {args.escucha} -> {args.destino}", flush=True)
    await fin
    servidor.close()
    for t in list(tareas):
        t.cancel()
    if tareas:
        await asyncio.wait(list(tareas), timeout=ESPERA_CIERRE)
    for s in (ida, vuelta):
        print(f"{s.nombre}: {s.bytes} bytes, {s.rafagas} bursts", flush=True)
    # Connections that did not close in that time are not waited for: the relay's time is up.
    os._exit(0)


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("escucha", type=int, help="port to listen on (127.0.0.1)")
    p.add_argument("destino", type=int, help="port to relay to (127.0.0.1)")
    p.add_argument("--rtt-ms", type=float, default=30.0, help="added round trip, ms (default 30)")
    p.add_argument("--mbit", type=float, default=20.0, help="cap per direction, Mbit/s; 0: none")
    p.add_argument("--segundos", type=float, default=600.0, help="stop after this many seconds")
    args = p.parse_args()
    # The last word on the time limit, whatever the event loop is doing: the default action of
    # SIGALRM ends the process.
    signal.alarm(int(args.segundos + ESPERA_CIERRE) + 2)
    try:
        asyncio.run(principal(args))
    except OSError as e:
        print(f"enlace: {e}", file=sys.stderr)
        sys.stdout.flush()
        os._exit(1)


if __name__ == "__main__":
    main()
