#!/bin/bash
# check-completion.sh PROGRAM COMPLETION: completes command lines of pelorin-cli with the
# completion file COMPLETION, as bash-completion loads it, and checks what is offered: the
# commands, options and fixed values, file names filtered by what each command reads, and that
# each command offers exactly the options its --help lists. Exits 77 (skipped) without
# bash-completion.
set -u

program=$(realpath "$1") completion=$(realpath "$2")
main=${BASH_COMPLETION_MAIN:-/usr/share/bash-completion/bash_completion}
if [[ ! -r $main ]]; then
  echo "bash-completion is not installed: skipped"
  exit 77
fi
# shellcheck source=/dev/null
source "$main" || exit 1
# shellcheck source=/dev/null
source "$completion" || exit 1

folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir sub
touch a.wav b.flac c.mmf d.txt e.WAV sub/f.ogg sub/g.txt

# What pressing Tab after LINE offers, sorted, one line: the words as readline splits them, at
# spaces and around "=" (a line ending in a space completes an empty word).
offered() {
  local COMP_LINE=$1 COMP_POINT=${#1} COMP_WORDS COMP_CWORD COMPREPLY=()
  read -ra COMP_WORDS <<< "${COMP_LINE//=/ = }"
  [[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _pelorin_cli pelorin-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  if ((${#COMPREPLY[@]})); then printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '; fi
}

failures=0
expect() {
  local line=$1 want=$2 got
  got=$(offered "$line")
  if [[ $got != "$want" ]]; then
    echo "FAIL: '$line' offers '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}

sounds='a.wav b.flac e.WAV sub'
while IFS='|' read -r line want; do
  expect "$line" "$want"
done << EOF
pelorin-cli |--help --version convert decode info inspect
pelorin-cli in|info inspect
pelorin-cli convert --st|--start
pelorin-cli convert --norm|--normalize --normalize=
pelorin-cli convert --rate |4000 8000
pelorin-cli convert --rate=|4000 8000
pelorin-cli convert --trim-silence=|
pelorin-cli convert --variant |0 1 2
pelorin-cli convert --quality |high standard
pelorin-cli convert --encoding |cp1252 cp932 utf-8
pelorin-cli convert |$sounds
pelorin-cli convert --trim-silence |$sounds
pelorin-cli convert -- --ra|
pelorin-cli convert sub/|sub/f.ogg
pelorin-cli convert -d |sub
pelorin-cli convert --preview |a.wav e.WAV sub
pelorin-cli convert -o |c.mmf sub
pelorin-cli inspect --json |$sounds
pelorin-cli info |c.mmf sub
pelorin-cli decode c.mmf -o |a.wav e.WAV sub
pelorin-cli decode -|--help -o
EOF

# Options whose value is free text, a number or a time offer nothing, not file names.
for option in --title --copyright -j --jobs --start --length --end --fade-in --fade-out; do
  expect "pelorin-cli convert $option " ""
done

# Each command offers exactly the options its --help lists, in its usage line or its table of
# options, and --help, which every command takes ("--normalize=" counts as --normalize).
help_options() {
  LC_ALL=C LANGUAGE='' "$program" "$@" --help |
    { grep -E "^(Usage:| {1,8}-)"; echo " --help"; } |
    grep -oE "(^|[ ,[])--?[a-z][-a-z0-9]*" | tr -d " ,[" | LC_ALL=C sort -u |
    paste -sd ' '
}
for command in '' convert inspect info decode; do
  want=$(help_options $command)
  got=$(offered "pelorin-cli ${command:+$command }-" | tr ' ' '\n' | sed 's/=$//' |
    LC_ALL=C sort -u | paste -sd ' ')
  if [[ -z $want || $got != "$want" ]]; then
    echo "FAIL: 'pelorin-cli $command' completes '$got' but its --help lists '$want'"
    failures=$((failures + 1))
  fi
done

echo "$failures failed"
((failures == 0))
