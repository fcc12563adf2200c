#!/usr/bin/env python3
"""Reads and writes of http URLs against a server on 127.0.0.1 that this test starts: the
server records every raw request and answers canned responses by path; a path without one
answers the last body posted to it. Each case runs its Tav code and compares what it prints;
some cases also check what the server received."""
import os
import random
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading

import loopback

CANNED = {
    "/text": (200, [("Content-Type", "text/plain")], b"hello"),
    "/crlf": (404, [("Set-Cookie", "a"), ("Set-Cookie", "b"), ("X-A:", "v")], b"a\r\nb"),
    "/empty": (200, [], b""),
    "/moved": (302, [("Location", "/target")], b"gone"),
    "/target": (200, [("X-Last", "yes")], b"x"),
    "/values": (200, [("Content-Type", "text/plain")], b"1 [2]"),
    "/upper": (200, [("Content-Type", "text/x-upper; charset=utf-8")], b"abc"),
    "/json": (200, [("Content-Type", "application/json; charset=utf-8")], b'{"k":[1]}'),
}
stored = {}

requests = []


def status_text(code):
    return {200: "OK", 302: "Found", 404: "Not Found"}.get(code, "Other")


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        raw = loopback.read_head(self.request)
        if raw is None:
            return
        head, _, body = raw.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        length = 0
        for line in lines[1:]:
            name, _, value = line.partition(":")
            if name.lower() == "content-length":
                length = int(value.strip())
        while len(body) < length:
            body += self.request.recv(65536)
        method, path, _ = lines[0].split(" ", 2)
        requests.append({"method": method, "path": path, "headers": lines[1:], "body": body})
        if path == "/silent":
            threading.Event().wait(40)
            return
        if method == "POST":
            stored[path] = body
        code, headers, payload = CANNED.get(path, (200, [], b"" if method == "POST" else stored.get(path, b"")))
        out = f"HTTP/1.1 {code} {status_text(code)}\r\n"
        for name, value in headers:
            out += f"{name}: {value}\r\n" if not name.endswith(":") else f"{name}{value}\r\n"
        out += f"Content-Length: {len(payload)}\r\nConnection: close\r\n\r\n"
        self.wfile.write(out.encode("latin-1") + payload)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


DEFAULTS = ["Content-Type: application/x-www-form-urlencoded", "Accept-Charset: UTF-8",
            "User-Agent: Mozilla/5.0 (Windows NT 6.1; Win64; x64)"]


def header_names(request):
    return [line.split(":", 1)[0].lower() for line in request["headers"]]


def check_get_defaults(request):
    names = header_names(request)
    assert request["method"] == "GET" and request["body"] == b"", request
    assert sorted(names) == sorted(["host", "content-type", "accept-charset", "user-agent"]), names
    assert [line for line in request["headers"] if not line.lower().startswith("host:")] == DEFAULTS, request


def check_put(request):
    assert request["method"] == "PUT" and request["body"] == b"b", request
    assert "X-K: v" in request["headers"], request
    assert not any(line in request["headers"] for line in DEFAULTS), request
    assert sorted(header_names(request)) == ["content-length", "host", "x-k"], request


def check_post(request):
    assert request["method"] == "POST" and request["body"] == b"x=1", request
    others = [line for line in request["headers"] if line.split(":")[0].lower() not in ("host", "content-length")]
    assert others == DEFAULTS, request


def check_save(request):
    assert request["method"] == "POST" and request["body"] == b"1 2", request


def check_save_tavbin(request):
    assert request["method"] == "POST" and request["body"].startswith(b"TAVBIN"), request


def check_get_no_body(request):
    assert request["method"] == "GET" and request["body"] == b"", request
    assert "content-length" not in header_names(request), request


# (Tav code, what it prints, check of the one request it sends or None, requests expected)
CASES = [
    ("read URL/text", '"hello"', check_get_defaults, 1),
    ("write URL/put [put [X-K \"v\"] \"b\"]", '""', check_put, 1),
    ("write URL/post \"x=1\"", '""', check_post, 1),
    ("write URL/get [get [] \"x\"]", '""', check_get_no_body, 1),
    ("write URL/bad [\"x\" [] \"b\"]", "script invalid-arg", None, 0),
    ("write URL/bad [post [X-A] \"b\"]", "script invalid-arg", None, 0),
    ("write URL/bad [post [] [1 2]]", "script invalid-arg", None, 0),
    ("read/part URL/text 5", "internal not-done", None, 0),
    ("read/seek URL/text 1", "internal not-done", None, 0),
    ("write/seek URL/text \"a\" 1", "internal not-done", None, 0),
    ("read URL/crlf", '"a^/b"', None, 1),
    ("read/lines URL/crlf", '["a" "b"]', None, 1),
    ("r: read/info/binary URL/crlf reduce [r/1 r/3]", "[404 #{610D0A62}]", None, 1),
    ("r: read/info URL/crlf reduce [select r/2 'Set-Cookie select r/2 'X-A]", '[["a" "b"] "v"]', None, 1),
    ("read URL/empty", '""', None, 1),
    ("read/binary URL/empty", "#{}", None, 1),
    ("read/lines URL/empty", "[]", None, 1),
    ("read URL/moved", '"x"', None, 2),
    ("r: read/info URL/moved reduce [r/1 select r/2 'X-Last select r/2 'Location]", '[200 "yes" none]', None, 2),
    ("read http://127.0.0.1:1/", "access no-connect", None, 0),
    ("load URL/values", "[1 [2]]", check_get_defaults, 1),
    ("load URL/crlf", "none", None, 1),
    ("save URL/saved [1 2]", '""', check_save, 1),
    ("write URL/store save/as none [7 \"a\"] 'tavbin load/as URL/store 'tavbin", '[7 "a"]', check_save_tavbin, 2),
    ("put system/codecs 'upper make object! [Mime-Type: [text/x-upper] Suffixes: [] "
     "decode: func [d] [reduce [type? d uppercase to string! d]]] load URL/upper", '[binary! "ABC"]', None, 1),
    ("load/as URL/values 'nope", "script invalid-refine-arg", None, 0),
    ("m: load URL/json reduce [type? m m/k]", "[map! [1]]", check_get_defaults, 1),
]


def run_tav(tav, code, folder):
    script = os.path.join(folder, "case.tav")
    with open(script, "w") as f:
        f.write("Tav []\nr: try [" + code + "]\n"
                "print either error? :r [form reduce [r/type r/id]] [mold :r]\n")
    run = subprocess.run([tav, script], capture_output=True, text=True, timeout=120)
    return run.stdout.strip() + run.stderr.strip()


def main():
    tav = sys.argv[1]
    slow = "--slow" in sys.argv
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        cases = [("read URL/silent", "access no-connect", None, 1)] if slow else CASES
        for code, expected, check, count in cases:
            before = len(requests)
            got = run_tav(tav, code.replace("URL", base), folder)
            sent = requests[before:]
            problem = None
            if got != expected:
                problem = f"printed {got!r}, expected {expected!r}"
            elif len(sent) != count:
                problem = f"sent {len(sent)} requests, expected {count}"
            elif check:
                try:
                    check(sent[0])
                except AssertionError as e:
                    problem = f"request: {e}"
            if problem:
                failed += 1
                print(f"{code}: {problem}")
        if not slow:
            failed += check_large_file(tav, folder)
    server.shutdown()
    print(f"{len(cases) + (0 if slow else 1) - failed} passed, {failed} failed")
    return 1 if failed else 0


def check_large_file(tav, folder):
    """A 1 MB random file served by python3's http.server reads back byte for byte."""
    data = random.Random(7).randbytes(1 << 20)
    served = os.path.join(folder, "served")
    os.mkdir(served)
    with open(os.path.join(served, "data.bin"), "wb") as f:
        f.write(data)
    server = subprocess.Popen([sys.executable, "-u", "-m", "http.server", "0", "--bind", "127.0.0.1"],
                              cwd=served, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = server.stdout.readline().split(" port ")[1].split(" ")[0]
        url = f"http://127.0.0.1:{port}/data.bin"
        out = os.path.join(folder, "copy.bin")
        code = f'write/binary %{out} read/binary {url} "ok"'
        got = run_tav(tav, code, folder)
        with open(out, "rb") as f:
            copy = f.read() if os.path.exists(out) else b""
        fetched = subprocess.run(["curl", "-s", url], capture_output=True, timeout=60).stdout
        if got != '"ok"' or copy != data or fetched != data:
            print(f"large file: printed {got!r}, {len(copy)} bytes back of {len(data)}, curl {len(fetched)}")
            return 1
        return 0
    finally:
        server.kill()
        server.wait()


if __name__ == "__main__":
    sys.exit(main())
