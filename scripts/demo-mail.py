#!/usr/bin/env python3
"""Fills the demo profile's message stores with real mail, so that the archive browser, the search,
the export and the upload have something to show: a few years of a person's letters, in the code
pages of that era, some with attachments. Usage: demo-mail.py MAIL_FOLDER (the profile's home/Mail).
"""
import email.utils
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "mail"))
import dbxgen as g  # noqa: E402

PEOPLE = [("Anna Schmidt", "anna.schmidt@example.de"), ("Liam Walsh", "liam.walsh@example.com"),
          ("Mei Tanaka", "mei@example.jp"), ("Jonas Müller", "jonas.mueller@example.de"),
          ("Olga Petrova", "olga@example.ru"), ("Tom Baker", "tom@example.co.uk")]
LETTERS = [
    ("Lease for the flat, signed copy", "Here is the signed lease as promised. Keep it somewhere safe;\r\n"
     "the landlord wants the original back by the end of the month.", "Lease_2003.pdf"),
    ("Photos from the lake", "The pictures from Sunday came out well, the one with the boat most of all.",
     "lake.jpg"),
    ("Grüße aus Köln", "Das Wetter ist herrlich, der Dom steht noch, und wir denken an euch."),
    ("Meeting moved to Thursday", "The project meeting moves to Thursday at ten, same room."),
    ("Recipe: plum cake", "250 g flour, 125 g butter, 1 kg plums, a pinch of cinnamon.\r\n"
     "Bake for 45 minutes; Grandma says it is better on the second day."),
    ("Invoice 2004-117", "Please find the invoice for March attached. Payment within 30 days.", "Invoice_2004-117.pdf"),
    ("Re: the old car", "I would take 900 for it, winter tyres included."),
    ("Café on Saturday?", "Shall we meet at the café by the station, at three?"),
    ("Tickets for the concert", "Two tickets, row 12. Doors open at seven."),
    ("Happy birthday!", "All the best for the new year of your life, and many more to come."),
]


def letter(number, subject, body, attachment=None, folder_year=2003):
    name, address = PEOPLE[number % len(PEOPLE)]
    when = 1_041_379_200 + (folder_year - 2003) * 31_536_000 + (number % 100) * 86_400 * 9
    # Headers as the mail programs of the time wrote them: 8-bit windows-1252 where the text needs it.
    subject_bytes = subject.encode("cp1252")
    head = (b"From: " + name.encode("cp1252") + b" <" + address.encode() + b">\r\n"
            b"To: You <you@example.org>\r\nSubject: " + subject_bytes + b"\r\n"
            b"Date: " + email.utils.formatdate(when).encode() + b"\r\n"
            b"Message-ID: <demo-%d-%d@example.org>\r\nMIME-Version: 1.0\r\n" % (folder_year, number))
    text = body.encode("cp1252") + b"\r\n\r\n" + name.split()[0].encode("cp1252") + b"\r\n"
    if not attachment:
        raw = head + b"Content-Type: text/plain; charset=windows-1252\r\n\r\n" + text
    else:
        payload = g.base64.encodebytes(("Attachment of the demo: %s\n" % attachment).encode() * 40)
        raw = (head + b"Content-Type: multipart/mixed; boundary=\"part\"\r\n\r\n--part\r\n"
               b"Content-Type: text/plain; charset=windows-1252\r\n\r\n" + text + b"\r\n--part\r\n"
               b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
               b"Content-Disposition: attachment; filename=\"" + attachment.encode() + b"\"\r\n\r\n"
               + payload.replace(b"\n", b"\r\n") + b"--part--\r\n")
    return g.Message(raw, number, subject_bytes, name.encode("cp1252"), address.encode(), when, number % 4 != 1)


def letters(first, count, year):
    return [letter(first + i, *LETTERS[(first + i) % len(LETTERS)], folder_year=year) for i in range(count)]


def write_identity(folder, stores):
    """stores: [(folder name, store file, parent folder id, messages)] below Local Folders."""
    for old in os.listdir(folder):
        if old.endswith(".dbx"):
            os.unlink(os.path.join(folder, old))
    tree = [(0, -1, "Mail root", ""), (1, 0, "Local Folders", "")]
    for fid, (name, store, parent, messages) in enumerate(stores, start=2):
        tree.append((fid, parent, name, store))
        g.write_store(os.path.join(folder, store), name, messages)
    g.write_folders(os.path.join(folder, "Folders.dbx"), tree)


def main():
    mail = sys.argv[1]
    identities = sorted(d for d in os.listdir(mail) if os.path.isdir(os.path.join(mail, d)))
    for position, identity in enumerate(identities):
        start = 100 * position
        write_identity(os.path.join(mail, identity), [
            ("Inbox", "Inbox.dbx", 1, letters(start, 12, 2003)),
            ("Family", "Family.dbx", 2, letters(start + 20, 5, 2004)),
            ("Sent Items", "Sent Items.dbx", 1, letters(start + 40, 6, 2005)),
            ("Deleted Items", "Deleted Items.dbx", 1, letters(start + 60, 2, 2006)),
        ])
    print("Mail in the sample profile: %d identities with real message stores" % len(identities))


if __name__ == "__main__":
    main()
