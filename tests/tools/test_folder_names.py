"""Folder names as people gave them to their IMAP server show in mailhost as
they were written: decoded from modified UTF-7, nested at the hierarchy
separator; notmuch's index folder is no mail folder and stays untouched."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import ok  # noqa: E402

NAMES = ["Ärger", "Archive", "Archive/2024", "Projekte", "Projekte/Größe & Maß", "日本語",
         "Mit Leerzeichen", "A&B"]


class FolderNamesTest(harness.ToolTest):
    def test_folders_made_over_imap_show_decoded_and_nested(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        server = self.dovecot(maildir)
        with server.imap() as imap:
            for name in NAMES:
                ok(imap.create(harness.imap_quoted(name)), f"CREATE {name}")
        on_disk = sorted(n for n in os.listdir(maildir) if n.startswith("."))
        for encoded in (".&AMQ-rger", ".Archive.2024", ".Projekte.Gr&APYA3w-e &- Ma&AN8-", ".A&-B"):
            self.assertIn(encoded, on_disk, "the server wrote modified UTF-7")
        notmuch = harness.Notmuch(self.workspace, maildir)
        notmuch.run("new")
        index = os.path.join(maildir, ".notmuch")
        self.assertTrue(os.path.isdir(index))
        before = sorted(os.listdir(index))

        out = self.mailhost.script(maildir, ["new w1", "subject w1 Probe", "show-folders"])
        shown = [line[len("folder "):] for line in out.splitlines() if line.startswith("folder ")]
        self.assertEqual(sorted(shown), sorted(["Inbox", "Sent", "Drafts"] + NAMES), out)
        self.assertEqual(shown[0], "Inbox")
        for name in NAMES:
            if "/" in name:
                parent = name.rsplit("/", 1)[0]
                self.assertLess(shown.index(parent), shown.index(name), "a parent before its child")
        self.assertEqual(sorted(os.listdir(index)), before, "mailhost writes nothing into .notmuch")
        self.assertEqual(len(harness.Maildir(maildir).files("Drafts")), 1)

        with server.imap() as imap:
            listed = {harness.imap_unquoted(line.split(b' "/" ', 1)[1])
                      for line in ok(imap.list(), "LIST")}
            self.assertLessEqual({harness.imap_utf7(n) for n in NAMES + ["Drafts"]}, listed,
                                 "the server lists what it listed, and mailhost's Drafts")


if __name__ == "__main__":
    harness.main()
