#!/usr/bin/env python3
"""The shortcuts of evaluation beside the full path: a few thousand expressions drawn at random
from conditionals, parens, set-words, operators and calls are run once with the usual folded
frames and once with every block, paren and conditional in a frame of its own
(TAV_FOLD_FRAMES=0). Each prints its result, or its error with where and near, and the words
it may have set; the two runs must print the same lines."""
import os
import random
import subprocess
import sys
import tempfile

PRELUDE = """Tav []
i: 5 j: 3 t: true f: false none-value: none s: "ab" b: [1 2]
o: make object! [n: 2 on: true]
x: 1 y: 2
g: func [n] [n + 1]
h: func [n] [either n > 3 [n * 2] [n - 1]]
k: func [a /plus b] [either plus [a + b] [a]]
r: func [n] [loop 3 [if n > 2 [return n * 10]] 0]
show: func [code [block!] /local r] [
    x: 1 y: 2
    set/any 'r try code
    either error! = type? :r [
        print [mold/only code "=>" r/id "where" mold r/where "near" mold r/near "x" x "y" y]
    ] [
        print [mold/only code "=>" mold/all :r "x" x "y" y]
    ]
]
"""

# Mostly integers, and comparisons last, so that most cases compute; the rest make the errors
# and the other types.
ARITHMETIC = ["+", "-", "*", "+", "-", "//", "%", "/"]
COMPARISONS = ["<", ">", "=", "<>", "and", "or"]
OPERATORS = ARITHMETIC + COMPARISONS
WORDS = ["i", "j", "x", "y", "i", "j", "x", "y", "o/n", "t", "f", "none-value", "s", "b", "o/on", "unset-word"]
CONDITIONALS = ["either", "if", "unless"]


class Draw:
    def __init__(self, seed):
        self.r = random.Random(seed)

    def value(self, depth):
        k = self.r.random()
        if k < 0.3:
            return str(self.r.randint(0, 6))
        if k < 0.65 or depth <= 0:
            return self.r.choice(WORDS)
        if k < 0.8:
            return "(" + self.expression(depth - 1) + ")"
        if k < 0.88:
            target = self.r.choice(["x", "y"])
            grown = target + " + " if self.r.random() < 0.5 else ""
            return "(" + target + ": " + grown + self.expression(depth - 1) + ")"
        if k < 0.97:
            call = self.r.choice(["g", "h", "k", "r", "k/plus"])
            text = call + " " + self.value(depth - 1)
            return text + " " + self.value(depth - 1) if call == "k/plus" else text
        return "()"

    def expression(self, depth):
        parts = [self.value(depth)]
        for _ in range(self.r.choice([0, 0, 1, 2])):
            parts += [self.r.choice(ARITHMETIC), self.value(depth)]
        if self.r.random() < 0.4:
            parts += [self.r.choice(COMPARISONS), self.value(depth)]
        return " ".join(parts)

    def branch(self, depth):
        k = self.r.random()
        if k < 0.1:
            return "[]"
        if k < 0.4:
            return "[" + self.r.choice(["x", "y"]) + ": " + self.expression(depth) + "]"
        if k < 0.55 and depth > 0:
            return "[" + self.statement(depth - 1) + "]"
        if k < 0.6:
            return "[break/return 9]"
        return "[" + self.expression(depth) + "]"

    def conditional(self, depth):
        which = self.r.choice(CONDITIONALS)
        count = 2 if which == "either" else 1
        text = which + " " + self.expression(depth)
        for _ in range(count if self.r.random() > 0.05 else count - 1):
            text += " " + self.branch(depth)
        if self.r.random() < 0.1:
            text += " " + self.r.choice(OPERATORS) + " " + self.value(0)
        return text

    def statement(self, depth):
        k = self.r.random()
        if k < 0.5:
            return self.conditional(depth)
        if k < 0.55:
            return "w: 0 while [w < 3] [w: w + 1 " + self.statement(max(depth - 1, 0)) + "]"
        if k < 0.6:
            return "repeat n 2 [if " + self.expression(depth) + " [break] y: y + n]"
        if k < 0.8:
            return self.r.choice(["x", "y"]) + ": " + self.expression(depth)
        return self.expression(depth)

    def case(self):
        statements = [self.statement(2) for _ in range(self.r.choice([1, 1, 2]))]
        text = " ".join(statements)
        if self.r.random() < 0.3:
            text = "loop 2 [" + text + "]"
        return "show [" + text + "]"


def run(tav, script, fold):
    env = dict(os.environ, TAV_FOLD_FRAMES=fold)
    done = subprocess.run([tav, script], capture_output=True, text=True, timeout=600, env=env)
    return done.returncode, done.stdout.splitlines(), done.stderr


def main():
    tav = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 3000
    draw = Draw(20261211)
    cases = [draw.case() for _ in range(count)]
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "cases.tav")
        with open(script, "w") as out:
            out.write(PRELUDE + "\n".join(cases) + "\n")
        folded = run(tav, script, "1")
        framed = run(tav, script, "0")
    for name, (code, lines, errors) in (("folded", folded), ("framed", framed)):
        if code != 0 or len(lines) != len(cases):
            print(f"{name}: tav exited {code} with {len(lines)} lines of {len(cases)}")
            print(errors[-2000:])
            return 1
    differ = [(a, b) for a, b in zip(folded[1], framed[1]) if a != b]
    for a, b in differ[:20]:
        print("folded:", a)
        print("framed:", b)
    print(f"{len(cases)} cases, {len(differ)} differ")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
