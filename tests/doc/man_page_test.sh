#!/usr/bin/env bash
# A hand-written man page against its program. man must format it without a word and
# lexgrog must find its NAME; every subcommand the program's --help lists must have a line
# of the SYNOPSIS; every option in an "Options:" list of --help, or of a subcommand's
# --help, must be an item of OPTIONS, under a heading that names that subcommand unless the
# option is one of the program's own; any other --name the help mentions must be on the
# page; every preset must be in PRESETS with the settings the help gives it, and no other;
# and the page must carry the program's version.
#   man_page_test.sh PAGE PROGRAM
set -uo pipefail
page=$1
program=$2
name=$(basename "$program")
source "$(dirname "$0")/../support/checks.sh"

# As lintian formats it: any message from man or groff is a fault of the page.
messages=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
check "man formats the page of $name without a warning" test -z "$messages"
[ -z "$messages" ] || echo "$messages"
check "lexgrog reads the page's NAME line" \
  bash -c "lexgrog \"\$1\" | grep -qF \": \\\"$name - \"" _ "$page"

# The page as a reader sees it, without overstrikes or tabs, lines as long as they come.
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null | col -bx)
section() { awk -v title="$1" '/^[A-Z]/ { inside = ($0 == title); next } inside' <<<"$text"; }

# The OPTIONS items as "heading<TAB>--name", from the source: the line after .TP or .TQ is
# an item's tag, and .SS starts a heading.
items=$(awk '
  /^\.SH/ { sh = $0; sub(/^\.SH +/, "", sh); gsub(/"/, "", sh); ss = ""; next }
  /^\.SS/ { ss = $0; sub(/^\.SS +/, "", ss); gsub(/"/, "", ss); next }
  /^\.T[PQ]/ { tag = 1; next }
  tag {
    tag = 0
    if (sh != "OPTIONS") next
    line = $0
    gsub(/\\-/, "-", line)
    while (match(line, /--[a-z][a-z-]*/)) {
      print ss "\t" substr(line, RSTART, RLENGTH)
      line = substr(line, RSTART + RLENGTH)
    }
  }' "$page")

# The --names in the first column of the "Options:" list of a help text.
listed_options() {
  awk '/^Options:$/ { inside = 1; next }
       inside && !/^ / { inside = 0 }
       inside && /^ +-/ { sub(/^ +/, ""); split($0, column, /  +/); print column[1] }' <<<"$1" |
    grep -oE -- '--[a-z][a-z-]*' | sort -u
}

help=$("$program" --help)
own=$(listed_options "$help")
check "$name --help lists options" test -n "$own"
undocumented=""
for option in $own; do
  cut -f2 <<<"$items" | grep -qxF -- "$option" || undocumented+=" $option"
done
check "the page has an item for each of $name's own options" test -z "$undocumented"
[ -z "$undocumented" ] || echo "not an item of OPTIONS:$undocumented"

subcommands=$(awk '/^Subcommands:$/ { inside = 1; next } inside && /^[a-z][a-z-]*$/' <<<"$help")
synopsis=$(section SYNOPSIS)
for sub in $subcommands; do
  check "the SYNOPSIS has a line for $name $sub" grep -qE "^ +$name $sub( |\$)" <<<"$synopsis"
  sub_help=$("$program" "$sub" --help)
  options=$(listed_options "$sub_help")
  check "$name $sub --help lists options" test -n "$options"
  undocumented=""
  for option in $options; do
    grep -qxF -- "$option" <<<"$own" && continue
    cut -f1 < <(grep -P "\t\Q$option\E\$" <<<"$items") | grep -qw -- "$sub" ||
      undocumented+=" $option"
  done
  check "the page has an item for each option of $sub, under a heading naming $sub" \
    test -z "$undocumented"
  [ -z "$undocumented" ] || echo "not under a heading naming $sub:$undocumented"
  help+=$'\n'$sub_help
done

# Whatever else the help calls an option, such as a note's "--in and --out".
unmentioned=$(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u | while read -r option; do
                grep -qF -- "$option" <<<"$text" || echo "$option"; done)
check "the page mentions every --name of $name's help" test -z "$unmentioned"
[ -z "$unmentioned" ] || echo "not on the page:" $unmentioned

presets=$(sed -nE 's/^  "([^"]+)" \(([0-9]+) ms, ([0-9]+) repeats, volume ([0-9]+)%\)$/\1|\2|\3|\4/p' \
            <<<"$help" | sort -u)
if [ -n "$presets" ]; then
  on_page=$(section PRESETS)
  missing=""
  while IFS='|' read -r preset delay repeats volume; do
    grep -qxE " +$preset +$delay ms, $repeats repeats, volume $volume%" <<<"$on_page" ||
      missing+=" \"$preset\""
  done <<<"$presets"
  check "PRESETS has every preset with its settings" test -z "$missing"
  [ -z "$missing" ] || echo "missing or different:$missing"
  count=$(grep -cE ' ms, [0-9]+ repeats, volume [0-9]+%$' <<<"$on_page")
  check "PRESETS has no preset the program lacks ($count on the page)" \
    test "$count" -eq "$(wc -l <<<"$presets")"
fi

version=$("$program" --version)
check "the page is of the program's version ($version)" \
  bash -c "tail -n 1 <<<\"\$1\" | grep -qF -- \"\$2\"" _ "$text" "$version"

finish
