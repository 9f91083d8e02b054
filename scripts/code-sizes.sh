#!/usr/bin/env bash
# The largest files and functions of the core (everything below app/ and cli/, tests aside), or
# of the folders given:
#   scripts/code-sizes.sh [N] [FOLDER...]   the N largest of each (5 unless given); needs
#                                           universal-ctags.
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-5}
shift $(($# > 0 ? 1 : 0))
core="foundation song instruments modules storage loading playback platform settings"
if [ $# -gt 0 ]; then core="$*"; fi
sources() { for d in $core; do git ls-files "$d/*.cpp" "$d/*.h"; done; }
echo "largest files (lines):"
sources | xargs wc -l | grep -v ' total$' | sort -rn | sed -n "1,${count}p"
echo "largest functions (lines, start, name):"
sources | xargs ctags --sort=no --c++-kinds=f --fields=+ne -o - 2>/dev/null |
    awk -F'\t' '{ line = ""; end = ""
                  for (i = 4; i <= NF; i++) { if ($i ~ /^line:/) line = substr($i, 6)
                                              if ($i ~ /^end:/) end = substr($i, 5) }
                  if (end != "") print end - line + 1, $2 ":" line, $1 }' |
    sort -rn | sed -n "1,${count}p"
