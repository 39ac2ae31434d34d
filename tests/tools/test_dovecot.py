"""Dovecot IMAP serving mailhost's Maildir: what mailhost writes is served as
it is now, and what is done over IMAP shows in a running mailhost."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import attachments, crlf, imap_messages, ok, parse, quoted, read  # noqa: E402


def only(messages, what):
    if len(messages) != 1:
        raise AssertionError(f"{what}: one message expected over IMAP, found {len(messages)}")
    return next(iter(messages.items()))


def row(rows, subject):
    return next((r for r in rows or [] if r["subject"] == subject), None)


def append(imap, folder, subject, flags=None):
    message = (f"From: Anna <anna@example.org>\r\nTo: tester@example.org\r\nSubject: {subject}\r\n"
               f"Date: Mon, 2 Dec 2024 10:00:00 +0100\r\nMessage-Id: <{time.time_ns()}@example.org>\r\n"
               f"\r\nSee you there.\r\n").encode()
    answer = ok(imap.append(harness.imap_quoted(folder), flags, None, message), f"APPEND to {folder}")
    return answer[0].split()[2].rstrip(b"]")  # [APPENDUID validity uid]


class DovecotTest(harness.ToolTest):
    def test_an_edited_voice_draft_is_served_as_it_is_now_and_the_sent_copy_is_seen(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        disk = harness.Maildir(maildir)
        self.mailhost.script(maildir, harness.RECORD + ["subject w1 " + quoted("First take")])
        draft = disk.only("Drafts", "after recording")
        first_id = parse(read(draft))["Message-Id"]
        server = self.dovecot(maildir)
        with server.imap() as imap:
            _, first = only(imap_messages(imap, "Drafts"), "the recorded draft")
            self.assertEqual(first["body"], crlf(read(draft)))
            message = parse(first["body"])
            voice = attachments(message).get("Sonvera.mp3")
            self.assertTrue(voice and harness.is_mp3(voice), "the draft carries the recording")
            with self.subTest("a draft has From and Message-Id"):
                self.assertTrue(message["From"] and message["From"].addresses, "From")
                self.assertTrue(first_id, "Message-Id")

        greeting = self.tone_mp3("greeting.mp3", 2)
        notes = self.fixture("notes.txt", "Agenda: the plan\n")
        self.mailhost.script(maildir, [
            f"open {disk.identity(draft)} w1", "activate w1",
            "subject w1 " + quoted("Second take: the plan"),
            "body w1 Hello " + quoted("here is the plan."),
            f"attach w1 {greeting}", f"attach w1 {notes}"])
        edited = disk.only("Drafts", "after the edit")
        self.assertEqual(parse(read(edited))["Message-Id"], first_id,
                         "the draft keeps the Message-Id of its first save")
        with server.imap() as imap:
            uid, now = only(imap_messages(imap, "Drafts"), "the edited draft")
            expected = crlf(read(edited))
            self.assertEqual(now["size"], len(expected), "RFC822.SIZE is the edited mail's")
            self.assertEqual(now["body"], expected, "the edited mail is served whole")
            parts = attachments(parse(now["body"]))
            self.assertEqual(parts.get("greeting.mp3"), read(greeting))
            self.assertEqual(parts.get("Sonvera.mp3"), voice)
            self.assertEqual(parts.get("notes.txt"), b"Agenda: the plan\n")
            structure = now["structure"].lower()
            for name in ("sonvera.mp3", "greeting.mp3", "notes.txt"):
                self.assertIn(f'"{name}"'.encode(), structure, "BODYSTRUCTURE names " + name)
            self.assertEqual(structure.count(b'"audio" "mpeg"'), 2, now["structure"])
            found = ok(imap.uid("SEARCH", None, "SUBJECT", '"the plan"'), "SEARCH")[0].split()
            self.assertEqual(found, [str(uid).encode()], "the new subject is found")
            gone = ok(imap.uid("SEARCH", None, "SUBJECT", '"First take"'), "SEARCH")[0].split()
            self.assertEqual(gone, [], "the old subject is not found")

        # The send falls in a later second than any save, so that a Date kept
        # from a save cannot pass for the time of sending.
        while int(time.time()) <= parse(read(edited))["Date"].datetime.timestamp():
            time.sleep(0.1)
        sending = int(time.time())
        self.mailhost.script(maildir, [f"open {disk.identity(edited)} w1", "activate w1",
                                       "to w1 anna@example.org", "send w1"])
        self.assertEqual(disk.files("Drafts"), [], "the draft goes when it is sent")
        with server.imap() as imap:
            _, sent = only(imap_messages(imap, "Sent"), "the Sent copy")
            self.assertIn("\\Seen", sent["flags"])
            self.assertEqual(harness.imap_count(imap, "Drafts"), 0)
            message = parse(sent["body"])
            self.assertGreaterEqual(message["Date"].datetime.timestamp(), sending,
                                    "Date is the time of sending")
            self.assertEqual(message["Message-Id"], first_id)
            self.assertEqual(attachments(message).get("Sonvera.mp3"), voice)

    def test_a_running_mailhost_follows_mail_appended_flagged_moved_and_expunged(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        server = self.dovecot(maildir)
        with server.imap() as imap:
            ok(imap.create("Archive"), "CREATE Archive")
        with self.mailhost.running(maildir) as page, server.imap() as imap:
            self.assertIn("Archive", page.folders())
            append(imap, "INBOX", "Lunch on Friday")
            harness.wait_until(lambda: row(page.rows("Inbox"), "Lunch on Friday"),
                               "the appended mail listed in Inbox")
            self.assertFalse(row(page.rows("Inbox"), "Lunch on Friday")["read"])

            ok(imap.select("INBOX"), "SELECT INBOX")
            uid = ok(imap.uid("SEARCH", None, "SUBJECT", '"Lunch"'), "SEARCH")[0]
            ok(imap.uid("STORE", uid, "+FLAGS", "(\\Seen)"), "STORE \\Seen")
            harness.wait_until(lambda: (row(page.rows("Inbox"), "Lunch on Friday") or {}).get("read"),
                               "the mail read over IMAP shown read")

            ok(imap.uid("MOVE", uid, "Archive"), "MOVE to Archive")
            harness.wait_until(lambda: not row(page.rows("Inbox"), "Lunch on Friday")
                               and row(page.rows("Archive"), "Lunch on Friday"),
                               "the moved mail listed in Archive only")

            ok(imap.select("Archive"), "SELECT Archive")
            append(imap, "Archive", "Old minutes")
            uid = ok(imap.uid("SEARCH", None, "SUBJECT", '"Old minutes"'), "SEARCH")[0]
            harness.wait_until(lambda: row(page.rows("Archive"), "Old minutes"),
                               "the second mail listed in Archive")
            ok(imap.uid("STORE", uid, "+FLAGS", "(\\Deleted)"), "STORE \\Deleted")
            harness.wait_until(lambda: (row(page.rows("Archive"), "Old minutes") or {}).get("deleted"),
                               "the mail flagged deleted over IMAP shown deleted")
            ok(imap.expunge(), "EXPUNGE")
            harness.wait_until(lambda: not row(page.rows("Archive"), "Old minutes"),
                               "the expunged mail gone from the list")
            self.assertTrue(row(page.rows("Archive"), "Lunch on Friday"))

    def test_a_mail_expunged_over_imap_leaves_the_selection_and_the_reading_pane(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        server = self.dovecot(maildir)
        with self.mailhost.running(maildir) as page, server.imap() as imap:
            append(imap, "INBOX", "Gone soon")
            shown = harness.wait_until(lambda: row(page.rows("Inbox"), "Gone soon"),
                                       "the appended mail listed")
            self.assertEqual(page.command(f"select {shown['id']}")[0], 200)
            harness.wait_until(lambda: (page.state()["reading"] or {}).get("subject") == "Gone soon",
                               "the selected mail in the reading pane")
            ok(imap.select("INBOX"), "SELECT INBOX")
            ok(imap.store("1:*", "+FLAGS", "(\\Deleted)"), "STORE \\Deleted")
            ok(imap.expunge(), "EXPUNGE")
            harness.wait_until(lambda: not row(page.rows("Inbox"), "Gone soon"),
                               "the expunged mail gone from the list")
            harness.wait_until(lambda: (lambda s: s["reading"] is None and not s["selection"])(
                page.state()), "the reading pane and the selection let go of the expunged mail")

    def test_a_running_mailhost_follows_folders_created_renamed_and_deleted(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        server = self.dovecot(maildir)
        with self.mailhost.running(maildir) as page, server.imap() as imap:
            self.assertNotIn("Live", page.folders())
            ok(imap.create("Live"), "CREATE Live")
            harness.wait_until(lambda: "Live" in page.folders(), "the created folder listed")
            append(imap, "Live", "Status report")
            harness.wait_until(lambda: row(page.rows("Live"), "Status report"),
                               "the mail appended to the new folder listed")

            ok(imap.rename("Live", "Kept"), "RENAME Live Kept")
            harness.wait_until(lambda: "Kept" in page.folders() and "Live" not in page.folders(),
                               "the renamed folder listed under its new name only")
            harness.wait_until(lambda: row(page.rows("Kept"), "Status report"),
                               "the renamed folder's mail listed")

            ok(imap.delete("Kept"), "DELETE Kept")
            harness.wait_until(lambda: "Kept" not in page.folders(), "the deleted folder gone")
            self.assertIsNone(page.rows("Kept"))


if __name__ == "__main__":
    harness.main()
