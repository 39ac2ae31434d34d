#!/usr/bin/env bash
# Usage: sent_taken.sh MAILDIR
# A Maildir whose .Sent is a directory of another program's, not a folder.
set -eu
mkdir -p "$1/cur" "$1/new" "$1/tmp" "$1/.Drafts/cur" "$1/.Drafts/new" "$1/.Drafts/tmp" "$1/.Sent"
printf 'x' >"$1/.Sent/index"
