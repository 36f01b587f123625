#!/usr/bin/env bash
# Runs a command (a stage's ctest) as the first process of a PID namespace of
# its own, so that whatever a test leaves running ends with the stage. Before
# it ends, each process still running besides this script is named, and the
# stage fails: a test that leaks a child is a fault to mend, not to miss.
# Without the rights for a namespace (not root) the command runs as it is.
set -u
if [ "${LARK_CONTAINED:-}" != 1 ]; then
  if unshare --pid --fork --kill-child --mount-proc true 2>/dev/null; then
    LARK_CONTAINED=1 exec unshare --pid --fork --kill-child --mount-proc bash "$0" "$@"
  fi
  echo "contained.sh: no PID namespace here; leftover processes are not checked" >&2
  exec "$@"
fi

"$@" &
wait $!
status=$?

# This script is PID 1 here: every other live process outlived its test.
left=0
for dir in /proc/[0-9]*; do
  pid=${dir#/proc/}
  [ "$pid" = 1 ] && continue
  read -r stat <"$dir/stat" 2>/dev/null || continue
  state=${stat##*) }
  [ "${state%% *}" = Z ] && continue  # ended, only not yet reaped
  cmd=$(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null)
  echo "left running after the tests: pid $pid: ${cmd:-?}" >&2
  left=1
done
if [ $left = 1 ]; then
  kill -KILL -1 2>/dev/null
  status=1
fi
exit $status
