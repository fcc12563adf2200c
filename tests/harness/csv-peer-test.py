#!/usr/bin/env python3
"""The CSV codec beside its peers: the csv-spectrum corpus (installed by tools/setup.sh) read
with load-csv/header/as-records against its JSON expectations; documents written by Python's
csv.writer read by load-csv against what csv.reader gives; the codec through load and save on
files in a temporary folder and on an http answer from a server on 127.0.0.1 started here.
Usage: csv-peer-test.py TAV [DOCUMENTS]"""
import csv
import http.server
import io
import json
import os
import random
import subprocess
import sys
import tempfile
import threading

TAV = sys.argv[1]
DOCUMENTS = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
CORPUS = os.path.join(os.environ.get("TAV_TEST_DATA", os.path.expanduser("~/.cache/tav-test-data")),
                      "csv-spectrum-2.0.0")
failures = []


def tav_string(text):
    out = []
    for ch in text:
        if ch == "^":
            out.append("^^")
        elif ch == '"':
            out.append('^"')
        elif ch == "\n":
            out.append("^/")
        elif ch == "\r":
            out.append("^M")
        elif ch == "\t":
            out.append("^-")
        elif ord(ch) < 32:
            out.append("^(%02X)" % ord(ch))
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


def run(script, folder):
    path = os.path.join(folder, "case.tav")
    with open(path, "w", encoding="utf-8") as f:
        f.write("Tav []\n" + script)
    done = subprocess.run([TAV, path], cwd=folder, capture_output=True, timeout=1800)
    return done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")


def check(name, got, expected):
    if got != expected:
        failures.append(f"{name}:\n--- got\n{got}\n--- expected\n{expected}")


def corpus(folder):
    """Each expectation becomes literal checks of every record's keys and values."""
    names = sorted(n[:-4] for n in os.listdir(os.path.join(CORPUS, "csvs")) if n.endswith(".csv"))
    if len(names) != 12:
        failures.append(f"corpus: expected 12 files in {CORPUS}/csvs, found {len(names)}")
        return
    lines = [
        "check: func [name file records /local rows ok] [",
        "    rows: load-csv/header/as-records to string! read/binary file",
        "    ok: all [block? rows (length? rows) = length? records]",
        "    if ok [",
        "        repeat i length? records [",
        "            foreach [key value] records/:i [",
        "                unless value == select rows/:i key [ok: false]",
        "            ]",
        "        ]",
        "    ]",
        "    print [name either ok ['same] [mold rows]]",
        "]",
    ]
    for name in names:
        with open(os.path.join(CORPUS, "json", name + ".json"), encoding="utf-8") as f:
            expected = json.load(f)
        if isinstance(expected, dict):
            expected = [expected]
        records = []
        for record in expected:
            if name == "location_coordinates":
                # The corpus gives this record another phone number than its CSV does.
                record = {k: v for k, v in record.items() if k != "Contact Phone Number"}
            records.append("[" + " ".join(tav_string(k) + " " + tav_string(v) for k, v in record.items()) + "]")
        csv_path = os.path.join(CORPUS, "csvs", name + ".csv")
        lines.append(f'check "{name}" %{csv_path} [{" ".join(records)}]')
        # Records hold exactly the expected fields, no more.
        lines.append(f'print ["{name} fields" mold collect [foreach r load-csv/header/as-records '
                     f'to string! read/binary %{csv_path} [keep length? keys-of r]]]')
    out = run("\n".join(lines) + "\n", folder)
    expected_out = []
    for name in names:
        expected_out.append(f"{name} same")
        with open(os.path.join(CORPUS, "json", name + ".json"), encoding="utf-8") as f:
            data = json.load(f)
        if isinstance(data, dict):
            data = [data]
        expected_out.append(f"{name} fields [{' '.join(str(len(r)) for r in data)}]")
    check("corpus", out, "\n".join(expected_out) + "\n")


def oracle(folder):
    """Documents by csv.writer, rows by csv.reader; load-csv must give the same rows."""
    rng = random.Random(4931)
    alphabet = "abcXYZ ,\"\n"
    for i in range(DOCUMENTS):
        width = rng.randint(1, 5)
        rows = [["".join(rng.choice(alphabet) for _ in range(rng.randint(0, 6))) for _ in range(width)]
                for _ in range(rng.randint(1, 6))]
        buffer = io.StringIO(newline="")
        csv.writer(buffer, lineterminator=rng.choice(["\r\n", "\n"])).writerows(rows)
        text = buffer.getvalue()
        read_back = list(csv.reader(io.StringIO(text, newline="")))
        with open(os.path.join(folder, "%05d.csv" % i), "w", encoding="utf-8", newline="") as f:
            f.write(text)
        with open(os.path.join(folder, "%05d.exp" % i), "w", encoding="utf-8") as f:
            f.write("[" + " ".join("[" + " ".join(tav_string(v) for v in row) + "]" for row in read_back) + "]\n")
    script = """
checked: 0
differing: 0
foreach file sort read %./ [
    if %.csv = suffix? file [
        checked: checked + 1
        rows: load-csv to string! read/binary file
        expected: load append copy/part file find/last file "." ".exp"
        unless rows == expected [
            differing: differing + 1
            print [file mold rows]
        ]
    ]
]
print ["checked" checked "differing" differing]
"""
    check("oracle", run(script, folder), f"checked {DOCUMENTS} differing 0\n")


def codec_files(folder):
    script = """
save %t.csv [["a" "b"] ["1" "2"]]
print mold read/binary %t.csv
print mold load %t.csv
write %u.CSV {n,v^/"x, y",2^/}
print mold load %u.CSV
print mold load/as %u.CSV 'csv
print mold load/as {p;q} 'csv
print mold to string! save/as none [[1 "a b"]] 'csv
"""
    expected = "\n".join([
        '#{612C620A312C320A}',
        '[["a" "b"] ["1" "2"]]',
        '[["n" "v"] ["x, y" "2"]]',
        '[["n" "v"] ["x, y" "2"]]',
        '[["p;q"]]',
        '{1,"a b"^/}',
    ]) + "\n"
    check("codec files", run(script, folder), expected)


class Handler(http.server.BaseHTTPRequestHandler):
    ANSWERS = {
        "/rows": ("text/csv", b"a,b\n1,2\n"),
        "/charset": ("text/csv; charset=utf-8", b"\xc3\xa9,\"x\r\ny\"\r\n"),
        "/plain": ("text/plain", b"1 2"),
    }

    def do_GET(self):
        kind, body = self.ANSWERS[self.path]
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def codec_http(folder):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    try:
        script = f"""
print mold load {base}/rows
print mold load {base}/charset
print mold load {base}/plain
"""
        expected = '[["a" "b"] ["1" "2"]]\n[["é" "x^M^/y"]]\n[1 2]\n'
        check("codec http", run(script, folder), expected)
    finally:
        server.shutdown()


def main():
    if not os.path.isdir(CORPUS):
        print(f"missing corpus {CORPUS}: run tools/setup.sh")
        return 1
    for part in (corpus, oracle, codec_files, codec_http):
        with tempfile.TemporaryDirectory() as folder:
            part(folder)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
