#!/bin/sh
# Tries tests/check_devices.sh on a folder it makes: three character devices
# pass; a regular file, a FIFO or nothing in place of one fails, naming it.
# The devices are made with /dev/full's numbers, which take no data. Exits
# 77 (skipped) where devices cannot be made here.
set -u
check=$(dirname "$0")/check_devices.sh
scratch=$(mktemp -d "${TMPDIR:-/tmp}/sumbrel-devices-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0

make_devices() {
  rm -rf "$scratch/dev" && mkdir "$scratch/dev" || exit 1
  for device in null zero full; do
    mknod -m 666 "$scratch/dev/$device" c 1 7 2>/dev/null || {
      echo "skipped: character devices cannot be made here"
      exit 77
    }
  done
}

# expect STATUS DAMAGED-NAME-OR-EMPTY WHAT
expect() {
  output=$("$check" "$scratch/dev" 2>&1)
  status=$?
  if [ "$status" -ne "$1" ]; then
    echo "FAILED: $3: status $status, not $1"; failures=$((failures + 1))
  elif [ -n "$2" ] && ! printf '%s' "$output" | grep -q "DAMAGED:.*$scratch/dev/$2"; then
    echo "FAILED: $3: the notice does not name $2:"; echo "$output"; failures=$((failures + 1))
  else
    echo "ok: $3"
  fi
}

make_devices
expect 0 "" "three character devices pass"
for name in null zero full; do
  make_devices
  rm "$scratch/dev/$name" && echo damaged >"$scratch/dev/$name"
  expect 1 "$name" "a regular file in place of $name fails"
done
make_devices
rm "$scratch/dev/zero" && mkfifo "$scratch/dev/zero"
expect 1 zero "a FIFO in place of zero fails"
make_devices
rm "$scratch/dev/full"
expect 1 full "full missing fails"
[ "$failures" -eq 0 ]
