#!/usr/bin/env bash
# format.sh [--check]: formats every tracked .cpp and .h file in place with clang-format-14 and
# the .clang-format at the root.
#   --check   changes nothing; lists the files whose formatting differs and exits with status 1
#             when there are any
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
# Another version formats some constructs differently: the house format is clang-format 14's.
formatter=$(command -v clang-format-14 || true)
if [[ -z "$formatter" ]]; then
  echo "format.sh: clang-format-14 is not installed (bash scripts/install-deps.sh installs it)" >&2
  exit 2
fi
mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if ((${#files[@]} == 0)); then
  echo "format.sh: no tracked .cpp or .h files" >&2
  exit 2
fi
if ((check == 0)); then
  printf '%s\0' "${files[@]}" | xargs -0 -n 50 "$formatter" -i --style=file
  exit 0
fi
differ=0
for f in "${files[@]}"; do
  # A file the formatter cannot read or parse counts as differing (its message is shown).
  if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    differ=$((differ + 1))
  fi
done
if ((differ > 0)); then
  echo "format.sh: $differ of ${#files[@]} files differ from the format (bash scripts/format.sh formats them)" >&2
  exit 1
fi
echo "format.sh: all ${#files[@]} files follow the format"
