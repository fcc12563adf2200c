#!/usr/bin/env python3
"""Money arithmetic beside Python's decimal: for random amounts a and b and integers n (10,000
of each by default, the count may follow the program), `mold/all` of a + b, a - b, a * n and
a / n must be decimal's exact result cut to five decimals toward zero, and the errors must be
those of the money rules: type-limit for a result of 10^17 or more, for a non-zero result that
cuts to zero, and for a quotient whose digits the division refuses in advance; zero-divide for
n = 0."""
import decimal
import os
import random
import subprocess
import sys
import tempfile

decimal.getcontext().prec = 80
FIFTH = decimal.Decimal("0.00001")
LIMIT = decimal.Decimal(10) ** 17


def text_of(value):
    """The mold/all text of an amount already cut to five decimals."""
    sign = "-" if value < 0 else ""
    whole, _, fraction = f"{abs(value):.5f}".partition(".")
    return f"{sign}${whole}.{fraction}"


def significant(value):
    """Digits of the amount times 10^5 from its first non-zero one; 1 for zero."""
    return max(len(str(int(abs(value) * 100000))), 1) if value else 1


def expected(op, a, b):
    if op == "/":
        if b == 0:
            return "zero-divide"
        if a == 0:
            return text_of(a)
        if significant(a) + 6 - significant(b) > 22:
            return "type-limit"
    exact = {"+": a + b, "-": a - b, "*": a * b, "/": a / b if b else None}[op]
    cut = exact.quantize(FIFTH, rounding=decimal.ROUND_DOWN)
    if abs(cut) >= LIMIT or (cut == 0 and exact != 0):
        return "type-limit"
    return text_of(cut)


def random_amount(draw):
    digits = draw.randint(1, 22)
    if draw.random() < 0.1:
        text = "9" * digits
    else:
        text = "".join(draw.choice("0123456789") for _ in range(digits))
    value = decimal.Decimal(int(text)) / 100000
    return -value if draw.random() < 0.5 else value


def random_integer(draw):
    return draw.choice([0, 1, -1, 3, 7, draw.randint(-1000, 1000), draw.randint(-2147483648, 2147483647)])


def main():
    tav = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
    draw = random.Random(20261210)
    cases = [(random_amount(draw), random_amount(draw), random_integer(draw)) for _ in range(count)]
    lines = ["Tav []", "show: func [code] [either error? r: try code [print r/id] [print mold/all r]]",
             "foreach [a b n] ["]
    lines += [f"    {text_of(a)} {text_of(b)} {n}" for a, b, n in cases]
    lines += ["] [", "    show [a + b] show [a - b] show [a * n] show [a / n]", "]"]
    with tempfile.TemporaryDirectory() as folder:
        script = os.path.join(folder, "money.tav")
        with open(script, "w") as f:
            f.write("\n".join(lines) + "\n")
        run = subprocess.run([tav, script], capture_output=True, text=True, timeout=1200)
    got = run.stdout.splitlines()
    wanted = []
    for a, b, n in cases:
        n = decimal.Decimal(n)
        wanted += [(f"{a} + {b}", expected("+", a, b)), (f"{a} - {b}", expected("-", a, b)),
                   (f"{a} * {n}", expected("*", a, n)), (f"{a} / {n}", expected("/", a, n))]
    if run.returncode != 0 or len(got) != len(wanted):
        print(f"tav exited {run.returncode} with {len(got)} lines of {len(wanted)}")
        print(run.stdout[-2000:], run.stderr[-2000:])
        return 1
    failed = 0
    for (what, want), line in zip(wanted, got):
        if line != want:
            failed += 1
            if failed <= 10:
                print(f"{what}: got {line!r}, decimal gives {want!r}")
    print(f"{len(wanted) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
