#!/usr/bin/env bash
# The manual pages against the programs they describe: each page renders
# without a warning, carries the version the program's --version prints, and
# names every option the program's --help (and its subcommands') shows.
#
#   check-man-pages.sh VERSION MANDIR PROGRAM...    (the page of PROGRAM is MANDIR/NAME.1)
set -uo pipefail
version=$1
mandir=$2
shift 2
status=0
fail() {
  echo "$*"
  status=1
}

# The help of a program and of every subcommand under it (kv508ctl nests them).
helps() {
  local text sub
  text=$("$@" --help) || { fail "$* --help failed"; return; }
  printf '%s\n' "$text"
  for sub in $(printf '%s\n' "$text" | awk '/^Subcommands:/ { f = 1; next } f && /^$/ { f = 0 } f && /^  [a-z]/ { print $1 }'); do
    [ "$sub" = help ] || helps "$@" "$sub"
  done
}

for program in "$@"; do
  name=$(basename "$program")
  page="$mandir/$name.1"
  [ -f "$page" ] || { fail "$page is missing"; continue; }

  said=$("$program" --version)
  said=${said%%$'\n'*}
  [ "$said" = "$name $version" ] || fail "$name --version says '$said', not '$name $version'"
  grep -q "^\.TH \"$name\" \"1\" .* \"kv508 $version\"" "$page" || fail "$page does not carry version $version"

  lint=$(groff -k -man -ww -z "$page" 2>&1)
  [ -z "$lint" ] || fail "$page: $lint"

  # The page's text without font changes; an option counts only as a whole word.
  plain=$(sed -e 's/\\f[BIRP]//g' -e 's/\\&//g' "$page")
  help=$(helps "$program")
  for option in $(printf '%s\n' "$help" | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u) \
                $(printf '%s\n' "$help" | grep -oE -- '^ +-[a-zA-Z],--' | grep -oE -- '-[a-zA-Z]' | sort -u); do
    # A here-string, not a pipe: grep -q stops at the first match, and under
    # pipefail the writer's SIGPIPE would count as a miss.
    grep -qE -- "(^|[^a-zA-Z0-9-])$option([^a-zA-Z0-9-]|\$)" <<<"$plain" ||
      fail "$page does not describe $option, which $name --help shows"
  done
done
exit $status
