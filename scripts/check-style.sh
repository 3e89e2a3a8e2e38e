#!/usr/bin/env bash
# The project's one formatting style: every C++ file git tracks must be as
# the root .clang-format leaves it. Names the files that are not and ends
# with "N passed, M failed" (one case: the whole tree).
set -uo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if report=$(clang-format --dry-run -Werror "${files[@]}" 2>&1); then
    echo "style: ${#files[@]} files as .clang-format keeps them"
    echo "1 passed, 0 failed"
else
    grep -E '^[^ ]+:[0-9]+:[0-9]+: (error|warning):' <<<"$report" | cut -d: -f1 | sort -u |
        sed 's/^/not formatted: /'
    echo "fix with: clang-format -i FILE"
    echo "0 passed, 1 failed"
    exit 1
fi
