"""notmuch over mailhost's Maildir: every mail mailhost wrote is indexed, and
the voice attachment comes out of notmuch as mailhost recorded it."""

import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import parse, read  # noqa: E402


def leaves(part):
    """The leaf parts of a part of notmuch's JSON, depth first."""
    content = part.get("content")
    if isinstance(content, list):
        for inner in content:
            yield from leaves(inner)
    else:
        yield part


class NotmuchTest(harness.ToolTest):
    def test_notmuch_indexes_every_mail_and_gives_the_voice_attachment_back(self):
        maildir = os.path.join(self.workspace.path, "Maildir")
        voice = self.write_corpus(maildir)
        notmuch = harness.Notmuch(self.workspace, maildir)
        _, said = notmuch.run("new")
        written = harness.Maildir(maildir).all_files()
        self.assertEqual(len(written), 3, "two drafts and a Sent copy")
        # Maildir++'s own maildirfolder files are notmuch's usual notes; a
        # message file must never be one.
        skipped = [line for line in said.splitlines() if "non-mail file" in line
                   and ("/cur/" in line or "/new/" in line)]
        self.assertEqual(skipped, [], said)
        indexed, _ = notmuch.run("search", "--output=files", "*")
        self.assertEqual(sorted(indexed.decode().split("\n")[:-1]), sorted(written))

        for path in written:
            expected = harness.attachments(parse(read(path))).get("Sonvera.mp3")
            self.assertTrue(expected, path)
            query = "id:" + parse(read(path))["Message-Id"].strip().strip("<>")
            shown, _ = notmuch.run("show", "--format=json", "--entire-thread=false", query)
            message = json.loads(shown)[0][0][0]
            parts = [p for body in message["body"] for p in leaves(body)
                     if p.get("filename") == "Sonvera.mp3"]
            self.assertEqual(len(parts), 1, f"{path}: {message['body']}")
            self.assertEqual(parts[0]["content-type"], "audio/mpeg")
            data, _ = notmuch.run("show", "--format=raw", f"--part={parts[0]['id']}", query)
            self.assertEqual(data, expected, f"{path}: the recording's bytes")
            self.assertIn(len(data), voice.values(), "the size mailhost showed")
            self.assertTrue(harness.is_mp3(data))


if __name__ == "__main__":
    harness.main()
