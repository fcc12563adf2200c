#!/usr/bin/env python3
# Lexer table generator: writes interpreter/lexer_tables.inc, the byte form of the token
# grammar below (character classes with their flags, the transition table, the per-state
# skip and type tables and the per-class line and path-end tables).
#
# Run by hand when the grammar changes (the output is committed, builds never need it):
#   python3 tools/gen_lexer_tables.py > interpreter/lexer_tables.inc
import sys

# Character classes: number, name as the grammar writes it, member bytes.
def span(low, high):
    return list(range(ord(low), ord(high) + 1))

CLASSES = [
    (0, "blank", [0x09, 0x0D, 0x20]),
    (1, "LF", [0x0A]),
    (2, "1-9", span("1", "9")),
    (3, "0", [ord("0")]),
    (4, "[", [ord("[")]),
    (5, "]", [ord("]")]),
    (6, "(", [ord("(")]),
    (7, ")", [ord(")")]),
    (8, "{", [ord("{")]),
    (9, "}", [ord("}")]),
    (10, '"', [ord('"')]),
    (11, "#", [ord("#")]),
    (12, "'", [ord("'")]),
    (13, ":", [ord(":")]),
    (14, "x", [ord("X"), ord("x")]),
    (15, "T", [ord("T")]),
    (16, "h", [ord("h")]),
    (17, "e", [ord("e")]),
    (18, "E", [ord("E")]),
    (19, "a-d f", span("a", "d") + [ord("f")]),
    (20, "A-D F", span("A", "D") + [ord("F")]),
    (21, "/", [ord("/")]),
    (22, "\\", [ord("\\")]),
    (23, "<", [ord("<")]),
    (24, ">", [ord(">")]),
    (25, "=", [ord("=")]),
    (26, "%", [ord("%")]),
    (27, ",", [ord(",")]),
    (28, ";", [ord(";")]),
    (29, "at", [ord("@")]),
    (30, ".", [ord(".")]),
    (31, "$", [ord("$")]),
    (32, "+", [ord("+")]),
    (33, "-", [ord("-")]),
    (34, "^", [ord("^")]),
    (35, "control", list(range(0x01, 0x09)) + [0x0B, 0x0C] + list(range(0x0E, 0x20))),
    (36, "continuation", [0x7F] + list(range(0x80, 0xC0))),
    (37, "word", [ord(c) for c in "!&*?_`|~"] + span("G", "S") + span("U", "W") + [ord("Y"), ord("Z"), ord("g")]
         + span("i", "w") + [ord("y"), ord("z")] + list(range(0xC2, 0xF8))),
    (38, "illegal", [0xC0, 0xC1] + list(range(0xF8, 0x100))),
    (39, "end", [0x00]),
]

# Per-character flags, ORed over a token's bytes by the driver.
FLAGS = [
    ([0x00], 0x00400000),
    ([ord("#")], 0x00800000),
    ([ord("%")], 0x00040000),
    ([ord("'")], 0x02000000),
    ([ord("+"), ord("-")], 0x00200000),
    ([ord(",")], 0x08000000),
    ([ord(".")], 0x10000000),
    ([ord(":")], 0x04000000),
    ([ord("<")], 0x00100000),
    ([ord(">")], 0x00080000),
    ([ord("e"), ord("E")], 0x01000000),
    ([ord("^")], 0x20000000),
    (list(range(0xC2, 0xF0)), 0x40000000),
    (list(range(0xF0, 0xF8)), 0x80000000),
]

# Classes after which a path element ends.
PATH_END = [0, 1, 4, 5, 6, 7, 8, 10, 13, 23, 28, 37, 38, 39]

# Datatype ids the states stand for (0: none).
T = {"string!": 7, "file!": 8, "url!": 9, "char!": 10, "integer!": 11, "float!": 12, "word!": 15,
     "set-word!": 16, "refinement!": 19, "issue!": 20, "path!": 25, "error!": 34, "pair!": 37,
     "percent!": 38, "tuple!": 39, "binary!": 41, "time!": 43, "tag!": 44, "email!": 45,
     "date!": 47, "money!": 49, "ref!": 50, "point2D!": 51}

INNER_TYPES = {
    "string!": [2, 3, 4, 5, 10, 11, 12], "file!": [6, 7, 8, 9],
    "word!": [13, 15, 41, 47, 48, 49, 51, 52, 54, 58, 61, 62, 64], "refinement!": [14],
    "issue!": [16, 22, 63], "binary!": [17], "char!": [19, 20], "integer!": [23, 40, 42, 60],
    "float!": [24, 25, 26, 27, 28, 50], "tuple!": [29], "date!": [30], "time!": [31, 32],
    "pair!": [33, 34], "point2D!": [35], "money!": [36, 37, 38], "tag!": [43, 44, 45, 46],
    "set-word!": [53], "url!": [55], "email!": [56], "ref!": [57], "path!": [59],
}

# Terminal states: number, token, datatype.
TERMINALS = [
    (66, "end of input", None), (67, "error", "error!"), (68, "[", None), (69, "]", None),
    (70, "(", None), (71, ")", None), (72, "{", None), (73, "} inside a brace string", "string!"),
    (74, "#[", None), (75, "word followed by /", None), (76, "#( ... )", None),
    (77, "; comment", None), (78, ",", None), (79, "double-quoted string", "string!"),
    (80, "word", "word!"), (81, "issue", "issue!"), (82, "integer", "integer!"),
    (83, "refinement", "refinement!"), (84, "character", "char!"), (85, "file", "file!"),
    (86, "binary", "binary!"), (87, "percent", "percent!"), (88, "decimal", "float!"),
    (89, "special decimal", "float!"), (90, "tuple", "tuple!"), (91, "date", "date!"),
    (92, "pair", "pair!"), (93, "point", "point2D!"), (94, "time", "time!"),
    (95, "money", "money!"), (96, "tag", "tag!"), (97, "url", "url!"), (98, "email", "email!"),
    (99, "hexadecimal integer", "integer!"), (100, "raw string", "string!"), (101, "ref", "ref!"),
]

# The token grammar: per state, its name and where each character class leads. A rule is
# a list of classes, "->", then the next state (a terminal written as number=token); rules
# are separated by "; ", and "any other class" covers the classes no rule names.
GRAMMAR = """
0 | start | blank LF control -> 0 start; ; -> 1 comment; " -> 2 string; % -> 6 file start; / -> 13 slash; # -> 16 sharp; 1-9 0 -> 23 integer; $ -> 36 money sign; E A-D F -> 40 hex letters; < -> 43 less; + - -> 47 sign; . -> 49 dot; ' : -> 51 quote or colon; at -> 57 ref; = -> 58 equal; end -> 66=end; } \ continuation illegal -> 67=ERROR; [ -> 68=[; ] -> 69=]; ( -> 70=(; ) -> 71=); { -> 72={; , -> 78=comma; any other class -> 52 word
1 | comment | illegal -> 67=ERROR; LF end -> 77=comment end; any other class -> 1 comment
2 | string | ^ -> 3 string escape; LF illegal end -> 67=ERROR; " -> 79=string; any other class -> 2 string
3 | string escape | illegal end -> 67=ERROR; any other class -> 2 string
4 | brace string | ^ -> 5 brace string escape; illegal end -> 67=ERROR; { -> 72={; } -> 73=}; any other class -> 4 brace string
5 | brace string escape | illegal end -> 67=ERROR; any other class -> 4 brace string
6 | file start | " -> 8 quoted file; % -> 9 percent signs; { -> 10 raw string body; : -> 54 quoted percent; illegal -> 67=ERROR; blank LF [ ] ( ) } ; at control end -> 80=word; any other class -> 7 file
7 | file | " illegal -> 67=ERROR; blank LF [ ] ( ) { } : ; at end -> 85=file; any other class -> 7 file
8 | quoted file | LF illegal end -> 67=ERROR; " -> 85=file; any other class -> 8 quoted file
9 | percent signs | % -> 9 percent signs; { -> 10 raw string body; illegal -> 67=ERROR; blank LF [ ] ( ) } " \ ; control end -> 80=word; any other class -> 7 file
10 | raw string body | } -> 11 raw string closing brace; illegal end -> 67=ERROR; any other class -> 10 raw string body
11 | raw string closing brace | } -> 11 raw string closing brace; % -> 12 raw string closing percents; illegal end -> 67=ERROR; any other class -> 10 raw string body
12 | raw string closing percents | % -> 12 raw string closing percents; blank LF [ ] ( ) { " < ; control end -> 100=raw string; any other class -> 67=ERROR
13 | slash | / -> 15 slash word; : -> 53 word colon; , illegal -> 67=ERROR; blank LF [ ] ( ) { } " # ; at control end -> 80=word; any other class -> 14 refinement
14 | refinement | : , illegal -> 67=ERROR; blank LF [ ] ( ) { } " / ; at control end -> 83=refinement; any other class -> 14 refinement
15 | slash word | / -> 15 slash word; % , $ illegal -> 67=ERROR; blank LF [ ] ( ) { } " # ; at control end -> 80=word; any other class -> 52 word
16 | sharp | { -> 17 binary; " -> 19 char; ( -> 21 construction; blank LF ] ) } : < > , illegal -> 67=ERROR; [ -> 74=#[; ; at control end -> 81=issue; any other class -> 22 issue
17 | binary | blank LF 1-9 0 x T h e E a-d f A-D F / = + word -> 17 binary; ; -> 18 binary comment; } -> 86=binary; any other class -> 67=ERROR
18 | binary comment | LF -> 17 binary; illegal end -> 67=ERROR; any other class -> 18 binary comment
19 | char | ^ -> 20 char escape; illegal end -> 67=ERROR; " -> 84=char; any other class -> 19 char
20 | char escape | illegal end -> 67=ERROR; any other class -> 19 char
21 | construction | illegal end -> 67=ERROR; ) -> 76=construction; any other class -> 21 construction
22 | issue | : / illegal -> 67=ERROR; blank LF [ ] ( ) { } " ; at control end -> 81=issue; any other class -> 22 issue
23 | integer | # -> 16 sharp; 1-9 0 ' -> 23 integer; . -> 24 decimal point; e -> 26 exponent; E -> 27 integer then E; T / - -> 30 date; : -> 31 time colon; x -> 33 pair x; A-D F -> 39 hex digits; h -> 42 digits then h; at -> 56 email; a-d f \ > = $ + ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 82=integer
24 | decimal point | 1-9 0 ' -> 25 decimal fraction; e E -> 26 exponent; # -> 28 special float; x -> 33 pair x; % -> 87=percent; blank LF [ ] ( ) { } " / < , ; control end -> 88=float; any other class -> 67=ERROR
25 | decimal fraction | 1-9 0 ' -> 25 decimal fraction; e E -> 26 exponent; . -> 29 tuple; x -> 33 pair x; at -> 56 email; # T h a-d f A-D F \ > = $ + - ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 88=float
26 | exponent | 1-9 0 + - -> 26 exponent; at -> 56 email; blank LF [ ] ( ) { } " : / < , ; control end -> 88=float; any other class -> 67=ERROR
27 | integer then E | + - -> 26 exponent; 1-9 0 -> 27 integer then E; . -> 29 tuple; E A-D F -> 40 hex letters; h -> 42 digits then h; at -> 56 email; # ' x T e a-d f \ > = ; $ ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 88=float
28 | special float | x T h e E a-d f A-D F > = . + - continuation word -> 28 special float; # ' : % at $ ^ illegal -> 67=ERROR; 1-9 -> 88=float; any other class -> 89=special float
29 | tuple | 1-9 0 . -> 29 tuple; blank LF [ ] ( ) { } " : / < ; control end -> 90=tuple; any other class -> 67=ERROR
30 | date | % , at ^ continuation illegal -> 67=ERROR; blank LF [ ] ( ) { } " < ; $ control end -> 91=date; any other class -> 30 date
31 | time colon | 1-9 0 -> 32 time; any other class -> 67=ERROR
32 | time | 1-9 0 : . -> 32 time; blank LF [ ] ( ) { } " / < ; control end -> 94=time; any other class -> 67=ERROR
33 | pair x | 1-9 0 + - -> 34 pair second; at -> 56 email; any other class -> 67=ERROR
34 | pair second | 1-9 0 e E . -> 34 pair second; at -> 56 email; blank LF [ ] ( ) { } " : / < ; control end -> 92=pair; any other class -> 67=ERROR
35 | point body | blank 1-9 0 ] # e E a-d f A-D F , . + - word -> 35 point body; ) -> 93=point; any other class -> 67=ERROR
36 | money sign | 1-9 0 -> 37 money digits; any other class -> 67=ERROR
37 | money digits | 1-9 0 ' -> 37 money digits; . -> 38 money fraction; blank LF [ ] ( ) { } " # : / < ; control end -> 95=money; any other class -> 67=ERROR
38 | money fraction | 1-9 0 ' -> 38 money fraction; blank LF [ ] ( ) { } " # : / < ; control end -> 95=money; any other class -> 67=ERROR
39 | hex digits | 1-9 0 E A-D F -> 39 hex digits; h -> 41 hex letters then h; at -> 56 email; any other class -> 67=ERROR
40 | hex letters | $ -> 37 money digits; 1-9 0 E A-D F -> 40 hex letters; h -> 41 hex letters then h; ' x T e a-d f < > = . + - ^ continuation word -> 52 word; : -> 53 word colon; at -> 56 email; % , illegal -> 67=ERROR; / -> 75=path slash; any other class -> 80=word
41 | hex letters then h | $ -> 37 money digits; : -> 53 word colon; at -> 56 email; # % , illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " \ ; control end -> 99=hex integer; any other class -> 52 word
42 | digits then h | $ -> 37 money digits; at -> 56 email; / -> 75=path slash; blank LF [ ] ( ) { } " \ < ; control end -> 99=hex integer; any other class -> 67=ERROR
43 | less | < -> 43 less; ' -> 46 tag single quote; > = - -> 52 word; : -> 53 word colon; illegal -> 67=ERROR; blank LF [ ] ( ) { } " ; control end -> 80=word; any other class -> 44 tag
44 | tag | " -> 45 tag double quote; ' -> 46 tag single quote; illegal end -> 67=ERROR; > -> 96=tag; any other class -> 44 tag
45 | tag double quote | " -> 44 tag; illegal end -> 67=ERROR; any other class -> 45 tag double quote
46 | tag single quote | ' -> 44 tag; illegal end -> 67=ERROR; any other class -> 46 tag single quote
47 | sign | 1-9 0 -> 23 integer; $ -> 37 money digits; . -> 49 dot; ' % ^ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word
48 | quoted sign | ' % $ ^ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word
49 | dot | 1-9 0 + - -> 50 dot digits; : -> 53 word colon; at -> 56 email; % , $ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word
50 | dot digits | x -> 33 pair x; 1-9 0 e E + - -> 50 dot digits; at -> 56 email; % -> 87=percent; blank LF [ ] ( ) { } " : / < control end -> 88=float; any other class -> 67=ERROR
51 | quote or colon | / -> 13 slash; < -> 43 less; + - -> 48 quoted sign; x T h e E a-d f A-D F > . ^ continuation word -> 52 word; % -> 54 quoted percent; = -> 58 equal; any other class -> 67=ERROR
52 | word | $ -> 36 money sign; : -> 53 word colon; at -> 56 email; % , illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ < ; control end -> 80=word; any other class -> 52 word
53 | word colon | < illegal -> 67=ERROR; blank LF [ ] ( ) { } " \ ; control end -> 80=word; any other class -> 55 url
54 | quoted percent | % -> 54 quoted percent; blank LF [ ] ( ) { } \ ; control end -> 80=word; any other class -> 67=ERROR
55 | url | > ^ illegal -> 67=ERROR; blank LF [ ] ( ) { } " \ < ; control end -> 97=url; any other class -> 55 url
56 | email | 1-9 0 x T h e E a-d f A-D F % . + - continuation word -> 56 email; # ' : > = , at $ ^ illegal -> 67=ERROR; any other class -> 98=email
57 | ref | # ' \ > = , at $ ^ illegal -> 67=ERROR; blank LF [ ] ( ) { } " < ; control end -> 101=ref; any other class -> 57 ref
58 | equal | # % , at $ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " : \ ; control end -> 80=word; any other class -> 52 word
59 | path element start | " -> 2 string; $ -> 36 money sign; < -> 43 less; at -> 57 ref; 1-9 0 -> 60 path integer; ' : -> 61 path quote or colon; x T h e E a-d f A-D F > = . continuation word -> 62 path word; # -> 63 path sharp; + - -> 64 path sign; ( -> 70=(; ) -> 71=); any other class -> 67=ERROR
60 | path integer | . -> 24 decimal point; e E -> 26 exponent; x -> 33 pair x; at -> 56 email; 1-9 0 ' -> 60 path integer; blank LF [ ] ( ) { } " : / < ; control end -> 82=integer; % -> 87=percent; any other class -> 67=ERROR
61 | path quote or colon | x T h e E a-d f A-D F < > = . + - continuation word -> 62 path word; any other class -> 67=ERROR
62 | path word | $ -> 36 money sign; at -> 56 email; # % , illegal -> 67=ERROR; blank LF [ ] ( ) { } " : / \ ; control end -> 80=word; any other class -> 62 path word
63 | path sharp | " -> 19 char; [ -> 21 construction; blank LF ] ( ) { } : / < > = , ; at control illegal end -> 67=ERROR; any other class -> 22 issue
64 | path sign | $ -> 36 money sign; at -> 56 email; 1-9 0 -> 60 path integer; x T h e E a-d f A-D F > = . continuation word -> 62 path word; + - -> 64 path sign; # ' < % , ^ illegal -> 67=ERROR; any other class -> 80=word
"""

STATES = 65
CLASS_COUNT = 40
FIRST_TERMINAL = 66


def class_names():
    names = {}
    for number, name, _ in CLASSES:
        for part in name.split(" "):
            names[part] = number
    return names


def parse_rules(text, names):
    """Yields (classes, target) per rule; classes is None for 'any other class'."""
    tokens = text.split()
    i = 0
    while i < len(tokens):
        classes = []
        while tokens[i] != "->":
            if tokens[i:i + 3] == ["any", "other", "class"]:
                classes = None
                i += 3
                continue
            if tokens[i] not in names:
                sys.exit(f"unknown class {tokens[i]!r} in: {text}")
            if names[tokens[i]] not in classes:  # "a-d f" names one class twice
                classes.append(names[tokens[i]])
            i += 1
        i += 1
        target = int(tokens[i].split("=")[0].rstrip(";"))
        while not tokens[i].endswith(";") and i + 1 < len(tokens):
            i += 1
        i += 1
        yield classes, target


def transitions():
    names = class_names()
    rows = {}
    for line in GRAMMAR.strip().splitlines():
        number, name, text = (field.strip() for field in line.split(" | ", 2))
        state = int(number)
        row = [None] * CLASS_COUNT
        other = None
        for classes, target in parse_rules(text, names):
            if classes is None:
                other = target
                continue
            for c in classes:
                if row[c] is not None:
                    sys.exit(f"state {state}: class {c} given twice")
                row[c] = target
        for c in range(CLASS_COUNT):
            if row[c] is None:
                if other is None:
                    sys.exit(f"state {state}: class {c} has no transition")
                row[c] = other
        if state in rows:
            sys.exit(f"state {state} given twice")
        rows[state] = (name, row)
    if sorted(rows) != list(range(STATES)):
        sys.exit("the grammar must give states 0 to 64")
    for state, (_, row) in rows.items():
        for target in row:
            if target == 65 or target > 101:
                sys.exit(f"state {state}: no state {target}")
    return rows


def class_table():
    table = [None] * 256
    for number, _, members in CLASSES:
        for b in members:
            if table[b] is not None:
                sys.exit(f"byte {b:02X} in two classes")
            table[b] = number
    missing = [b for b in range(256) if table[b] is None]
    if missing:
        sys.exit(f"bytes without a class: {missing}")
    for members, flag in FLAGS:
        for b in members:
            table[b] |= flag
    return table


def types():
    result = [0] * 102
    for name, states in INNER_TYPES.items():
        for s in states:
            result[s] = T[name]
    for number, _, name in TERMINALS:
        result[number] = T[name] if name else 0
    return result


def emit():
    rows = transitions()
    classes = class_table()
    state_types = types()
    names = {number: name for number, (name, _) in rows.items()}
    names.update({number: token for number, token, _ in TERMINALS})
    w = sys.stdout.write
    w("// Lexer tables, generated by tools/gen_lexer_tables.py from its grammar; edit the\n")
    w("// generator, never this file.\n\n")
    w(f"inline constexpr uint32_t lex_class_count = {CLASS_COUNT};\n")
    w(f"inline constexpr uint32_t lex_state_count = {STATES};\n")
    w(f"inline constexpr uint32_t lex_first_terminal = {FIRST_TERMINAL};\n")
    w("inline constexpr uint32_t lex_table_states = 102;\n\n")
    w("// Low byte: class; upper bits: flags.\n")
    w("inline constexpr uint32_t lex_classes[256] = {\n")
    for base in range(0, 256, 8):
        values = ", ".join(f"0x{classes[b]:08X}" for b in range(base, base + 8))
        w(f"    {values},  // {base:02X}\n")
    w("};\n\n")
    w("inline constexpr uint8_t lex_transitions[lex_state_count][lex_class_count] = {\n")
    for state in range(STATES):
        name, row = rows[state]
        w(f"    // {state} {name}\n")
        w("    {" + ", ".join(str(t) for t in row) + "},\n")
    w("};\n\n")
    w("inline constexpr uint8_t lex_skip[lex_table_states] = {1};\n\n")
    w("// Datatype id per state (0: none).\n")
    w("inline constexpr uint8_t lex_types[lex_table_states] = {\n")
    for base in range(0, 102, 17):
        values = ", ".join(f"{state_types[s]:2}" for s in range(base, min(base + 17, 102)))
        w(f"    {values},  // {base}\n")
    w("};\n\n")
    lines = [1 if c == 1 else 0 for c in range(CLASS_COUNT)]
    w("inline constexpr uint8_t lex_lines[lex_class_count] = {" + ", ".join(map(str, lines)) + "};\n\n")
    ends = [1 if c in PATH_END else 0 for c in range(CLASS_COUNT)]
    w("inline constexpr uint8_t lex_path_end[lex_class_count] = {" + ", ".join(map(str, ends)) + "};\n\n")
    w("inline constexpr const char* lex_state_names[lex_table_states] = {\n")
    for s in range(102):
        label = names.get(s, "")
        label = label.replace("\\", "\\\\").replace('"', '\\"')
        w(f'    "{label}",\n')
    w("};\n")


if __name__ == "__main__":
    emit()
