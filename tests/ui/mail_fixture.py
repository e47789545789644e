#!/usr/bin/env python3
"""Writes a small identity store for the mail window tests into FOLDER: Inbox with three messages
(a quoted-printable UTF-8 one, one with an attachment, a plain one) and Archive/Work with one,
below the client's unnamed root folder. Usage: mail_fixture.py FOLDER"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mail"))
from dbxgen import Message, write_folders, write_store  # noqa: E402


def message(index, sender, subject, when, headers, body, listed_subject=None):
    """A message from sender (name, address) and its index record."""
    text = (b"From: %s <%s>\r\nTo: you@example.org\r\nSubject: %s\r\nDate: Mon, 3 Mar 2003 10:00:00 +0100\r\n"
            b"MIME-Version: 1.0\r\n" % (*sender, subject) + headers + b"\r\n" + body)
    return Message(text, index, listed_subject or subject, *sender, when)


def main(folder):
    alice, bob, carol = [(name, name.split()[0].lower() + b"@example.org")
                         for name in (b"Alice Adams", b"Bob Brown", b"Carol Clark")]
    write_store(os.path.join(folder, "Inbox.dbx"), "Inbox", [
        message(1, alice, b"=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=", 1046682000,
                b"Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                b"Sch=C3=B6ne Gr=C3=BC=C3=9Fe,=\r\n Alice\r\n", "Grüße aus Köln".encode("cp1252")),
        message(2, bob, b"Quarterly report", 1046768400, b'Content-Type: multipart/mixed; boundary="b1"\r\n',
                b"--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nThe figures are attached.\r\n"
                b"--b1\r\nContent-Type: application/pdf; name=\"q3.pdf\"\r\nContent-Disposition: attachment; "
                b"filename=\"q3.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b1--\r\n"),
        message(3, alice, b"Lunch on Friday", 1046854800, b"", b"Noon at the usual place?\r\n")])
    write_store(os.path.join(folder, "Work.dbx"), "Work",
                [message(1, carol, b"Project plan", 1046941200, b"", b"Milestones below.\r\n")])
    write_folders(os.path.join(folder, "Folders.dbx"),
                  [(0, -1, "", ""), (1, 0, "Inbox", "Inbox.dbx"), (2, 0, "Archive", ""),
                   (3, 2, "Work", "Work.dbx")])


if __name__ == "__main__":
    main(sys.argv[1])
