#!/usr/bin/python3
"""A stand-in for the update service, over HTTPS on 127.0.0.1, for the tests.

Usage: update_server.py CERT KEY FOLDER. Prints the port it listens on, then
serves until killed:
  POST any path        the bytes of FOLDER/reply.json (HTTP 200)
  GET/HEAD /files/N    FOLDER/files/N with its length
  /slow/N              as /files/N, 1024 bytes every 10 ms
  /short/N             announces the whole length, sends half and closes
  /nolength/N          no Content-Length at all
  /zerolength/N        Content-Length: 0 for HEAD
  /redirect-http/N     302 to http://127.0.0.1:PORT/files/N
Every accepted connection adds a line to FOLDER/connections.log and every
request its line to FOLDER/requests.log.
"""
import http.server
import os
import socketserver
import ssl
import sys
import time

CERT, KEY, FOLDER = sys.argv[1], sys.argv[2], sys.argv[3]


def append(name, line):
    with open(os.path.join(FOLDER, name), "a") as log:
        log.write(line + "\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def file_bytes(self, prefix):
        name = self.path[len(prefix):].split("?")[0]
        with open(os.path.join(FOLDER, "files", os.path.basename(name)), "rb") as f:
            return f.read()

    def do_POST(self):
        append("requests.log", "POST " + self.path)
        length = int(self.headers.get("Content-Length", "0"))
        append("bodies.log", self.rfile.read(length).decode("utf-8", "replace"))
        with open(os.path.join(FOLDER, "reply.json"), "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_HEAD(self):
        self.answer(False)

    def do_GET(self):
        self.answer(True)

    def answer(self, with_body):
        append("requests.log", self.command + " " + self.path)
        route = "/" + self.path.split("/")[1] + "/"
        if route == "/redirect-http/":
            port = self.server.server_address[1]
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:%d/files/%s" % (port, self.path[len(route):]))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        try:
            data = self.file_bytes(route)
        except OSError:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if route == "/zerolength/" and not with_body:
            self.send_header("Content-Length", "0")
        elif route != "/nolength/":
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if not with_body:
            return
        if route == "/short/":
            data = data[: len(data) // 2]
        if route == "/slow/":
            for start in range(0, len(data), 1024):
                self.wfile.write(data[start:start + 1024])
                self.wfile.flush()
                time.sleep(0.01)
        else:
            self.wfile.write(data)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True

    def get_request(self):
        sock, address = self.socket.accept()
        append("connections.log", "connection from %s:%d" % address)
        return sock, address

    def finish_request(self, request, client_address):
        try:
            request = CONTEXT.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        super().finish_request(request, client_address)


CONTEXT = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
CONTEXT.load_cert_chain(CERT, KEY)
server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
