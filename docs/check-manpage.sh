#!/bin/bash
# check-manpage.sh PAGE PROGRAM [COMMAND...]: fails when the manual page PAGE does not hold
# every usage line, option entry and paragraph of "PROGRAM --help" and of each
# "PROGRAM COMMAND --help" as the program prints them now, so a stale page is caught.
# Exits 77 (skipped) without groff.
set -u

page=$1 program=$2
shift 2

if ! command -v groff > /dev/null; then
  echo "groff is not installed: skipped"
  exit 77
fi

# The page as text, every run of white space one space: lines as wide as the longest paragraph,
# so no word is hyphenated, and no bold or underlining.
text=$(groff -man -Tascii -rLL=10000n -P-cbou "$page" | tr -s '[:space:]' ' ')
if [[ -z $text ]]; then
  echo "FAIL: $page renders to nothing"
  exit 1
fi

# The blocks of a help text, one a line, white space collapsed: each "Usage:" line without its
# label; each indented entry with the more deeply indented lines that go on with it; each
# paragraph of plain lines. A heading ("Options:") is left out: help2man makes it a section.
blocks() {
  awk '
    function flush() { if (block != "") print block; block = "" }
    function add(s) {
      gsub(/[[:space:]]+/, " ", s); sub(/^ /, "", s); sub(/ $/, "", s)
      block = block == "" ? s : block " " s
    }
    { line[NR] = $0 }
    END {
      entry = -1  # indentation of the entry being read, if any
      for (i = 1; i <= NR; i++) {
        s = line[i]
        if (s ~ /^[[:space:]]*$/) { flush(); entry = -1; continue }
        if (s ~ /^Usage: /) { flush(); add(substr(s, 8)); flush(); entry = -1; continue }
        match(s, /^[[:space:]]*/)
        if (entry >= 0 && RLENGTH > entry) { add(s); continue }
        if (RLENGTH > 0) { flush(); entry = RLENGTH; add(s); continue }
        if (entry >= 0) { flush(); entry = -1 }
        if (block == "" && s ~ /:$/ && line[i + 1] ~ /^[[:space:]]+[^[:space:]]/) continue
        add(s)
      }
      flush()
    }
  '
}

failures=0 checked=0
check() {
  local help
  if ! help=$(LC_ALL=C LANGUAGE='' "$program" "$@" --help); then
    echo "FAIL: '$program $* --help' failed"
    failures=$((failures + 1))
    return
  fi
  while IFS= read -r block; do
    checked=$((checked + 1))
    if [[ $text != *"$block"* ]]; then
      echo "FAIL: $page lacks what '${program##*/} $* --help' says: $block"
      failures=$((failures + 1))
    fi
  done < <(blocks <<< "$help")
}

check
for command in "$@"; do
  check "$command"
done
echo "$checked blocks checked, $failures missing"
((failures == 0 && checked > 0))
