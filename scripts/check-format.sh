#!/usr/bin/env bash
# Checks that every C++ file of the project follows .clang-format; with --fix, formats them.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
format=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.cc' '*.hpp' | grep -Ev '^(build|third_party)/')
if [ "${1:-}" = "--fix" ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  if ! "$format" --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "format: ${#bad[@]} file(s) differ from .clang-format (scripts/check-format.sh --fix formats them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ok (${#files[@]} files)"
