#!/usr/bin/env bash
# Checks the manual pages against the programs: the pages format without
# warnings, and sga(1) documents every command and every option that the
# built sga offers (its own --help is the list), each command with all its
# arguments in the SYNOPSIS.
#
# Usage: check-manpages.sh SGA_PROGRAM MAN_SOURCE_DIR HAVE_WINDOW
set -euo pipefail
source "$(dirname "$0")/common.sh"

sga=$1
manDir=$2
window=$(is_on "$3")
command -v groff >/dev/null || { echo "groff is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Plain text, long lines (no wrapping inside a synopsis line), no hyphenation.
render() {
    groff -man -Tascii -ww -rLL=250n -rHY=0 -P-cbou "$1" 2>"$work/warnings" ||
        fail "groff cannot format $1"
    [[ ! -s $work/warnings ]] || fail "groff warns about $1: $(cat "$work/warnings")"
}

pages=(sga)
((window)) && pages+=(sgaview)
for page in "${pages[@]}"; do
    render "$manDir/$page.1" >"$work/$page.txt"
done
page=$work/sga.txt

# The names in one section of a --help text ("Options:", "Subcommands:"):
# the first word of each entry; a long entry continues on lines indented deeper.
help_section() {
    awk -v title="$1" '$0 == title { on = 1; next } on && /^$/ { exit } on && /^  [^ ]/ { print $1 }'
}
# The names of one option: "-l,--long" -> -l --long, leaving out the help option.
option_names() {
    tr ',' '\n' | grep -v -x -e '-h' -e '--help' || true
}
synopsis() {
    awk '/^SYNOPSIS/ { on = 1; next } /^[A-Z]/ { on = 0 } on { sub(/^ +/, ""); print }' "$page"
}
# Whether $2 occurs in $1 as a whole word (options sit between spaces, [ ] and |).
has_word() {
    grep -q -E -- "(^|[][ |])$(printf '%s' "$2" | sed 's/[.[\*^$]/\\&/g')([][ |]|$)" <<<"$1"
}

topHelp=$("$sga" --help)
for flag in --help --version; do
    grep -q -- "$flag" <<<"$topHelp" || fail "sga --help no longer lists $flag: update this test"
    has_word "$(synopsis)" "$flag" || fail "sga(1) SYNOPSIS lacks $flag"
done

mapfile -t commands < <(help_section "Subcommands:" <<<"$topHelp")
((${#commands[@]} > 0)) || fail "no commands found in sga --help"
for cmd in "${commands[@]}"; do
    line=$(synopsis | grep -E "^sga $cmd( |$)" | head -n 1) ||
        fail "sga(1) SYNOPSIS has no line for \"sga $cmd\""
    grep -q -E "^ +$cmd( |$)" "$page" || fail "sga(1) has no entry for the command $cmd"
    help=$("$sga" "$cmd" --help)
    mapfile -t positionals < <(help_section "Positionals:" <<<"$help")
    for arg in "${positionals[@]}"; do
        has_word "$line" "$arg" || fail "\"sga $cmd\" in the SYNOPSIS lacks the argument $arg"
    done
    # Every option somewhere in the page, at least one of its names in the SYNOPSIS.
    while read -r spelling; do
        [[ -n $spelling ]] || continue
        inSynopsis=0
        for name in $(option_names <<<"$spelling"); do
            grep -q -- "$name" "$page" || fail "sga(1) does not mention $name of \"sga $cmd\""
            has_word "$line" "$name" && inSynopsis=1
        done
        names=$(option_names <<<"$spelling" | xargs)
        [[ -z $names ]] || ((inSynopsis)) ||
            fail "\"sga $cmd\" in the SYNOPSIS lacks $names"
    done < <(help_section "Options:" <<<"$help")
done

echo "manual pages OK: ${pages[*]}; commands: ${commands[*]}"
