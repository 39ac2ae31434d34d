#!/usr/bin/env bash
# Usage: folders.sh MAILDIR
# Makes a Maildir++ tree as IMAP servers, mbsync, mutt and notmuch leave one:
# folder names in modified UTF-7, folders inside folders, notmuch's index,
# directories and a file that are no mail folders, and a few mails.
set -eu
root=$1
folder() { mkdir -p "$root/$1/cur" "$root/$1/new" "$root/$1/tmp"; }
mail() {  # FOLDER FILE SUBJECT
  printf 'From: Kim <kim@example.org>\r\nTo: me@example.org\r\nSubject: %s\r\nDate: Mon, 09 Dec 2024 10:00:00 +0000\r\nMessage-ID: <%s@example.org>\r\n\r\nHello.\r\n' \
    "$3" "${2%%:*}" >"$root/$1/$2"
}
folder .
folder .Sent
folder .Drafts
folder '.&AMQ-rger'
folder .Archive
folder .Archive.2024
folder '.Archive.&ZeVnLIqe-'
folder '.Projects.&U,BTFw-'
folder '.Tom &- Jerry'
folder '.&BB8EQAQ4BDIENQRC-'
folder '.Bad&AMQ'
# Names as other programs leave them: a case twin, a character beyond 16
# bits, malformed UTF-7, UTF-8 as mutt writes it, bytes that are neither, a
# line break, the Inbox's own name, a hierarchy Maildir++ does not know.
folder .Sent.2023
folder .archive
folder '.Music &A6kgrNg03R4-'
folder '.&AEE-scii'
folder $'.Caf\xc3\xa9'
folder $'.Latin\xe9'
folder '.&AAo-Line'
folder $'.\xc3\x84rger'
folder .Inbox
folder .A..B
# cur/ or new/ alone make a folder; tmp/ alone, nothing, a file or an index do not.
mkdir -p "$root/.OnlyCur/cur" "$root/.OnlyNew/new" "$root/.Empty" "$root/.Contacts/xapian"
mkdir -p "$root/.notmuch/xapian" "$root/.OnlyTmp/tmp"
printf 'index' >"$root/.notmuch/xapian/postlist.glass"
printf 'not a folder' >"$root/.NotAFolder"
mail '.Archive.&ZeVnLIqe-' cur/1733740000.M1P2.elsewhere:2,S "Read in Archive/日本語"
mail '.&AMQ-rger' new/1733740001.M2P2.elsewhere "Unread in Ärger"
mail '.Tom &- Jerry' cur/1733740002.M3P2.elsewhere:2,FS "Flagged elsewhere"
