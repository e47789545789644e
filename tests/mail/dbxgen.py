#!/usr/bin/env python3
"""Writes .dbx message stores and Folders.dbx files from the publicly described layout: a 0x24bc
byte file header, a file info block, message text in 0x210 byte blocks chained by their "next"
pointer, one indexed-info record per message and a tree of 0x27c byte nodes pointing at the records.
"""
import itertools
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


def u32(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def filetime(unix_seconds):
    return struct.pack("<Q", FILETIME_EPOCH + unix_seconds * 10_000_000)


def indexed_info(offset, fields):
    """fields: {index: int (stored direct when it fits in three bytes) or bytes (in the data field)}."""
    entries, data = b"", b""
    for index in sorted(fields):
        value = fields[index]
        if isinstance(value, int) and 0 <= value < (1 << 24):
            entries += struct.pack("<I", 0x80 | index | (value << 8))
        else:
            if isinstance(value, int):
                value = u32(value)
            entries += struct.pack("<I", index | (len(data) << 8))
            data += value
    body = entries + data
    body += b"\0" * (-len(body) % 4)
    header = u32(offset) + u32(len(body)) + struct.pack("<HBB", 0x0C + len(body), len(fields), 1)
    return header + body


def tree_nodes(values, offset_of_node):
    """The nodes of a tree holding `values` in order: [(offset, bytes)]. Node offsets are handed out
    by offset_of_node() in the order the nodes are built."""
    nodes = []

    def build(vals, parent, node_id):
        me = offset_of_node()
        slot = len(nodes)
        nodes.append(None)
        if len(vals) <= NODE_ENTRIES:
            child, child_count, entries = 0, 0, [(v, 0, 0) for v in vals]
        else:
            per = -(-(len(vals) - NODE_ENTRIES) // (NODE_ENTRIES + 1))
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


def tree_node_count(n):
    return len(tree_nodes(range(n), itertools.count().__next__))


def header(kind, info_size, count, root, end, deleted_root=0, last_index=0):
    h = bytearray(HEADER_SIZE)
    h[0:4], h[4:8], h[8:0x1C] = MAGIC, kind, FORMAT_TAIL
    struct.pack_into("<I", h, 0x1C, info_size)
    struct.pack_into("<I", h, 0x48, deleted_root)
    struct.pack_into("<I", h, 0x5C, last_index)
    struct.pack_into("<I", h, 0x64, 1)
    struct.pack_into("<I", h, 0x7C, end)
    struct.pack_into("<I", h, 0xC4, count)
    struct.pack_into("<I", h, 0xE4, root)
    return bytes(h)


class Message:
    def __init__(self, text, index, subject=b"", sender=b"", address=b"", when=0, read=True):
        self.text, self.index = text, index
        self.subject, self.sender, self.address, self.when, self.read = subject, sender, address, when, read


def blocks_needed(length):
    return max(1, -(-length // BLOCK_TEXT))


class StoreWriter:
    """Lays a message store out as: header, file info, the tree, then per message its record and its
    text blocks. The tree comes first so that a cut-off file keeps its index."""

    def __init__(self, out, folder_name, messages, deleted=()):
        self.out, self.folder_name = out, folder_name
        self.messages, self.deleted = list(messages), list(deleted)

    def write(self):
        listed = self.messages
        everything = listed + self.deleted
        pos = HEADER_SIZE + MESSAGE_INFO_SIZE
        tree_start = pos
        pos += tree_node_count(len(listed)) * NODE
        places = []
        for m in everything:
            info_len = len(self.info(m, 0, 0))
            places.append((pos, pos + info_len))
            pos += info_len + blocks_needed(len(m.text)) * BLOCK
        end = pos
        next_node = iter(range(tree_start, tree_start + tree_node_count(len(listed)) * NODE, NODE))
        nodes = tree_nodes([places[i][0] for i in range(len(listed))], lambda: next(next_node))
        root = nodes[0][0] if nodes else 0
        last = max((m.index for m in everything), default=0)
        self.out.write(header(MESSAGE_CLASS, MESSAGE_INFO_SIZE, len(listed), root, end, 0, last))
        info = bytearray(MESSAGE_INFO_SIZE)
        info[0:4], info[4] = u32(1), 3
        name = self.folder_name.encode("cp1252", "replace")[:0xFF]
        info[0x105:0x105 + len(name)] = name
        self.out.write(bytes(info))
        for _, node in sorted(nodes):
            self.out.write(node)
        for m, (info_at, text_at) in zip(everything, places):
            self.out.write(self.info(m, info_at, text_at))
            self.write_text(m.text, text_at)
        return [text_at for _, text_at in places]

    @staticmethod
    def info(m, at, text_at):
        flags = (0x80 if m.read else 0) | (0x4000 if b"multipart/mixed" in m.text[:4096] else 0)
        return indexed_info(at, {
            0x00: m.index, 0x01: flags, 0x02: filetime(m.when), 0x04: u32(text_at),
            0x07: b"<%d@stowline.example>\0" % m.index, 0x08: m.subject + b"\0",
            0x09: m.sender + b" <" + m.address + b">\0", 0x0D: m.sender + b"\0", 0x0E: m.address + b"\0",
            0x11: u32(len(m.text)), 0x12: filetime(m.when)})

    def write_text(self, text, at):
        count = blocks_needed(len(text))
        for i in range(count):
            piece = text[i * BLOCK_TEXT:(i + 1) * BLOCK_TEXT]
            nxt = at + (i + 1) * BLOCK if i + 1 < count else 0
            self.out.write(u32(at + i * BLOCK) + u32(BLOCK_TEXT) + u32(len(piece)) + u32(nxt))
            self.out.write(piece.ljust(BLOCK_TEXT, b"\0"))


def write_store(path, folder_name, messages, deleted=()):
    """Returns each message's chain of text block offsets, listed messages first."""
    with open(path, "wb") as out:
        starts = StoreWriter(out, folder_name, messages, deleted).write()
    return [[at + i * BLOCK for i in range(blocks_needed(len(m.text)))]
            for at, m in zip(starts, list(messages) + list(deleted))]


def write_folders(path, folders):
    """folders: [(id, parent id, name, store file name or "")]; the top folder's parent is -1."""
    pos = HEADER_SIZE + FOLDERS_INFO_SIZE
    tree_start = pos
    pos += tree_node_count(len(folders)) * NODE
    records = []
    for fid, parent, name, store in folders:
        fields = {0x00: fid, 0x01: parent & 0xFFFFFFFF, 0x02: name.encode("cp1252") + b"\0"}
        if store:
            fields[0x03] = store.encode("cp1252") + b"\0"
        record = indexed_info(pos, fields)
        records.append((pos, record))
        pos += len(record)
    next_node = iter(range(tree_start, pos, NODE))
    nodes = tree_nodes([at for at, _ in records], lambda: next(next_node))
    with open(path, "wb") as out:
        out.write(header(FOLDERS_CLASS, FOLDERS_INFO_SIZE, len(folders), nodes[0][0] if nodes else 0, pos))
        out.write(filetime(1_000_000_000) + u32(1) + b"\0" * (FOLDERS_INFO_SIZE - 12))
        for _, node in nodes:
            out.write(node)
        for _, record in records:
            out.write(record)


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
    import base64
    encoded = base64.encodebytes(attachment).replace(b"\n", b"\r\n")
    return (head + b"Content-Type: multipart/mixed; boundary=\"b%d\"\r\n\r\n--b%d\r\n"
            b"Content-Type: text/plain\r\n\r\n" % (number, number) + body + b"\r\n--b%d\r\n"
            b"Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
            b"Content-Disposition: attachment; filename=\"data%d.bin\"\r\n\r\n" % (number, number)
            + encoded + b"--b%d--\r\n" % number)
