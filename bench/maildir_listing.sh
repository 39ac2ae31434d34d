#!/usr/bin/env bash
# Lists a Maildir Inbox of 10,000 voice mails (16 KiB attachment each): the
# first listing, the cached one, one after another program changed a mail,
# and the peak resident memory of the process holding the store open.
# Usage: bench/maildir_listing.sh MAILDIR_LISTING [COUNT]
set -euo pipefail
bin=$1
count=${2:-10000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bin" fill "$work/Mail" "$count"
# The page cache is warm from the fill: this is the figure of a store in use.
"$bin" list "$work/Mail"
