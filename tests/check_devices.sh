#!/bin/sh
# Checks that null, zero and full in a folder (/dev unless another is given)
# are still character devices. A test writes only inside its own scratch
# folder; a refusal that broke once replaced this machine's devices with
# regular files, so scripts/test ends with this check however the run ends.
# Exit status 1, with the damaged names, when any is not.
folder=${1:-/dev}
damaged=""
for name in null zero full; do
  [ -c "$folder/$name" ] || damaged="$damaged $folder/$name"
done
[ -z "$damaged" ] && exit 0
cat >&2 <<END

!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
!!! DAMAGED:$damaged no longer character device(s): a test wrote outside
!!! its scratch folder, and every program here that uses them is at risk.
!!! Make them again as root, for instance
!!!   rm -f /dev/null && mknod -m 666 /dev/null c 1 3
!!! (/dev/zero is c 1 5, /dev/full c 1 7), then find the test.
!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!!
END
exit 1
