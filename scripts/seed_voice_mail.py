#!/usr/bin/env python3
"""Delivers one received voice mail into a Maildir's Inbox, so that a first
start has something to play: seed_voice_mail.py MAILDIR MP3."""
import email.message
import email.utils
import mailbox
import os
import sys


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    root, mp3 = sys.argv[1], sys.argv[2]
    with open(mp3, "rb") as f:
        sound = f.read()
    message = email.message.EmailMessage()
    message["From"] = "Robin Example <robin@example.org>"
    message["To"] = "you@localhost"
    message["Subject"] = "A voice message for you"
    message["Date"] = email.utils.formatdate(localtime=True)
    message["Message-ID"] = email.utils.make_msgid(domain="example.org")
    message.set_content("Hello,\n\nI have recorded a voice message for you: play the attachment.\n")
    message.add_attachment(sound, maintype="audio", subtype="mpeg", filename="Sonvera.mp3")
    # The five folders mailhost makes in a Maildir of its own.
    for sub in ("", ".Sent", ".Drafts", ".Contacts", ".Calendar"):
        for part in ("tmp", "new", "cur"):
            os.makedirs(os.path.join(root, sub, part), exist_ok=True)
    # mailbox writes into tmp/, then links into new/: the Maildir way.
    mailbox.Maildir(root, create=True).add(mailbox.MaildirMessage(message))
    return 0


if __name__ == "__main__":
    sys.exit(main())
