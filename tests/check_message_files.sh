#!/bin/sh
# Every language's message file holds exactly the module's 11 texts, and every
# language has its help file with the topic "Contents".
set -eu
status=0
for file in "$1"/*.lng; do
  count=$(grep -c '^"' "$file" || true)
  if [ "$count" -ne 11 ]; then echo "$file: $count texts, want 11"; status=1; fi
  head -n1 "$file" | grep -q '^\.Language=' || { echo "$file: no .Language line"; status=1; }
  help="${file%.lng}.hlf"
  [ -f "$help" ] || { echo "$file: no help file $help"; status=1; continue; }
  grep -q '^@Contents' "$help" || { echo "$help: no topic Contents"; status=1; }
done
exit $status
