#!/bin/sh
# Runs a command that must be refused and reports, on standard output, every way in which
# the refusal was not clean; the command's own standard error passes through.
#
#   refused.sh STATUS CHECK LIMIT COMMAND [ARGS...]
#
# STATUS is the exit status the command must end with; CHECK, unless empty, a shell
# condition that must still hold afterwards (the target was left as it was); LIMIT, unless
# empty, the address space in kilobytes the command may use (ulimit -v).
status=$1
check=$2
limit=$3
shift 3
out=$(mktemp) || exit 1
(
    if [ -n "$limit" ]; then ulimit -v "$limit" || exit 99; fi
    exec "$@" >"$out"
)
code=$?
if [ -s "$out" ]; then
    echo "wrote to standard output: $(head -c 200 "$out")"
fi
rm -f "$out"
[ "$code" -eq "$status" ] || echo "exited with $code instead of $status"
if [ -n "$check" ] && ! sh -c "$check"; then
    echo "touched its target: ($check) no longer holds"
fi
exit 0
