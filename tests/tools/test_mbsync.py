"""mbsync between a Dovecot-served Maildir and mailhost's: a draft edited on
either side of a sync stays one draft, and goes on both sides once sent."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import imap_messages, parse, quoted, read  # noqa: E402


class MbsyncTest(harness.ToolTest):
    def test_a_synced_draft_stays_one_draft_and_goes_once_sent(self):
        local = os.path.join(self.workspace.path, "Maildir")
        disk = harness.Maildir(local)
        server = self.dovecot(os.path.join(self.workspace.path, "server"))
        mbsync = harness.Mbsync(self.workspace, server, local)

        def drafts(step, subject):
            """One draft on each side after a step, with this subject on both."""
            draft = disk.only("Drafts", step)
            self.assertEqual(parse(read(draft))["Subject"], subject, step)
            with server.imap() as imap:
                self.assertEqual(harness.imap_count(imap, "Drafts"), 1, f"{step}: drafts at the server")
                served = [m for m in imap_messages(imap, "Drafts").values() if "\\Deleted" not in m["flags"]]
                self.assertEqual(parse(served[0]["body"])["Subject"], subject, step)
            return draft

        self.mailhost.script(local, harness.RECORD + ["subject w1 " + quoted("Plan, first")])
        disk.only("Drafts", "after recording")
        mbsync.sync()
        draft = drafts("after the first sync", "Plan, first")
        self.assertIn(",U=", os.path.basename(draft), "mbsync renamed the draft it uploaded")

        self.mailhost.script(local, [f"open {disk.identity(draft)} w1", "activate w1",
                                     "subject w1 " + quoted("Plan, second")])
        disk.only("Drafts", "after an edit of the renamed draft")
        mbsync.sync()
        draft = drafts("after the second sync", "Plan, second")

        self.mailhost.script(local, [f"open {disk.identity(draft)} w1", "activate w1",
                                     "subject w1 " + quoted("Plan, final"), "body w1 Agreed.",
                                     "to w1 anna@example.org", "send w1"])
        self.assertEqual(disk.files("Drafts"), [], "no draft is left once it is sent")
        mbsync.sync()
        self.assertEqual(disk.files("Drafts"), [], "no draft comes back from the server")
        sent = disk.only("Sent", "after the send and a sync")
        self.assertEqual(parse(read(sent))["Subject"], "Plan, final")
        with server.imap() as imap:
            self.assertEqual(harness.imap_count(imap, "Drafts"), 0, "no draft is left at the server")
            self.assertEqual(harness.imap_count(imap, "Sent"), 1, "the Sent copy reached the server")

        mbsync.sync()  # a sync with nothing new changes nothing
        self.assertEqual((disk.files("Drafts"), len(disk.files("Sent"))), ([], 1))


if __name__ == "__main__":
    harness.main()
