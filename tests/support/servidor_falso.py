#!/usr/bin/env python3
"""A fake MySQL server on 127.0.0.1, for what a hostile or broken server does to the clients.

    servidor_falso.py claro PORT FILE   offers no TLS and answers every login by switching to the
                                        clear-text authentication plugin; every byte any client
                                        sends is appended to FILE
    servidor_falso.py mudo PORT         accepts every login, then never answers again

It prints "LISTO" once it listens, and serves until it is killed.
"""
import os
import socket
import struct
import sys
import threading

# Protocol 4.1 with plugin authentication, no TLS, no compression.
CAPACIDADES = (0x1 | 0x4 | 0x8 | 0x200 | 0x2000 | 0x8000 | 0x10000 | 0x20000 | 0x80000
               | 0x200000)


def paquete(secuencia, datos):
    return struct.pack('<I', len(datos))[:3] + bytes([secuencia & 0xFF]) + datos


def saludo():
    semilla = b'abcdefghijklmnopqrst'
    return (b'\x0a' + b'5.5.5-10.11.0-falso\x00' + struct.pack('<I', 7) + semilla[:8] + b'\x00'
            + struct.pack('<H', CAPACIDADES & 0xFFFF) + b'\x21' + struct.pack('<H', 2)
            + struct.pack('<H', CAPACIDADES >> 16) + bytes([len(semilla) + 1]) + b'\x00' * 10
            + semilla[8:] + b'\x00' + b'mysql_native_password\x00')


def leer(conexion, registro):
    cabecera = b''
    while len(cabecera) < 4:
        parte = conexion.recv(4 - len(cabecera))
        if not parte:
            return None
        cabecera += parte
    largo = cabecera[0] | cabecera[1] << 8 | cabecera[2] << 16
    datos = b''
    while len(datos) < largo:
        parte = conexion.recv(largo - len(datos))
        if not parte:
            return None
        datos += parte
    if registro:
        with open(registro, 'ab') as f:
            f.write(cabecera + datos)
    return cabecera[3], datos


def atender(conexion, modo, registro):
    with conexion:
        conexion.settimeout(30)
        try:
            conexion.sendall(paquete(0, saludo()))
            respuesta = leer(conexion, registro)
            if respuesta is None:
                return
            secuencia = respuesta[0] + 1
            if modo == 'claro':
                conexion.sendall(paquete(secuencia, b'\xfemysql_clear_password\x00'))
                respuesta = leer(conexion, registro)
                if respuesta is not None:
                    conexion.sendall(paquete(respuesta[0] + 1,
                                             b'\xff\x15\x04#28000Acceso denegado'))
                return
            conexion.sendall(paquete(secuencia, b'\x00\x00\x00\x02\x00\x00\x00'))
            conexion.settimeout(None)
            while conexion.recv(65536):
                pass
        except OSError:
            pass


def main():
    modo, puerto = sys.argv[1], int(sys.argv[2])
    registro = sys.argv[3] if modo == 'claro' else None
    servidor = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    servidor.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    servidor.bind(('127.0.0.1', puerto))
    servidor.listen(16)
    print('LISTO', flush=True)
    while True:
        conexion, _ = servidor.accept()
        threading.Thread(target=atender, args=(conexion, modo, registro), daemon=True).start()


if __name__ == '__main__':
    os.umask(0o077)
    main()
