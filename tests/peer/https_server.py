"""TLS front for a plain HTTP test server on 127.0.0.1.

Accepts TLS connections on a free loopback port with the given certificate and key, and relays
the bytes of each connection to 127.0.0.1:<backend-port> and back. Once listening it writes the
port number to --port-file (atomically), so the test that started it can connect. Runs until
terminated; a client that fails the handshake (a refused certificate) is simply dropped.

Usage: https_server.py --certificate C --key K --backend-port N --port-file F
"""
import argparse
import os
import select
import signal
import socket
import ssl
import sys
import threading

CHUNK = 65536


def relay(tls, backend):
    """Copies bytes both ways until either side closes."""
    sockets = [tls, backend]
    while True:
        ready = [tls] if tls.pending() else select.select(sockets, [], [], 30)[0]
        if not ready:
            return
        for source in ready:
            data = source.recv(CHUNK)
            if not data:
                return
            (backend if source is tls else tls).sendall(data)


def serve_connection(raw, context, backend_port):
    raw.settimeout(30)
    try:
        with context.wrap_socket(raw, server_side=True) as tls:
            with socket.create_connection(("127.0.0.1", backend_port)) as backend:
                relay(tls, backend)
    except (OSError, ssl.SSLError):
        pass
    finally:
        raw.close()


def write_port(path, port):
    temporary = path + ".tmp"
    with open(temporary, "w", encoding="ascii") as out:
        out.write(str(port))
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--certificate", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--backend-port", type=int, required=True)
    parser.add_argument("--port-file", required=True)
    args = parser.parse_args()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.certificate, args.key)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    write_port(args.port_file, listener.getsockname()[1])
    while True:
        raw, _ = listener.accept()
        threading.Thread(target=serve_connection, args=(raw, context, args.backend_port), daemon=True).start()


if __name__ == "__main__":
    main()
