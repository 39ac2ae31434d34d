"""Readers of the mutt family, as Python's mailbox.Maildir and email (policy
default) stand for them: every mail mailhost writes reads without a defect,
with the headers and flags such readers rely on."""

import mailbox
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import parse  # noqa: E402


def defects(message):
    """Every defect Python's parser found in the message, its parts and headers."""
    found = []
    for part in message.walk():
        found += [f"{part.get_content_type()}: {d!r}" for d in part.defects]
        for name, value in part.items():
            found += [f"{name}: {d!r}" for d in getattr(value, "defects", ())]
    return found


class ReadersTest(harness.ToolTest):
    def test_every_mail_mailhost_wrote_reads_without_a_defect(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        voice = self.write_corpus(maildir)
        root = mailbox.Maildir(maildir, factory=None, create=False)
        read = {}
        for folder in [None] + root.list_folders():
            box = root if folder is None else root.get_folder(folder)
            for key in box.keys():
                message = parse(box.get_bytes(key))
                where = f"{folder or 'Inbox'}/{key}"
                read[where] = (folder, box.get_message(key).get_flags(), message)
                with self.subTest(where):
                    self.assertEqual(defects(message), [])
                    self.assertTrue(message["From"] and message["From"].addresses, "From")
                    self.assertTrue(message["Date"] and message["Date"].datetime, "Date")
                    self.assertTrue(message["Message-Id"], "Message-Id")
                    self.assertEqual(message["MIME-Version"], "1.0")
        self.assertEqual(len(read), len(harness.Maildir(maildir).all_files()),
                         "mailbox.Maildir lists every file")
        self.assertEqual(sorted(f for f, _, _ in read.values()), ["Drafts", "Drafts", "Sent"])

        for where, (folder, flags, message) in read.items():
            if folder == "Drafts":
                self.assertIn("D", flags, f"{where}: a draft is flagged D")
            else:
                self.assertIn("S", flags, f"{where}: the Sent copy is flagged seen")
            recording = harness.attachments(message).get("Sonvera.mp3")
            self.assertTrue(recording and harness.is_mp3(recording), where)
            self.assertIn(len(recording), voice.values(), f"{where}: the size mailhost showed")

        german = [m for _, _, m in read.values() if m["Subject"] == harness.GERMAN_SUBJECT]
        self.assertEqual(len(german), 1, [m["Subject"] for _, _, m in read.values()])
        german = german[0]
        self.assertEqual([(a.display_name, a.addr_spec) for a in german["To"].addresses],
                         [("Jürgen Groß", "jg@example.org"), ("", "anna@example.org")])
        name, text = harness.GERMAN_FILE
        self.assertEqual(harness.attachments(german).get(name), text.encode())
        body = german.get_body(("plain",)).get_content().replace("\r\n", "\n")
        self.assertIn("\n".join(harness.GERMAN_BODY), body)


if __name__ == "__main__":
    harness.main()
