#!/usr/bin/env python3
"""Scripts run by `do` from files and URLs, and the download cache, as users meet them: each case
writes its files into a new temporary folder, runs a Tav script there with HOME set to a fresh
temporary folder, and compares what it prints; the HTTP cases run against a server on 127.0.0.1
that this test starts and that counts the requests of each path."""
import hashlib
import os
import socketserver
import subprocess
import sys
import tempfile
import threading

import loopback

SERVED = {
    "/s.tav": b"Tav [Title: \"R\"]\nprint what-dir print system/script/header/title print system/script/path 5",
    "/text": b"hello",
    "/values": b"1 [2]",
    "/code": b"6 * 7",
    "/bytes": bytes([0, 1, 254, 255]),
}
counts = {}


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        raw = loopback.read_head(self.request)
        if raw is None:
            return
        path = raw.split(b" ", 2)[1].decode("latin-1")
        counts[path] = counts.get(path, 0) + 1
        code, body = (200, SERVED[path]) if path in SERVED else (404, b"")
        head = f"HTTP/1.1 {code} X\r\nContent-Type: text/plain\r\nContent-Length: {len(body)}\r\nConnection: close\r\n\r\n"
        self.wfile.write(head.encode("latin-1") + body)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


PRELUDE = """Tav []
show: func [code /local r] [
    set/any 'r try code
    print either error? :r [form reduce ["error" r/type r/id]] [mold :r]
]
"""

# (name, {file: text}, script after the prelude, expected output with {T} the folder, {H} home)
RUNNER = [
    ("a script runs from its header, in its own folder, with its header and arguments",
     {"sub/s.tav": 'junk\nTav [Title: "S"]\n#if true [print "pp"] print what-dir '
                   "print system/script/header/title print system/script/args 1 + 2\n"},
     'h: system/script/header\nr: do/args %sub/s.tav "a1"\nshow [r]\nshow [what-dir]\n'
     "show [system/state/source-files]\nshow [same? h system/script/header]",
     "pp\n{T}sub/\nS\na1\n3\n%{T}\n[]\ntrue"),
    ("the script sees itself in source-files and its object's parent is the caller's",
     {"s.tav": "Tav [] reduce [copy system/state/source-files same? system/script/parent probe-parent]\n"},
     "probe-parent: system/script\nshow [do %s.tav]",
     "[[%s.tav] true]"),
    ("a file without a header is refused before anything runs",
     {"nohdr.tav": "print 1\n"},
     "e: try [do %nohdr.tav]\nshow [reduce [e/type e/id e/arg1]]",
     "[syntax no-header %nohdr.tav]"),
    ("a header must be the word Tav, case-sensitive, then a block",
     {"low.tav": "tav [] print 1\n", "text.tav": 'print "Tav" Tav [] print 2\n'},
     "show [do %low.tav]\nshow [do %text.tav]",
     "error syntax no-header\n2\nunset"),
    ("system-dialect code is refused",
     {"sys.tav": "Tav/System [] print 1\n"},
     "show [do %sys.tav]",
     "error internal tav-system"),
    ("an error of the script is raised once the caller's state is back",
     {"sub/err.tav": "Tav [] 1 / 0\n"},
     "s: system/script\nshow [do %sub/err.tav]\nshow [what-dir]\nshow [same? s system/script]\n"
     "show [system/state/source-files]",
     "error math zero-divide\n%{T}\ntrue\n[]"),
    ("a halt ends the script only",
     {"sub/h.tav": "Tav [] throw/name 'halt-request 'console print \"no\"\n"},
     'do %sub/h.tav\nprint "goes on"\nshow [what-dir]',
     "(halted)\ngoes on\n%{T}"),
    ("a stop of the preprocessor passes through before anything has changed",
     {"sub/stop.tav": "Tav []\n#if\n"},
     "r: catch/name [do %sub/stop.tav] 'console\nshow [r]\nshow [what-dir]\nshow [system/state/source-files]",
     "*** Preprocessor Error: Syntax error\n*** Where: #if\nhalt-request\n%{T}\n[]"),
    ("another throw to the console is the script's value",
     {"t.tav": "Tav [] throw/name 7 'console 8\n"},
     "show [do %t.tav]",
     "7"),
    ("a script that ends in an error! value answers it",
     {"v.tav": "Tav [] make error! \"kept\"\n"},
     "show [error? do %v.tav]",
     "true"),
    ("nested scripts each run in their own folder",
     {"a/outer.tav": "Tav [] print what-dir do %b/inner.tav print what-dir\n",
      "a/b/inner.tav": "Tav [] print what-dir\n"},
     "do %a/outer.tav\nshow [what-dir]",
     "{T}a/\n{T}a/b/\n{T}a/\n%{T}"),
    ("header currencies are added to the currency list",
     {"c.tav": "Tav [currencies: [xqz]] 5\n"},
     "show [do %c.tav]\nshow [find system/locale/currencies/list 'XQZ]",
     "5\n[XQZ]"),
    ("a script's own do-file does not change what do runs",
     {"t.tav": "Tav [] print 1\n"},
     'do-file: func [f] [print "mine"]\ndo %t.tav',
     "1"),
    ("a missing file raises the read's error",
     {},
     "show [do %none.tav]",
     "error access cannot-open"),
]

CACHE = [
    ("a URL script runs without changing folder",
     "show [do URL/s.tav]\nshow [what-dir]",
     "{T}\nR\nnone\n5\n%{T}", {"/s.tav": 1}),
    ("path-thru names the entry by the MD5 of the URL's text",
     "show [path-thru URL/text]\nshow [exists? first split-path path-thru URL/text]",
     "%{H}/.tav/cache/{D2}/{D}\ntrue", {}),
    ("read-thru reads the network once, /update again",
     "show [exists-thru? URL/text]\nshow [read-thru URL/text]\nshow [read-thru URL/text]\n"
     "show [exists-thru? URL/text]\nshow [read path-thru URL/text]\nshow [read-thru/update URL/text]\n"
     "show [exists-thru? path-thru URL/text]",
     "false\n\"hello\"\n\"hello\"\ntrue\n\"hello\"\n\"hello\"\ntrue", {"/text": 2}),
    ("read-thru/binary keeps the bytes",
     "show [read-thru/binary URL/bytes]\nshow [read-thru/binary URL/bytes]\nshow [read/binary path-thru URL/bytes]",
     "#{0001FEFF}\n#{0001FEFF}\n#{0001FEFF}", {"/bytes": 1}),
    ("load-thru loads once and then from the entry",
     "show [load-thru URL/values]\nshow [load-thru URL/values]\nshow [load-thru/update URL/values]",
     "[1 [2]]\n[1 [2]]\n[1 [2]]", {"/values": 2}),
    ("do-thru evaluates what load-thru gives",
     "show [do-thru URL/code]\nshow [do-thru URL/code]",
     "42\n42", {"/code": 1}),
    ("an answer is cached whatever its status; a server that cannot be reached raises",
     "show [read-thru URL/missing]\nshow [exists-thru? URL/missing]\nshow [read-thru http://127.0.0.1:1/x]\n"
     "show [exists-thru? http://127.0.0.1:1/x]",
     "\"\"\ntrue\nerror access no-connect\nfalse", {"/missing": 1}),
    ("a cache root that cannot be made raises the error of making it",
     "system/options/thru-cache: %/proc/nothing/\nshow [read-thru URL/text]",
     "error access cannot-open", {}),
]


def run(tav, folder, home, script):
    with open(os.path.join(folder, "main.tav"), "w") as f:
        f.write(PRELUDE + script + "\n")
    env = dict(os.environ, HOME=home)
    done = subprocess.run([tav, "main.tav"], cwd=folder, env=env, capture_output=True, text=True, timeout=600)
    return (done.stdout + done.stderr).rstrip("\n")


def main():
    tav = os.path.realpath(sys.argv[1])
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    failed = 0
    total = 0
    for name, files, script, expected in RUNNER:
        total += 1
        with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as home:
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(folder, path)), exist_ok=True)
                with open(os.path.join(folder, path), "w") as f:
                    f.write(text)
            want = expected.replace("{T}", folder + "/")
            got = run(tav, folder, home, script)
            if got != want:
                failed += 1
                print(f"{name}\n--- expected\n{want}\n--- got\n{got}")
    for name, script, expected, requests in CACHE:
        total += 1
        counts.clear()
        with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as home:
            digest = hashlib.md5(f"{base}/text".encode()).hexdigest().upper()
            want = expected.replace("{T}", folder + "/").replace("{H}", home)
            want = want.replace("{D2}", digest[:2]).replace("{D}", digest)
            got = run(tav, folder, home, script.replace("URL", base))
            if got != want:
                failed += 1
                print(f"{name}\n--- expected\n{want}\n--- got\n{got}")
            elif counts != requests:
                failed += 1
                print(f"{name}: requests {counts}, expected {requests}")
            elif name.startswith("read-thru reads"):
                with open(os.path.join(home, ".tav/cache", digest[:2], digest), "rb") as f:
                    if f.read() != SERVED["/text"]:
                        failed += 1
                        print(f"{name}: the entry does not hold the served bytes")
    server.shutdown()
    print(f"{total - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
