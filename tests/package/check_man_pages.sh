#!/usr/bin/env bash
# check_man_pages.sh USR VERSION
# Both installed manual pages render without a warning and carry VERSION, and
# each documents every option its program's --help lists; the brellix-cli
# page also every command and exit code.
set -euo pipefail
usr=$1 version=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

for page in brellix brellix-cli; do
    file=$usr/share/man/man1/$page.1.gz
    warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
    MANWIDTH=80 man -l "$file" | grep -q "Brellix $version" || fail "$page(1) does not say Brellix $version"
    # The source with its escapes undone is what a reader sees, without the
    # line breaks and hyphenation that rendering adds.
    source=$(zcat "$file" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
    help=$("$usr/bin/$page" --help)
    for option in $(grep -oE -- '(^|[ ,[|])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,[|' | sort -u); do
        grep -qE -- "(^|[^a-z-])$option([^a-z-]|\$)" <<<"$source" || fail "$page(1) does not document $option"
    done
    [ "$page" = brellix-cli ] || continue
    commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | grep -oE '^  [a-z]+' || true)
    [ -n "$commands" ] || fail "no commands found in brellix-cli --help"
    # A command's heading may be quoted with its first word: .BI "recipe new" ...
    for command in $commands; do
        grep -qE "^\.BI? \"?$command( |\$)" <<<"$source" || fail "$page(1) does not document the command $command"
    done
    codes=$(sed -n '/^Exit codes:/,/^$/p' <<<"$help" | grep -oE '^  [0-9]+' || true)
    [ -n "$codes" ] || fail "no exit codes found in brellix-cli --help"
    for code in $codes; do
        grep -qE "^\.B $code\$" <<<"$source" || fail "$page(1) does not document the exit code $code"
    done
done
exit $status
