#!/usr/bin/env python3
"""Stand-in for the organisation's error notifier, for tests.

Records every GET of /notifier/notifier.php and answers it with the status
chosen through the control paths:

  /control/status/<code>   answer later reports with <code> (default 200)
  /control/delay/<ms>      hold later answers for <ms> milliseconds
  /control/requests        the recorded requests, one JSON object per line:
                           {"raw": <path and query as received>,
                            "query": {<key>: <decoded value>, ...}}
  /control/reset           forget the requests, status 200, no delay
  /charts/jsapi            the chart loader stand-in (cargador-graficos.js beside this file)
  /kolvaster/...           any other path answers 200 (the maker's web host)

usage: notifier.py PORT
"""
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

CHART_LOADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cargador-graficos.js")

state = {"status": 200, "delay": 0, "requests": []}
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, code, body=b"", content_type="text/plain; charset=utf-8"):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        parts = urlsplit(self.path)
        if parts.path.startswith("/control/"):
            words = parts.path.split("/")[2:]
            with lock:
                if words[0] == "status":
                    state["status"] = int(words[1])
                elif words[0] == "delay":
                    state["delay"] = int(words[1])
                elif words[0] == "reset":
                    state.update(status=200, delay=0, requests=[])
                elif words[0] == "requests":
                    body = "".join(json.dumps(r) + "\n" for r in state["requests"])
                    return self.answer(200, body.encode())
            return self.answer(200, b"ok")
        if parts.path == "/notifier/notifier.php":
            query = {k: v[0] for k, v in parse_qs(parts.query, keep_blank_values=True).items()}
            with lock:
                state["requests"].append({"raw": self.path, "query": query})
                status, delay = state["status"], state["delay"]
            if delay:
                time.sleep(delay / 1000.0)
            return self.answer(status, b"recibido")
        if parts.path == "/charts/jsapi":
            with open(CHART_LOADER, "rb") as f:
                return self.answer(200, f.read(), "text/javascript; charset=utf-8")
        return self.answer(200, b"<html><body>Kolvaster</body></html>")


if __name__ == "__main__":
    server = ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler)
    server.daemon_threads = True
    server.serve_forever()
