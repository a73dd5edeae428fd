#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A small UPnP internet gateway of the tests' own: a router that counts its WAN bytes in 32 bits
and wraps every 4 GiB, as most home routers do, and that can be made to answer what no honest
router answers.

Its counters are a real interface's kernel counters (/sys/class/net/IF/statistics), taken modulo
2^32, so the kernel stays the reference for every byte while the answers wrap. It serves a
description (rootDesc.xml), WANCommonInterfaceConfig (GetTotalBytesReceived/Sent,
GetCommonLinkProperties, GetAddonInfos with --addon64), WANIPConnection's GetStatusInfo (its
uptime counts from its own start) and, with --ssdp, answers M-SEARCH on 239.255.255.250:1900.

How it answers is its mode: --mode at start, replaced by the first word of --mode-file whenever
that file exists (read again for every request, so a test switches modes while it runs):
  normal        honest answers
  huge          a 50 MB answer to the counter actions
  truncated     a Content-Length of 400 and half the body, then the connection closed
  endless       a header line that never ends (50 MB without a line break)
  silent        the request read, no answer for 60 s
  text          NewTotalBytes* is "12abc"      neg     "-5"       hex    "0x10"
  exp           "1e9"                          space   " 12"      empty  ""
  over32        2^32 + the value (more than a 32-bit counter holds)
  bomb          the value is an entity that expands a billion times (a DOCTYPE of nested entities)
  external      the value is an external entity (file:///etc/hostname)
  duplicate     the field twice: a false value first, the true one after
  fault         a SOAP fault (UPnPError 501) with HTTP 500
  desc-huge     a 50 MB description        desc-garbage   a description that is not XML
  desc-bomb     a description full of nested entities
The SSDP answer's mode is --ssdp-mode: normal, huge-location (LOCATION points at a 50 MB
description), garbage-location (LOCATION is no URL), endless-line (a 65,000-byte datagram with no
line break), flood (500 answers with as many different LOCATIONs).

Every request is logged to --log as "MODE ACTION" (ACTION is the SOAP action or the path), one
line each, flushed at once, so that a test can wait for the program's reads."""

import argparse
import socket
import struct
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MB50 = 50 * 1000 * 1000
CIF = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"
IPCONN = "urn:schemas-upnp-org:service:WANIPConnection:1"
IGD = "urn:schemas-upnp-org:device:InternetGatewayDevice:1"
UUID = "3f6c5a8e-0d6b-4c1e-9a77-5e0a1b2c3d4e"
BOGUS = {"text": "12abc", "neg": "-5", "hex": "0x10", "exp": "1e9", "space": " 12", "empty": ""}

args = None
started = time.monotonic()
log_lock = threading.Lock()


def mode():
    if args.mode_file:
        try:
            with open(args.mode_file, encoding="ascii") as f:
                words = f.read().split()
            if words:
                return words[0]
        except OSError:
            pass
    return args.mode


def log(line):
    if not args.log:
        return
    with log_lock, open(args.log, "a", encoding="utf-8") as f:
        f.write(line + "\n")


def counter(name):
    with open(f"/sys/class/net/{args.interface}/statistics/{name}", encoding="ascii") as f:
        return int(f.read())


def description(base):
    return f"""<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major><minor>0</minor></specVersion>
<URLBase>{base}</URLBase>
<device><deviceType>{IGD}</deviceType><friendlyName>{args.name}</friendlyName>
<manufacturer>Varnolt tests</manufacturer><modelName>igd_server</modelName><UDN>uuid:{UUID}</UDN>
<serviceList><service><serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>
<serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId><SCPDURL>/L3F.xml</SCPDURL>
<controlURL>/ctl/L3F</controlURL><eventSubURL>/evt/L3F</eventSubURL></service></serviceList>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<friendlyName>WANDevice</friendlyName><UDN>uuid:{UUID}-1</UDN>
<serviceList><service><serviceType>{CIF}</serviceType>
<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId><SCPDURL>/WANCfg.xml</SCPDURL>
<controlURL>/ctl/CmnIfCfg</controlURL><eventSubURL>/evt/CmnIfCfg</eventSubURL></service></serviceList>
<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<friendlyName>WANConnectionDevice</friendlyName><UDN>uuid:{UUID}-2</UDN>
<serviceList><service><serviceType>{IPCONN}</serviceType>
<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId><SCPDURL>/WANIPCn.xml</SCPDURL>
<controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn</eventSubURL></service></serviceList>
</device></deviceList></device></deviceList></device></root>
"""


def bomb_doctype(root):
    # Ten levels of ten: the last entity is 10^10 copies of a ten-byte text.
    lines = ['<!ENTITY e0 "0123456789">']
    for i in range(1, 11):
        lines.append(f'<!ENTITY e{i} "' + f"&e{i - 1};" * 10 + '">')
    return f"<!DOCTYPE {root} [" + "".join(lines) + "]>"


def envelope(action, service, fields, doctype=""):
    body = "".join(f"<{k}>{v}</{k}>" for k, v in fields)
    return (f'<?xml version="1.0"?>\n{doctype}<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            f's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            f'<u:{action}Response xmlns:u="{service}">{body}</u:{action}Response></s:Body></s:Envelope>')


def fault(code, text):
    return ('<?xml version="1.0"?>\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body><s:Fault>'
            '<faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>'
            '<UPnPError xmlns="urn:schemas-upnp-org:control-1-0">'
            f'<errorCode>{code}</errorCode><errorDescription>{text}</errorDescription>'
            '</UPnPError></detail></s:Fault></s:Body></s:Envelope>')


def counter_answer(action, m):
    """The answer to GetTotalBytesReceived/Sent in mode m: (status, body)."""
    field = "NewTotalBytesReceived" if action == "GetTotalBytesReceived" else "NewTotalBytesSent"
    # The router's WAN: what it receives is what the household downloads.
    value = counter("rx_bytes" if action == "GetTotalBytesReceived" else "tx_bytes") % (1 << 32)
    if m == "fault":
        return 500, fault(501, "Action Failed")
    if m in BOGUS:
        return 200, envelope(action, CIF, [(field, BOGUS[m])])
    if m == "over32":
        return 200, envelope(action, CIF, [(field, value + (1 << 32))])
    if m == "bomb":
        return 200, envelope(action, CIF, [(field, "&e10;")], bomb_doctype("s:Envelope"))
    if m == "external":
        doctype = '<!DOCTYPE s:Envelope [<!ENTITY x SYSTEM "file:///etc/hostname">]>'
        return 200, envelope(action, CIF, [(field, "&x;")], doctype)
    if m == "duplicate":
        return 200, envelope(action, CIF, [(field, (value + 1_000_000_000) % (1 << 32)), (field, value)])
    return 200, envelope(action, CIF, [(field, value)])


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "igd_server/1.0 UPnP/1.0"

    def log_message(self, format, *a):  # noqa: A002 (the base class's name)
        pass

    def base(self):
        host, port = self.server.server_address[:2]
        return f"http://{host}:{port}"

    def send(self, status, body, content_type='text/xml; charset="utf-8"'):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def stream(self, chunk, total, header=True):
        """total bytes of chunk, repeated: a body of that length, or (header=False) one header
        line that never ends before the connection is closed."""
        self.send_response(200)
        if header:
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(total))
            self.end_headers()
        else:
            self.wfile.write(b"X-Endless: ")
        sent = 0
        try:
            while sent < total:
                self.wfile.write(chunk)
                sent += len(chunk)
        except OSError:
            pass
        self.close_connection = True

    def hostile_transport(self, m, good):
        """Modes that break the answer whatever it holds; True when one did."""
        if m == "huge":
            self.stream(b"<x>" + b"9" * 65533, MB50)
        elif m == "truncated":
            data = good.encode()
            self.send_response(200)
            self.send_header("Content-Type", "text/xml")
            self.send_header("Content-Length", str(max(400, len(data))))
            self.end_headers()
            self.wfile.write(data[: len(data) // 2])
            self.close_connection = True
        elif m == "endless":
            self.stream(b"a" * 65536, MB50, header=False)
        elif m == "silent":
            time.sleep(60)
            self.close_connection = True
        else:
            return False
        return True

    def do_GET(self):
        m = mode()
        log(f"{m} GET {self.path}")
        path = self.path.split("?")[0]
        if path == "/huge.xml":
            self.stream(b"<root>" + b" " * 65530, MB50)
        elif path == "/rootDesc.xml":
            if m == "desc-huge":
                self.stream(b"<root>" + b" " * 65530, MB50)
            elif m == "desc-garbage":
                self.send(200, b"\x00\xff<<<root</device>" * 1000)
            elif m == "desc-bomb":
                self.send(200, '<?xml version="1.0"?>\n' + bomb_doctype("root")
                          + "<root><device><friendlyName>&e10;</friendlyName></device></root>")
            elif not self.hostile_transport(m, description(self.base())):
                self.send(200, description(self.base()))
        elif path.endswith(".xml"):
            self.send(200, '<?xml version="1.0"?><scpd xmlns="urn:schemas-upnp-org:service-1-0">'
                           "<specVersion><major>1</major><minor>0</minor></specVersion></scpd>")
        else:
            self.send(404, "", "text/plain")

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(min(length, 65536))
        action = (self.headers.get("SOAPAction") or "").strip().strip('"').rpartition("#")[2]
        m = mode()
        log(f"{m} {action or self.path}")
        path = self.path.split("?")[0]
        if path not in ("/ctl/CmnIfCfg", "/ctl/IPConn") or (path == "/ctl/IPConn") != (action == "GetStatusInfo"):
            self.send(404, "", "text/plain")
        elif action in ("GetTotalBytesReceived", "GetTotalBytesSent"):
            status, good = counter_answer(action, "normal")
            if self.hostile_transport(m, good):
                return
            self.send(*counter_answer(action, m))
        elif action == "GetCommonLinkProperties":
            self.send(200, envelope(action, CIF, [
                ("NewWANAccessType", "Ethernet"),
                ("NewLayer1UpstreamMaxBitRate", args.link_bps),
                ("NewLayer1DownstreamMaxBitRate", args.link_bps),
                ("NewPhysicalLinkStatus", "Up")]))
        elif action == "GetAddonInfos" and args.addon64:
            self.send(200, envelope(action, CIF, [
                ("NewX_AVM_DE_TotalBytesSent64", counter("tx_bytes")),
                ("NewX_AVM_DE_TotalBytesReceived64", counter("rx_bytes"))]))
        elif action == "GetStatusInfo":
            self.send(200, envelope(action, IPCONN, [
                ("NewConnectionStatus", "Connected"),
                ("NewLastConnectionError", "ERROR_NONE"),
                ("NewUptime", int(time.monotonic() - started))]))
        else:
            self.send(500, fault(401, "Invalid Action"))


def ssdp_answers(location, st):
    head = f"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: {st}\r\nUSN: uuid:{UUID}::{st}\r\nEXT:\r\n" \
           "SERVER: Linux UPnP/1.0 igd_server/1.0\r\n"
    m = args.ssdp_mode
    if m == "endless-line":
        return [b"HTTP/1.1 200 OK\r\nLOCATION: http://" + b"a" * 65000]
    if m == "flood":
        return [(head + f"LOCATION: {location}?{i}\r\n\r\n").encode() for i in range(500)]
    if m == "huge-location":
        location = location.replace("/rootDesc.xml", "/huge.xml")
    elif m == "garbage-location":
        location = "\x01ht!tp:/[" + "%" * 3000
    return [(head + f"LOCATION: {location}\r\n\r\n").encode("latin-1")]


def ssdp(location):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM, socket.IPPROTO_UDP)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind(("239.255.255.250", 1900))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                    struct.pack("4s4s", socket.inet_aton("239.255.255.250"), socket.inet_aton(args.listen)))
    while True:
        data, peer = sock.recvfrom(65536)
        text = data.decode("latin-1")
        if not text.startswith("M-SEARCH"):
            continue
        st = ""
        for line in text.split("\r\n"):
            name, _, value = line.partition(":")
            if name.strip().upper() == "ST":
                st = value.strip()
        if st not in ("ssdp:all", "upnp:rootdevice", IGD, CIF, IPCONN,
                      "urn:schemas-upnp-org:device:InternetGatewayDevice:2"):
            continue
        log(f"{args.ssdp_mode} M-SEARCH {st}")
        for answer in ssdp_answers(location, st):
            try:
                sock.sendto(answer, peer)
            except OSError:
                pass


def main():
    global args
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--interface", required=True, help="the interface whose kernel counters are the WAN's")
    p.add_argument("--listen", default="127.0.0.1")
    p.add_argument("--port", type=int, default=5555)
    p.add_argument("--name", default="Varnolt Test Router", help="friendlyName")
    p.add_argument("--mode", default="normal")
    p.add_argument("--mode-file")
    p.add_argument("--log")
    p.add_argument("--link-bps", type=int, default=1_000_000_000, help="the link's rate the router tells")
    p.add_argument("--addon64", action="store_true", help="answer GetAddonInfos with 64-bit counters")
    p.add_argument("--ssdp", action="store_true", help="answer M-SEARCH on 239.255.255.250:1900")
    p.add_argument("--ssdp-mode", default="normal")
    args = p.parse_args()
    counter("rx_bytes")  # fails at once on an interface that is not there
    server = ThreadingHTTPServer((args.listen, args.port), Handler)
    server.daemon_threads = True
    if args.ssdp:
        threading.Thread(target=ssdp, args=(f"http://{args.listen}:{server.server_address[1]}/rootDesc.xml",),
                         daemon=True).start()
    print(f"listening http://{args.listen}:{server.server_address[1]}/rootDesc.xml", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
