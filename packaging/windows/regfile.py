"""Reading `reg export` files (REGEDIT4 or version 5, UTF-16 or 8-bit) into comparable sets.

A registry snapshot is a dict: key path -> dict of value name ("" for the default value) ->
(type, data). Key paths keep the export's spelling but compare case-insensitively, as the
registry does; types are "sz", "expand_sz", "multi_sz", "dword", "qword" or "hex(N)"/"hex".
"""

import re


def _decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    return raw.decode("utf-8", errors="surrogateescape")


def _logical_lines(text):
    """Joins the continuation lines of hex data (a trailing backslash)."""
    pending = ""
    for line in text.replace("\r\n", "\n").split("\n"):
        if pending:
            line = pending + line.lstrip()
            pending = ""
        if line.endswith("\\") and re.search(r"=hex(\([0-9a-f]+\))?:", line):
            pending = line[:-1]
            continue
        yield line


def _unquote(text, start):
    """The string starting after the quote at text[start]; returns (value, index after it)."""
    out = []
    i = start + 1
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(text[i + 1])
            i += 2
            continue
        if c == '"':
            return "".join(out), i + 1
        out.append(c)
        i += 1
    raise ValueError("unterminated string: " + text)


def _hex_bytes(data):
    return bytes(int(b, 16) for b in data.split(",") if b.strip())


def _value(data):
    if data.startswith('"'):
        value, _ = _unquote(data, 0)
        return "sz", value
    if data.startswith("dword:"):
        return "dword", int(data[6:], 16)
    match = re.match(r"hex(?:\(([0-9a-f]+)\))?:(.*)$", data)
    if not match:
        raise ValueError("unknown value data: " + data)
    kind = int(match.group(1), 16) if match.group(1) else 3
    raw = _hex_bytes(match.group(2))
    if kind == 2:
        return "expand_sz", raw.decode("utf-16-le").rstrip("\0")
    if kind == 7:
        parts = raw.decode("utf-16-le").rstrip("\0").split("\0")
        return "multi_sz", tuple(parts)
    if kind == 11:
        return "qword", int.from_bytes(raw, "little")
    return "hex(%d)" % kind, raw.hex()


def parse(path):
    with open(path, "rb") as f:
        text = _decode(f.read())
    keys = {}
    current = None
    for line in _logical_lines(text):
        if line.startswith("[") and line.endswith("]"):
            if line.startswith("[-"):
                current = None
                continue
            current = keys.setdefault(line[1:-1], {})
            continue
        if current is None or not line or line.startswith(";"):
            continue
        if line.startswith("@="):
            name, rest = "", line[2:]
        elif line.startswith('"'):
            name, end = _unquote(line, 0)
            if line[end : end + 1] != "=":
                continue
            rest = line[end + 1 :]
        else:
            continue
        current[name] = _value(rest)
    return keys


def folded(snapshot):
    """The snapshot with case-folded key and value names, for comparing."""
    return {
        k.lower(): {n.lower(): v for n, v in values.items()} for k, values in snapshot.items()
    }


def added(before, after):
    """Keys and values in `after` that `before` lacks or holds differently, in after's spelling."""
    old = folded(before)
    result = {}
    for key, values in after.items():
        old_values = old.get(key.lower())
        if old_values is None:
            result[key] = dict(values)
            continue
        changed = {n: v for n, v in values.items() if old_values.get(n.lower()) != v}
        if changed:
            result[key] = changed
    return result


def removed(before, after):
    """Keys and values of `before` that `after` no longer holds (a value changed counts too)."""
    return added(after, before)
