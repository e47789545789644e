#!/usr/bin/env python3
"""A store of mail-like messages for timing the mail export. Usage: dbx_big_store.py FILE MEGABYTES"""
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "mail"))
from dbxgen import BLOCK, Message, blocks_needed, sample_message, write_store  # noqa: E402


def big_store(path, megabytes):
    """Messages of 2 KiB to 400 KiB, some with attachments, until the store reaches the size."""
    rng = random.Random(megabytes)
    target, total, messages = megabytes << 20, 0, []
    while total < target:
        size = rng.choice((2048, 6000, 30000, 120000, 400000))
        attach = rng.randbytes(size // 2) if size > 50000 else b""
        text = sample_message(len(messages) + 1, size // 2 if attach else size, attachment=attach)
        messages.append(Message(text, len(messages) + 1, b"Note %d" % (len(messages) + 1), b"Sender",
                                b"sender@example.org", 1_000_000_000 + len(messages)))
        total += blocks_needed(len(text)) * BLOCK
    write_store(path, "Inbox", messages)
    return len(messages)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    print(big_store(sys.argv[1], int(sys.argv[2])), "messages")
