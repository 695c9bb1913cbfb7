#!/usr/bin/env bash
# Copies the reliability table of the last full run in a build tree to docs/.
#   publish-reliability.sh [build dir, default build/win64]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
table=${1:-$repo/build/win64}/reliability.md
[ -f "$table" ] || { echo "publish-reliability.sh: no $table (run ctest -L reliability there first)" >&2; exit 1; }
cp "$table" "$repo/docs/reliability.md"
echo "docs/reliability.md: $(sed -n 's/^\*\*\(.*\)\*\*.*/\1/p' "$table" | head -n 1)"
