#!/usr/bin/env python3
"""Writes .dbx message stores and Folders.dbx files from the publicly described layout: a 0x24bc
byte file header, a file info block, message text in 0x210 byte blocks chained by their "next"
pointer, one indexed-info record per message and a tree of 0x27c byte nodes pointing at the records.
"""
import base64
import collections
import struct

HEADER_SIZE = 0x24BC
MESSAGE_INFO_SIZE = 0x618
FOLDERS_INFO_SIZE = 0x108
BLOCK = 0x210
BLOCK_TEXT = 0x200
NODE = 0x27C
NODE_ENTRIES = 0x33
MAGIC = bytes.fromhex("cfad12fe")
MESSAGE_CLASS = bytes.fromhex("c5fd746f")
FOLDERS_CLASS = bytes.fromhex("c6fd746f")
FORMAT_TAIL = bytes.fromhex("66e3d1119a4e00c04fa309d40500000005000000")
FILETIME_EPOCH = 116444736000000000  # 1601-01-01 to 1970-01-01 in 100 ns

Message = collections.namedtuple("Message", "text index subject sender address when read",
                                 defaults=(b"", b"", b"", 0, True))


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def filetime(unix_seconds):
    return struct.pack("<Q", FILETIME_EPOCH + unix_seconds * 10_000_000)


def indexed_info(offset, fields):
    """fields: {index: int (stored direct when it fits in three bytes) or bytes (in the data field)}."""
    entries, data = b"", b""
    for index, value in sorted(fields.items()):
        if isinstance(value, int) and 0 <= value < (1 << 24):
            entries += u32(0x80 | index | (value << 8))
        else:
            entries += u32(index | (len(data) << 8))
            data += u32(value) if isinstance(value, int) else value
    body = entries + data
    body += b"\0" * (-len(body) % 4)
    return u32(offset) + u32(len(body)) + struct.pack("<HBB", 0x0C + len(body), len(fields), 1) + body


def tree_nodes(values, first_node):
    """The nodes of a tree holding `values` in order, [(offset, bytes)], numbered from first_node on in
    the order they are built (each node before its subtrees)."""
    nodes = []

    def build(vals, parent, node_id):
        me = first_node + len(nodes) * NODE
        slot = len(nodes)
        nodes.append(None)
        if len(vals) <= NODE_ENTRIES:
            child, child_count, entries = 0, 0, [(v, 0, 0) for v in vals]
        else:
            # Children as full as the client leaves them: a node holding all 0x33 entries is usual.
            per = max(NODE_ENTRIES, -(-(len(vals) - NODE_ENTRIES) // (NODE_ENTRIES + 1)))
            first, rest = vals[:per], vals[per:]
            child, child_count = build(first, me, 0), len(first)
            entries = []
            while rest:
                value, chunk, rest = rest[0], rest[1:per + 1], rest[per + 1:]
                sub = build(chunk, me, len(entries) + 1) if chunk else 0
                entries.append((value, sub, len(chunk)))
        body = b"".join(u32(v) + u32(c) + u32(n) for v, c, n in entries)
        head = u32(me) + u32(0) + u32(child) + u32(parent) + bytes([node_id, len(entries)]) + b"\0\0" + u32(child_count)
        nodes[slot] = (me, (head + body).ljust(NODE, b"\0"))
        return me

    if values:
        build(list(values), 0, 0)
    return nodes


def header(kind, info_size, count, root, end, last_index=0):
    h = bytearray(HEADER_SIZE)
    h[0:0x1C] = MAGIC + kind + FORMAT_TAIL
    for at, value in ((0x1C, info_size), (0x5C, last_index), (0x64, 1), (0x7C, end), (0xC4, count), (0xE4, root)):
        struct.pack_into("<I", h, at, value)
    return bytes(h)


def blocks_needed(length):
    return max(1, -(-length // BLOCK_TEXT))


def message_info(m, at, text_at):
    flags = (0x80 if m.read else 0) | (0x4000 if b"multipart/mixed" in m.text[:4096] else 0)
    return indexed_info(at, {
        0x00: m.index, 0x01: flags, 0x02: filetime(m.when), 0x04: u32(text_at),
        0x07: b"<%d@stowline.example>\0" % m.index, 0x08: m.subject + b"\0",
        0x09: m.sender + b" <" + m.address + b">\0", 0x0D: m.sender + b"\0", 0x0E: m.address + b"\0",
        0x11: u32(len(m.text)), 0x12: filetime(m.when)})


def text_blocks(text, at):
    pieces = [text[i:i + BLOCK_TEXT] for i in range(0, len(text), BLOCK_TEXT)] or [b""]
    return b"".join(u32(at + i * BLOCK) + u32(BLOCK_TEXT) + u32(len(piece)) +
                    u32(at + (i + 1) * BLOCK if i + 1 < len(pieces) else 0) + piece.ljust(BLOCK_TEXT, b"\0")
                    for i, piece in enumerate(pieces))


def write_dbx(path, kind, info, records, listed, last_index=0):
    """Header, file info, the tree over the first `listed` records (first, so that a cut-off file keeps
    its index), then the records: (size, function of its offset giving its bytes). Returns the offsets."""
    tree_start = HEADER_SIZE + len(info)
    starts = [tree_start + len(tree_nodes(range(listed), 0)) * NODE]
    for size, _ in records:
        starts.append(starts[-1] + size)
    nodes = tree_nodes(starts[:listed], tree_start)
    with open(path, "wb") as out:
        out.write(header(kind, len(info), listed, nodes[0][0] if nodes else 0, starts[-1], last_index))
        out.write(info + b"".join(node for _, node in nodes))
        for (_, record), at in zip(records, starts):
            out.write(record(at))
    return starts[:-1]


def write_store(path, folder_name, messages, deleted=()):
    """Per message its record, then its text blocks; the deleted ones are in no tree. Returns each
    message's chain of text block offsets, listed messages first."""
    everything = list(messages) + list(deleted)
    info_sizes = [len(message_info(m, 0, 0)) for m in everything]  # its text follows each record
    info = bytearray(MESSAGE_INFO_SIZE)
    info[0:5] = u32(1) + b"\3"
    name = folder_name.encode("cp1252", "replace")[:0xFF]
    info[0x105:0x105 + len(name)] = name
    records = [(n + blocks_needed(len(m.text)) * BLOCK,
                lambda at, m=m, n=n: message_info(m, at, at + n) + text_blocks(m.text, at + n))
               for m, n in zip(everything, info_sizes)]
    starts = write_dbx(path, MESSAGE_CLASS, bytes(info), records, len(messages),
                       max((m.index for m in everything), default=0))
    return [[at + n + i * BLOCK for i in range(blocks_needed(len(m.text)))]
            for at, n, m in zip(starts, info_sizes, everything)]


def write_folders(path, folders):
    """folders: [(id, parent id, name, store file name or "")]; the top folder's parent is -1."""
    records = []
    for fid, parent, name, store in folders:
        fields = {0x00: fid, 0x01: parent & 0xFFFFFFFF, 0x02: name.encode("cp1252") + b"\0"}
        if store:
            fields[0x03] = store.encode("cp1252") + b"\0"
        records.append((len(indexed_info(0, fields)), lambda at, fields=fields: indexed_info(at, fields)))
    info = filetime(1_000_000_000) + u32(1) + b"\0" * (FOLDERS_INFO_SIZE - 12)
    write_dbx(path, FOLDERS_CLASS, info, records, len(folders))


# ---- mail-like content ----------------------------------------------------------------------------

def sample_message(number, body_bytes=300, subject=None, extra_headers=b"", attachment=b""):
    subject = subject if subject is not None else b"Note %d" % number
    head = (b"From: Sender %d <sender%d@example.org>\r\nTo: you@example.org\r\n"
            b"Subject: " % (number, number) + subject + b"\r\n"
            b"Date: Mon, 3 Mar 2003 10:%02d:00 +0100\r\nMessage-ID: <%d@stowline.example>\r\n" % (number % 60, number)
            + extra_headers + b"MIME-Version: 1.0\r\n")
    line = b"Lorem ipsum dolor sit amet, message %d, consectetur adipiscing elit sed do.\r\n" % number
    body = (line * (body_bytes // len(line) + 1))[:body_bytes]
    if not attachment:
        return head + b"Content-Type: text/plain; charset=us-ascii\r\n\r\n" + body
    encoded = base64.encodebytes(attachment).replace(b"\n", b"\r\n")
    return (head + b"Content-Type: multipart/mixed; boundary=\"b%d\"\r\n\r\n--b%d\r\n"
            b"Content-Type: text/plain\r\n\r\n" % (number, number) + body + b"\r\n--b%d\r\n"
            b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
            b"Content-Disposition: attachment; filename=\"data%d.bin\"\r\n\r\n" % (number, number)
            + encoded + b"--b%d--\r\n" % number)
