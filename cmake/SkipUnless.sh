#!/usr/bin/env bash
# Runs a test's command when what it needs is there; otherwise names what is missing and ends
# with status 77, which CTest counts as skipped (SKIP_RETURN_CODE 77).
#   SkipUnless.sh NEEDED... -- COMMAND [ARG]...
# A NEEDED with a slash is a file or folder that must exist; any other is a program on PATH.
set -uo pipefail
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    */*) [ -e "$1" ] || { echo "SKIPPED: $1 is missing (bash scripts/install-deps)"; exit 77; } ;;
    *) command -v "$1" >/dev/null 2>&1 || { echo "SKIPPED: $1 is not installed (bash scripts/install-deps)"; exit 77; } ;;
  esac
  shift
done
[ $# -gt 1 ] || { echo "SkipUnless.sh: no command after --" >&2; exit 2; }
shift
exec "$@"
