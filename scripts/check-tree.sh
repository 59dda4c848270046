#!/usr/bin/env bash
# Checks over the tracked files that no build can make: the layering of src/, no reference to a path
# outside the repository (a fresh clone has nothing beside it), and clang-format.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 2
failed=0

bash scripts/check-layering.sh || failed=1

# A relative path that climbs above the repository, or an absolute path of this machine's folders.
outside=$(git ls-files -z | xargs -0 grep -I -n -o -E '(\.\./)+[A-Za-z0-9_.-]+|/(work|home|root)/[A-Za-z0-9_.-]+' 2>/dev/null |
    while IFS=: read -r file line match; do
        case "$match" in
        /*) echo "$file:$line: $match"; continue ;;
        esac
        dir=$(dirname "$file")
        for base in "$dir" "."; do
            resolved=$(realpath -m "$root/$base/$match")
            case "$resolved" in "$root"/*) continue 2 ;; esac
        done
        echo "$file:$line: $match"
    done)
if [ -n "$outside" ]; then
    echo "tree: these tracked files refer to paths outside the repository:"
    echo "$outside"
    failed=1
else
    echo "tree: no path outside the repository"
fi

if command -v clang-format > /dev/null; then
    if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2> /tmp/telvaro-format.$$; then
        echo "tree: clang-format would change these files (make format):"
        sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: .*clang-format-violations.*/\1/p' /tmp/telvaro-format.$$ | sort -u | head -20
        failed=1
    else
        echo "tree: clang-format clean"
    fi
    rm -f /tmp/telvaro-format.$$
else
    echo "tree: clang-format missing (make deps)"
    failed=1
fi
exit "$failed"
