#!/bin/sh
# The product's sources stay readable: no file over 700 lines, no function over
# 120 (generated code, tests, benchmarks and fuzz targets aside). Functions are
# found by universal-ctags (Debian: universal-ctags). Prints each offender;
# exits 1 if there is any.
set -eu
root="$1"
cd "$root"
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null | grep -v -e '^tests/' -e '^bench/' -e '^fuzz/' || true)
[ -n "$files" ] || files=$(find comm app ctl sim instrument \( -name '*.cpp' -o -name '*.h' \) | sort)
status=0
for f in $files; do
  [ -f "$f" ] || continue
  n=$(wc -l < "$f")
  if [ "$n" -gt 700 ]; then
    echo "$f: $n lines (at most 700)"
    status=1
  fi
done
long=$(printf '%s\n' $files | ctags --languages=C++ --kinds-C++=f --fields=+ne -x \
  --_xformat='%N %F %n %{end}' -L - | awk '$4 != "" { l = $4 - $3 + 1; if (l > 120) print $2 ":" $3 ": " $1 " is " l " lines (at most 120)" }')
if [ -n "$long" ]; then
  echo "$long"
  status=1
fi
exit $status
