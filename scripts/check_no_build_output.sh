#!/usr/bin/env bash
# Fails when git tracks something a build makes: a program or shared library
# (ELF), an object file, a static archive. CI runs it on the clean clone.
set -euo pipefail
cd "$(dirname "$0")/.."
found=$(
  {
    git ls-files -z | xargs -0 -r file -N -- | grep -E ':[[:space:]]*(ELF|current ar archive)' | cut -d: -f1
    git ls-files -- '*.o' '*.a' '*.so' '*.so.*'
  } | sort -u
)
[ -z "$found" ] && exit 0
echo "check_no_build_output: git tracks build output; remove it with git rm --cached and keep it ignored:" >&2
sed 's/^/  /' <<<"$found" >&2
exit 1
