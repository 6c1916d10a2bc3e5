"""Runs Debian's SyncML HTTP server bound to the loopback interface only.

The packaged launcher has a broken interpreter line and binds every interface, so this wrapper
patches the reactor's listenTCP/listenSSL to bind 127.0.0.1 and then runs the launcher's code.
Usage: python3 syncml_http_server.py http://127.0.0.1:<port>/<path> [launcher options]
"""
import sys

from twisted.internet import posixbase

SERVER = "/usr/bin/syncevo-http-server"

_listen_tcp = posixbase.PosixReactorBase.listenTCP
_listen_ssl = posixbase.PosixReactorBase.listenSSL


def _loopback_tcp(self, port, factory, backlog=50, interface=""):
    return _listen_tcp(self, port, factory, backlog, "127.0.0.1")


def _loopback_ssl(self, port, factory, context_factory, backlog=50, interface=""):
    return _listen_ssl(self, port, factory, context_factory, backlog, "127.0.0.1")


posixbase.PosixReactorBase.listenTCP = _loopback_tcp
posixbase.PosixReactorBase.listenSSL = _loopback_ssl

with open(SERVER, encoding="utf-8") as source:
    code = compile(source.read(), SERVER, "exec")
sys.argv = [SERVER] + sys.argv[1:]
exec(code, {"__name__": "__main__", "__file__": SERVER})
