#!/usr/bin/env bash
# Fails, naming the files, when any C or C++ source of the tree is not as .clang-format
# makes it. Debian 12's clang-format 14 is the reference; another version may format
# some lines otherwise. With --fix, formats them in place.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
fmt=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$fmt" ] || { echo "check-format: clang-format not found (run tools/setup-machine.sh)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  "$fmt" --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'check-format: not formatted (tools/check-format.sh --fix): %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
