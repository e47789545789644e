#!/usr/bin/env python3
"""Writes a small identity store for the mail window tests into FOLDER: Inbox with three messages
(a quoted-printable UTF-8 one, one with an attachment, a plain one) and Archive/Work with one,
below the client's unnamed root folder.

    mail_fixture.py FOLDER
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mail"))
from dbxgen import Message, write_folders, write_store  # noqa: E402


def message(sender, address, subject, headers, body):
    head = (b"From: " + sender + b" <" + address + b">\r\nTo: you@example.org\r\nSubject: " + subject +
            b"\r\nDate: Mon, 3 Mar 2003 10:00:00 +0100\r\nMIME-Version: 1.0\r\n" + headers)
    return head + b"\r\n" + body


def main(folder):
    greeting = message(b"Alice Adams", b"alice@example.org", b"=?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln?=",
                       b"Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable\r\n",
                       b"Sch=C3=B6ne Gr=C3=BC=C3=9Fe,=\r\n Alice\r\n")
    report = message(b"Bob Brown", b"bob@example.org", b"Quarterly report",
                     b'Content-Type: multipart/mixed; boundary="b1"\r\n',
                     b"--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nThe figures are attached.\r\n"
                     b"--b1\r\nContent-Type: application/pdf; name=\"q3.pdf\"\r\nContent-Disposition: attachment; "
                     b"filename=\"q3.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n--b1--\r\n")
    lunch = message(b"Alice Adams", b"alice@example.org", b"Lunch on Friday", b"", b"Noon at the usual place?\r\n")
    plan = message(b"Carol Clark", b"carol@example.org", b"Project plan", b"", b"Milestones below.\r\n")

    write_store(os.path.join(folder, "Inbox.dbx"), "Inbox", [
        Message(greeting, 1, "Grüße aus Köln".encode("cp1252"), b"Alice Adams", b"alice@example.org", 1046682000),
        Message(report, 2, b"Quarterly report", b"Bob Brown", b"bob@example.org", 1046768400),
        Message(lunch, 3, b"Lunch on Friday", b"Alice Adams", b"alice@example.org", 1046854800)])
    write_store(os.path.join(folder, "Work.dbx"), "Work", [
        Message(plan, 1, b"Project plan", b"Carol Clark", b"carol@example.org", 1046941200)])
    write_folders(os.path.join(folder, "Folders.dbx"),
                  [(0, -1, "", ""), (1, 0, "Inbox", "Inbox.dbx"), (2, 0, "Archive", ""),
                   (3, 2, "Work", "Work.dbx")])


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
