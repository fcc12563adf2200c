#!/bin/bash
# Files and directories as scripts meet them: each case runs a script in a new temporary folder
# that shell commands prepared first, and compares what it prints. `show [code]` prints the
# molded result, or "error <type> <id>".
set -u
tav=$(realpath "$1")
failures=0

# check NAME SETUP SCRIPT EXPECTED [INPUT-COMMAND]
check() {
  local name=$1 setup=$2 script=$3 expected=$4 input=${5:-}
  local dir actual
  dir=$(mktemp -d)
  (cd "$dir" && eval "$setup") || { echo "$name: setup failed"; failures=$((failures + 1)); rm -rf "$dir"; return; }
  {
    echo 'Tav []'
    echo 'show: func [code /local r] [r: try code either error? :r [print ["error" r/type r/id]] [print mold :r]]'
    printf '%s\n' "$script"
  } > "$dir/s.tav"
  if [ -n "$input" ]; then
    actual=$(cd "$dir" && eval "$input" | timeout 60 "$tav" s.tav 2>&1)
  else
    actual=$(cd "$dir" && timeout 60 "$tav" s.tav 2>&1 </dev/null)
  fi
  if [ "$actual" != "$expected" ]; then
    printf '%s\n--- expected\n%s\n--- actual\n%s\n' "$name" "$expected" "$actual"
    failures=$((failures + 1))
  fi
  rm -rf "$dir"
}

# ---- Text, lines and bytes ----------------------------------------------------------------
check "text and line writes end lines with LF" "" '
show [write %t.txt "a^/b" read/binary %t.txt]
show [write/lines %t.txt ["a" "b"] read/binary %t.txt]
show [write/lines %t.txt "a" read/binary %t.txt]
show [write/binary %t.txt "é^/" read/binary %t.txt]' \
'#{610A62}
#{610A620A}
#{610A}
#{C3A90A}'

check "reads turn CR LF and lone CR into LF and drop a byte-order mark" \
"printf '\xEF\xBB\xBFa\r\nb\rc' > t.txt; printf 'a\r\nb\n\nc' > l.txt; printf 'a\n' > one.txt" '
show [read %t.txt]
show [read/binary %t.txt]
show [read/lines %l.txt]
show [read/lines %one.txt]
show [write/binary %t.txt #{610D0A620A0A63} read/lines %t.txt]' \
'"a^/b^/c"
#{EFBBBF610D0A620D63}
["a" "b" "" "c"]
["a"]
["a" "b" "" "c"]'

check "an empty file gives the empty result of each form" "touch e" '
show [reduce [read %e read/binary %e read/lines %e read/part %e 0]]
show [reduce [read/part %e 5 read/seek %e 3]]' \
'["" #{} [] ""]
["" ""]'

check "seek, part and append" "" '
show [write %t.txt "abcdef" write/seek %t.txt "XY" 2 read %t.txt]
show [write/append %t.txt "g" read %t.txt]
show [reduce [read/part/seek %t.txt 2 1 read/seek %t.txt 100 read/part %t.txt 100]]
show [reduce [read/binary/part %t.txt 3 read/lines/seek %t.txt 5]]
show [write/seek %t.txt "Z" 0 read %t.txt]
show [write %t.txt "new" read %t.txt]' \
'"abXYef"
"abXYefg"
["bX" "" "abXYefg"]
[#{616258} ["fg"]]
"ZbXYefg"
"new"'

check "what is written from other values" "" '
show [write/part %t.txt "héllo" 2 read %t.txt]
show [write/part %t.txt next "abcdef" 2 read %t.txt]
show [write/binary/part %t.txt #{010203} 2 read/binary %t.txt]
show [write/binary/part %t.txt #{010203} 0 read/binary %t.txt]
show [write %t.txt [a "b" 1.5] read %t.txt]
show [write/lines %t.txt [a "b" #{01}] read %t.txt]
show [write/lines %t.txt [] read/binary %t.txt]
show [write %t.txt next "abc"]
show [write/part %t.txt "abc" -1]' \
'"hé"
"bc"
#{0102}
#{}
{[a "b" 1.5]}
{a^/b^/^A^/}
#{}
2
-1'

# ---- Errors ---------------------------------------------------------------------------------
check "failures raise their errors" "mkdir d; touch plain" '
show [read %none.txt]
show [write %no-dir/x.txt "a"]
show [read %d]
show [read %plain/]
show [write %d "a"]
show [write %"" "a"]
show [write/part %t.txt "abc" 1.5]
show [read/seek %plain 1.5]
show [write/lines %/dev/full ["a"]]
show [write %/dev/full "a"]
show [read/as %plain to word! "utf8"]
show [write/allow %plain "a" [read]]
show [rename %plain "x"]
show [exists? %plain]' \
'error access cannot-open
error access cannot-open
error access cannot-open
error access cannot-open
error access cannot-open
error access cannot-open
error script invalid-refine-arg
error script invalid-refine-arg
error access cannot-open
error access cannot-open
error internal not-done
error internal not-done
error script expect-arg
true'

check "invalid UTF-8 in a text read" "printf 'a\xFFb' > bad" '
show [read %bad]
show [read/binary %bad]' \
'error access invalid-utf8
#{61FF62}'

# ---- Pipes, devices, /proc and large files --------------------------------------------------
check "devices and /proc are read without a size" "" '
show [length? read/binary/part %/dev/urandom 16]
show [read/binary/part %/dev/zero 4]
show [read/binary/part/seek %/dev/zero 2 3]
show [0 < length? read %/proc/self/status]
show [read %/dev/null]' \
'16
#{00000000}
#{0000}
true
""'

check "standard input read through a pipe, in pieces" "" '
print read %/dev/stdin' 'abcd' "{ printf ab; sleep 0.3; printf cd; }"

check "a long stream through a pipe arrives whole" "" '
show [length? read/binary %/dev/stdin]' '5000000' "head -c 5000000 /dev/zero"

check "a FIFO keeps every byte" "mkfifo f; (printf 'x\ny\n' > f &)" '
show [read/lines %f]' '["x" "y"]'

check "a file above 2 GB is refused, its parts are not" "truncate -s 4294967306 big" '
show [read %big]
show [read/binary/part %big 4]
show [read/binary/part/seek %big 2 2147483000]' \
'error access cannot-open
#{00000000}
#{0000}'

# ---- Query, listing, delete, rename, folders ------------------------------------------------
check "query answers the modification time in UTC" \
"TZ=UTC touch -d '2020-01-02 03:04:05' t.txt; TZ=UTC touch -d '1999-12-31 23:59:59.123456789' m.txt; mkdir d" '
show [query %t.txt]
show [query %m.txt]
show [reduce [query %none.txt query %t.txt/ exists? %none.txt]]
show [date? query %d/]' \
'2-Jan-2020/3:04:05
31-Dec-1999/23:59:59.123
[none none false]
true'

check "a listing marks folders and never holds . or .." \
"touch a.txt .hidden; mkdir sub; ln -s sub link; ln -s nowhere dangling; touch sub/inner" '
show [sort read %./]
show [sort read %.]
show [read %sub/]
show [read %sub/.]
show [sort read %sub/..]
show [0 < length? find read %/ %tmp/]
show [read %none/]' \
'[%.hidden %a.txt %dangling %link/ %s.tav %sub/]
[%.hidden %a.txt %dangling %link/ %s.tav %sub/]
[%inner]
[%inner]
[%.hidden %a.txt %dangling %link/ %s.tav %sub/]
true
error access cannot-open'

check "delete, rename and folders" "touch a.txt; mkdir sub full; touch full/x" '
show [reduce [delete %sub/ exists? %sub/]]
show [reduce [delete %full/ exists? %full/x]]
show [reduce [delete %a.txt exists? %a.txt delete %a.txt]]
show [write %b.txt "b" reduce [rename %b.txt %c.txt exists? %b.txt read %c.txt]]
show [write %b.txt "B" reduce [rename %b.txt %c.txt read %b.txt read %c.txt]]
show [reduce [rename %none %x exists? %x]]
show [create-dir %d exists? %d/]
show [create-dir %d]
show [create-dir %no/d]
show [reduce [exists? %d exists? %d/ exists? %c.txt/]]' \
'[true false]
[false true]
[true false false]
[true false "b"]
[false "B" "b"]
[false false]
true
error access no-create
error access no-create
[true true false]'

# ---- Names ----------------------------------------------------------------------------------
check "names of any characters mold, load back and name their files" "" '
names: reduce [{a"b} "a^^b" "a^/b" "a^-b" "a^(01)b" "ü.txt" "a b" "a:b" "a%b"]
foreach name names [
    f: to file! name
    write f name
    unless all [equal? f transcode/one mold f  name = read f  find read %./ f] [print ["wrong:" mold f]]
]
show [mold %"a b"]
show [length? read %./]' \
'{%"a b"}
10'

check "names that are not UTF-8 keep their bytes" \
"printf x > \"\$(printf 'a\\xffb')\"; printf y > \"\$(printf '\\xc3')\"" '
foreach f sort read %./ [if f <> %s.tav [print [length? f read f] write f "z"]]
show [length? read %./]' \
'3 x
1 y
3'

check "paths through file, URL and e-mail values leave them unchanged" "" '
show [f: %a/b g: f/c reduce [f g type? g]]
show [u: http://a/b v: u/c reduce [u v]]
show [e: a@b.c reduce [e/user e/host e]]' \
'[%a/b %a/b/c file!]
[http://a/b http://a/b/c]
["a" "b.c" a@b.c]'

# ---- Load, save and folder helpers -------------------------------------------------------
check "load reads files and folders, save writes molded text, headers and codec bytes" "" '
show [write %a.txt "1 [2]" load %a.txt]
show [make-dir %d/ write %d/x.txt "" load %d/]
show [save %b.tav [a "b"] read %b.tav]
show [save/all %b.tav [a "b"] read %b.tav]
show [save %v.tavbin [1 "s" 2.5] copy/part read/binary %v.tavbin 6]
show [load %v.tavbin]
show [save/header %h.tav [print 1] make object! [Title: "T" Flag: false Note: none] read %h.tav]
show [save/length %l.tav [x] read/binary %l.tav]
show [load/next %a.txt (pick [r] 1)]
show [r]
show [load/part %a.txt 1]
show [load %missing.txt]' \
'[1 [2]]
[%x.txt]
{a "b"}
{a "b"^/}
#{54415642494E}
[1 "s" 2.5]
{Tav [^/^-Title: "T"^/]^/^/print 1}
#{546176205B0A096C656E6774683A20310A5D0A0A78}
1
#{205B325D}
1
error access cannot-open'


check "JSON files go through the JSON codec both ways" "printf '{\"a\": [1, \"\\\\u00e9\"]}' > in.json; printf '[1,' > bad.json" '
show [save %t.json reduce [1 "a" none] read %t.json]
show [load %t.json]
show [m: load %in.json m/a]
show [e: load %bad.json e/arg1]
show [save/as none make map! [k 1] (quote json)]
show [load/as to binary! "[true]" (quote json)]' \
'{[1,"a",null]}
[1 "a" none]
[1 "é"]
{Invalid JSON string. Line: 1 Index: 3 Column: 2 Near: ","}
{{"k":1}}
[true]'
check "a codec found by the suffix decodes and encodes the file itself" "printf abc > f.up" '
put system/codecs (pick [up] 1) make object! [
    Suffixes: [%.up]  Mime-Type: []
    decode: func [data] [reduce [type? data uppercase read data]]
    encode: func [value where] [write where form reduce [(pick [enc] 1) value] where]
]
show [load %f.up]
show [reduce [unset? save %g.up 5 read %g.up]]' \
'[file! "ABC"]
[true "enc 5"]'

check "make-dir makes one folder or a chain, and undoes a chain it cannot finish" "touch file" '
show [make-dir %x]
show [make-dir %x]
show [make-dir %""]
show [make-dir/deep %x/a/b/]
show [reduce [exists? %x/a/ exists? %x/a/b/]]
show [make-dir/deep %m/n]
show [make-dir/deep append append copy %x/p/ append/dup copy "" "n" 300 "/"]
show [reduce [exists? %x/p/ sort read %x/]]
show [make-dir %file/sub/]
show [make-dir/deep %file/sub/]
show [make-dir %no/such/]' \
'%x/
%x/
%""
%x/a/b/
[true true]
%m/n/
error access cannot-open
[false [%a/]]
error access no-create
error access cannot-open
error access no-create'

check "the current folder is read and changed through system/options/path" "mkdir -p x/a" '
t: what-dir
show [(change-dir %x/a/) = append copy t "x/a/"]
show [reduce [what-dir = get-current-dir what-dir = system/options/path]]
show [(normalize-dir (pick [b] 1)) = append copy t "x/a/b/"]
show [(normalize-dir %../c) = append copy t "x/c/"]
show [change-dir %nope/]
show [change-dir %../../nope]
show [(what-dir) = append copy t "x/a/"]
show [write %here.txt "" exists? append copy t "x/a/here.txt"]
show [(change-dir (pick [..] 1)) = append copy t "x/"]' \
'true
[true true]
true
true
error access cannot-open
error access cannot-open
true
true
true'

# ---- Executable flag and the current folder kept with system/options/path --------------------
check "flip-exe-flag switches the byte 92 after PE between 2 and 3 and touches nothing else" \
"python3 -c \"b=bytearray(200); b[10:12]=b'PE'; b[102]=2; b[150]=7; open('x.exe','wb').write(b); open('plain.bin','wb').write(bytes(range(50)))\"" '
orig: read/binary %x.exe
flip-exe-flag %x.exe
a: read/binary %x.exe
flip-exe-flag %x.exe
b: read/binary %x.exe
show [reduce [length? a pick a 103 pick b 103 pick a 151]]
poke a 103 2
show [reduce [a = orig b = orig]]
show [flip-exe-flag %plain.bin]
show [(read/binary %plain.bin) = #{000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F202122232425262728292A2B2C2D2E2F3031}]
show [flip-exe-flag %missing.exe]' \
'[200 3 2 7]
[true true]
error script expect-arg
true
error access cannot-open'

check "appending to system/options/path enters the folder once; a bad one puts back a path of its own" "mkdir -p sub/sub2" '
t: get-current-dir
append system/options/path %sub/
show [(get-current-dir) = append copy t %sub/]
show [system/options/path = get-current-dir]
old: system/options/path
show [append system/options/path %nope/]
show [(get-current-dir) = append copy t %sub/]
show [system/options/path = get-current-dir]
append old %sub2/
show [(get-current-dir) = append copy t %sub/]
insert tail system/options/path %sub2/
show [(get-current-dir) = append copy t %sub/sub2/]
show [system/options/path = get-current-dir]
clear skip tail system/options/path -5
show [(get-current-dir) = append copy t %sub/]
show [system/options/path = get-current-dir]' \
'true
true
error access cannot-open
true
true
true
true
true
true
true'

[ $failures -eq 0 ] && echo "files: ok"
[ $failures -eq 0 ]
