#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A UPnP internet gateway on loopback whose WAN counters are what a file says, so that a test
or a benchmark knows every byte the router tells.

The file (--counters) holds "IN OUT UPTIME [DELAY]": the bytes received and sent, the uptime in
seconds, and optionally how many seconds each answer waits before it goes (a slow router). It
is read again for every request. The server prints its port on the first line of its output,
then the SOAP action of every request it answered, one a line, flushed at once."""

import argparse
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CIF = "urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1"
IPCONN = "urn:schemas-upnp-org:service:WANIPConnection:1"
args = None


def counters():
    with open(args.counters, encoding="ascii") as f:
        words = f.read().split()
    return [int(words[0]), int(words[1]), int(words[2]), float(words[3]) if len(words) > 3 else 0.0]


def description(base):
    service = ('<service><serviceType>{0}</serviceType><serviceId>urn:upnp-org:serviceId:{1}</serviceId>'
               '<SCPDURL>/{1}.xml</SCPDURL><controlURL>{2}</controlURL><eventSubURL>/evt/{1}</eventSubURL></service>')
    device = '<device><deviceType>urn:schemas-upnp-org:device:{0}</deviceType><friendlyName>{1}</friendlyName>' \
             '<UDN>uuid:5e0a1b2c-0d6b-4c1e-9a77-{2:012d}</UDN><serviceList>{3}</serviceList>{4}</device>'
    connection = device.format("WANConnectionDevice:1", "WANConnectionDevice", 3,
                               service.format(IPCONN, "WANIPConn1", "/ctl/IPConn"), "")
    wan = device.format("WANDevice:1", "WANDevice", 2, service.format(CIF, "WANCommonIFC1", "/ctl/CmnIfCfg"),
                        f"<deviceList>{connection}</deviceList>")
    root = device.format("InternetGatewayDevice:1", args.name, 1, "", f"<deviceList>{wan}</deviceList>")
    return (f'<?xml version="1.0"?>\n<root xmlns="urn:schemas-upnp-org:device-1-0"><specVersion><major>1</major>'
            f'<minor>0</minor></specVersion><URLBase>{base}</URLBase>{root}</root>')


def envelope(action, service, fields):
    body = "".join(f"<{k}>{v}</{k}>" for k, v in fields)
    return (f'<?xml version="1.0"?>\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" '
            f's:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/"><s:Body>'
            f'<u:{action}Response xmlns:u="{service}">{body}</u:{action}Response></s:Body></s:Envelope>')


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *a):  # noqa: A002 (the base class's name)
        pass

    def send(self, status, body):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", 'text/xml; charset="utf-8"')
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    def do_GET(self):
        host, port = self.server.server_address[:2]
        self.send(200, description(f"http://{host}:{port}"))

    def do_POST(self):
        self.rfile.read(min(int(self.headers.get("Content-Length") or 0), 65536))
        action = (self.headers.get("SOAPAction") or "").strip().strip('"').rpartition("#")[2]
        received, sent, uptime, delay = counters()
        time.sleep(delay)
        fields = {
            "GetTotalBytesReceived": (CIF, [("NewTotalBytesReceived", received)]),
            "GetTotalBytesSent": (CIF, [("NewTotalBytesSent", sent)]),
            "GetCommonLinkProperties": (CIF, [("NewWANAccessType", "Ethernet"),
                                              ("NewLayer1UpstreamMaxBitRate", 1_000_000_000),
                                              ("NewLayer1DownstreamMaxBitRate", 1_000_000_000),
                                              ("NewPhysicalLinkStatus", "Up")]),
            "GetStatusInfo": (IPCONN, [("NewConnectionStatus", "Connected"),
                                       ("NewLastConnectionError", "ERROR_NONE"), ("NewUptime", uptime)]),
        }.get(action)
        if fields is None:
            self.send(500, '<?xml version="1.0"?>\n<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/">'
                           '<s:Body><s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring>'
                           '<detail><UPnPError xmlns="urn:schemas-upnp-org:control-1-0"><errorCode>401</errorCode>'
                           '<errorDescription>Invalid Action</errorDescription></UPnPError></detail></s:Fault>'
                           '</s:Body></s:Envelope>')
        else:
            self.send(200, envelope(action, *fields))
        print(action, flush=True)


def main():
    global args
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--counters", required=True)
    p.add_argument("--name", default="Loopback IGD")
    args = p.parse_args()
    counters()  # fails at once on a file that is not there
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
