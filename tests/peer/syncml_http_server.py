"""Runs Debian's SyncML HTTP server bound to the loopback interface only.

The packaged launcher has a broken interpreter line and binds every interface, so this wrapper
patches the reactor's listenTCP/listenSSL to bind 127.0.0.1 and then runs the launcher's code.
When the server folder ($LARK_SERVER_DIR) holds a file "open-login" ("<user> <password>"), a
session from a device the server does not know yet first registers that device with this login
(scripts/syncml-server add-peer), as servers that create a device on its first contact do.
Usage: python3 syncml_http_server.py http://127.0.0.1:<port>/<path> [launcher options]
"""
import os
import re
import subprocess
import sys

from twisted.internet import posixbase

SERVER = "/usr/bin/syncevo-http-server"
SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "syncml-server")
DEVICE = re.compile(rb"<SyncHdr>.*?<Source>\s*<LocURI>([^<]{1,200})</LocURI>", re.DOTALL)

_listen_tcp = posixbase.PosixReactorBase.listenTCP
_listen_ssl = posixbase.PosixReactorBase.listenSSL
_registered = set()


def _loopback_tcp(self, port, factory, backlog=50, interface=""):
    return _listen_tcp(self, port, factory, backlog, "127.0.0.1")


def _loopback_ssl(self, port, factory, context_factory, backlog=50, interface=""):
    return _listen_ssl(self, port, factory, context_factory, backlog, "127.0.0.1")


def _register_device(request):
    """Registers the device of a first message when the server accepts any device."""
    folder = os.environ.get("LARK_SERVER_DIR", "")
    try:
        with open(os.path.join(folder, "open-login"), encoding="utf-8") as login:
            user, password = login.read().split()[:2]
    except (OSError, ValueError):
        return
    data = request.content.read()
    request.content.seek(0, 0)
    found = DEVICE.search(data)
    if not found:
        return
    device = found.group(1).decode("utf-8", "replace").strip()
    if not device or device in _registered:
        return
    # The command-line client must write the configuration itself, not ask the running server.
    environment = {k: v for k, v in os.environ.items() if k != "DBUS_SESSION_BUS_ADDRESS"}
    subprocess.run([SCRIPT, "add-peer", folder, device, user, password], env=environment, check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _registered.add(device)


posixbase.PosixReactorBase.listenTCP = _loopback_tcp
posixbase.PosixReactorBase.listenSSL = _loopback_ssl

with open(SERVER, encoding="utf-8") as source:
    code = compile(source.read(), SERVER, "exec")
sys.argv = [SERVER] + sys.argv[1:]
launcher = {"__name__": "syncevo_http_server", "__file__": SERVER}
exec(code, launcher)
_render_post = launcher["SyncMLPost"].render_POST


def _render_post_registering(self, request):
    if not request.args.get(b"sessionid"):
        _register_device(request)
    return _render_post(self, request)


launcher["SyncMLPost"].render_POST = _render_post_registering
launcher["main"]()
