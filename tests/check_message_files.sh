#!/bin/sh
# Every language's message file holds exactly the module's 39 texts, each
# short enough for a notice on an 80-column console, and every language has
# its help file, in the same language, whose topics explain the dialog and
# its buttons, the command prefix, the signature forms, Escape and every
# notice a user can meet, quoting each as it is shown.
set -eu
export LC_ALL=C
status=0
fail() { echo "$1"; status=1; }

# Text N of a message file, without the hot-key marks.
message() { grep '^"' "$1" | sed -n "$(($2 + 1))p" | sed 's/^"//; s/"$//; s/&//g'; }

# A notice line wider than this loses its start: 80 columns less the frame.
widest=70
# Texts followed by a name or a count end in a colon.
headings="11 12 13 14 15 16 17 18 24 25 26 27 32 34 35 36 37"
# Every text a notice shows: the file error notice and its reasons, the
# completion notice, the closing notice and the full report's notices.
notices="6 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 26 27 28 29 30 31 32 34 35 37"

for file in "$1"/*.lng; do
  count=$(grep -c '^"' "$file" || true)
  [ "$count" -eq 39 ] || fail "$file: $count texts, want 39"
  language=$(head -n1 "$file")
  case "$language" in .Language=*) ;; *) fail "$file: no .Language line" ;; esac
  id=0
  while [ $id -lt "$count" ]; do
    text=$(message "$file" $id)
    [ ${#text} -le $widest ] || fail "$file: text $id is wider than $widest: $text"
    id=$((id + 1))
  done
  for id in $headings; do
    case "$(message "$file" $id)" in *:) ;; *) fail "$file: text $id does not end in a colon" ;; esac
  done
  help="${file%.lng}.hlf"
  [ -f "$help" ] || { fail "$file: no help file $help"; continue; }
  [ "$(head -n1 "$help")" = "$language" ] || fail "$help: not in the language of $file"
  # '#' turns emphasis on and off, '##' is the character itself: a line with
  # a lone one leaves the rest of its topic emphasised.
  sed 's/##//g' "$help" | awk -v help="$help" \
    '{ n = gsub(/#/, "#") } n % 2 { print help ": line " NR " has a lone #"; bad = 1 }
     END { exit bad }' || status=1
  grep -q '^@Contents' "$help" || { fail "$help: no topic Contents"; continue; }
  # The help as a whole: each thing is explained in the topic a link or F1
  # leads to (tests/check_help_topics.py holds the links to account).
  contents=$(sed 1,2d "$help")
  # The topic as the viewer flows it: a quoted text may span source lines.
  flowing=$(printf '%s\n' "$contents" | tr -s ' \n' '  ')
  # Verify, Create and Close, as the dialog labels them, and the closing
  # notice's button that writes the full report.
  for id in 2 3 5 33; do
    button=$(message "$file" $id)
    printf '%s\n' "$contents" | grep -qF -- "$button" || fail "$help: no button \"$button\""
  done
  for id in $notices; do
    text=$(message "$file" $id)
    printf '%s\n' "$flowing" | grep -qF -- "$text" || fail "$help: does not explain \"$text\""
  done
  for text in 'md5:' 'sigfile.md5' 'MD5 ('; do
    printf '%s\n' "$contents" | grep -qF -- "$text" || fail "$help: lacks \"$text\""
  done
  # The key by the name the host gives it.
  printf '%s\n' "$contents" | grep -qw 'Esc' || fail "$help: lacks the key Esc"
  printf '%s\n' "$contents" | grep -qE '[0-9a-f]{32} \*' ||
    fail "$help: lacks the asterisk form"
  printf '%s\n' "$contents" | grep -qE '[0-9a-f]{32}  [^ *]' ||
    fail "$help: lacks md5sum's default form"
done
exit $status
