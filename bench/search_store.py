#!/usr/bin/env python3
"""A store of mail for timing the full-text index: messages of 1.5 KiB to 110 KiB whose words come from a
vocabulary of 20,000 made-up words in a Zipf-like mix (so that the index has real work), a fifth with
a binary attachment, until the store reaches the size. Every 97th message holds the word "quokka".
Usage: search_store.py FILE MEGABYTES"""
import base64
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "mail"))
from dbxgen import BLOCK, Message, blocks_needed, write_store  # noqa: E402


CUMULATIVE = []


def vocabulary(rng, count=20_000):
    total = 0.0
    for i in range(count):
        total += 1 / (i + 1)
        CUMULATIVE.append(total)
    letters = "abcdefghijklmnopqrstuvwxyzäöüé"
    return ["".join(rng.choice(letters) for _ in range(rng.randint(3, 11))) for _ in range(count)]


def body(rng, words, size, number):
    picks = rng.choices(words, cum_weights=CUMULATIVE, k=size // 7)
    if number % 97 == 0:
        picks[len(picks) // 2] = "quokka"
    lines = [" ".join(picks[i:i + 11]) for i in range(0, len(picks), 11)]
    return "\r\n".join(lines).encode("utf-8")[:size] + b"\r\n"


def message(rng, words, number, size):
    text = body(rng, words, size, number)
    subject = " ".join(rng.choices(words[:2000], k=4)).encode()
    head = (b"From: Sender %d <s%d@example.org>\r\nTo: you@example.org\r\nSubject: " % (number % 300, number % 300)
            + subject + b"\r\nDate: Mon, 3 Mar 2003 10:00:00 +0100\r\nMessage-ID: <%d@bench.example>\r\n"
            b"MIME-Version: 1.0\r\n" % number)
    if rng.random() >= 0.2:
        return head + b"Content-Type: text/plain; charset=utf-8\r\n\r\n" + text, subject
    data = base64.encodebytes(rng.randbytes(size)).replace(b"\n", b"\r\n")
    return (head + b'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain; '
            b"charset=utf-8\r\n\r\n" + text + b"\r\n--b\r\nContent-Type: application/octet-stream\r\n"
            b'Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename="file%d.bin"\r\n\r\n'
            % number + data + b"--b--\r\n"), subject


def search_store(path, megabytes):
    rng = random.Random(megabytes)
    words = vocabulary(rng)
    target, total, messages = megabytes << 20, 0, []
    while total < target:
        number = len(messages) + 1
        text, subject = message(rng, words, number, rng.choice((3000, 8000, 16000, 32000, 80000, 160000)) // 2)
        messages.append(Message(text, number, subject, b"Sender", b"sender@example.org", 1_000_000_000 + number * 600))
        total += blocks_needed(len(text)) * BLOCK
    write_store(path, "Inbox", messages)
    return len(messages)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    print(search_store(sys.argv[1], int(sys.argv[2])), "messages")
