#!/usr/bin/env python3
"""Window descriptor compiler.

Reads windows written in the readable text form of resources/*.win and writes, per source
file (one application module each), the binary "DABDUMP" resource the window layer reads:

    resource bytes  0 .. n-1   module identifier (n characters)
                    n          NUL
                    n+1 ..     descriptor block

Every offset stored in the block counts from two bytes before the block (block byte k has
offset k + 2); 0 means "none". All integers are little-endian.

Block layout this compiler produces (the reader does not depend on the order, only on the
offsets): the u32 offset of the first window record; then per window its strings, font and
colour records and value-list nodes, the 116-byte window record, and per control its strings,
use descriptor and other sub-records followed by the control record itself. Control records
are the kind's fixed size plus 8 reserved zero bytes.

Usage:
  wslc.py [--out-dir DIR] [--rc FILE] [--listing FILE] [--bytes FILE] SOURCE...
    --out-dir  where the .bin resources go (one per source, named after the resource)
    --rc       a resource script that embeds every .bin as type DABDUMP
    --listing  a C++ include: the canonical listing of every source, one raw string per module
    --bytes    a C++ include: the resource bytes of every module as arrays (host tests)
  wslc.py --check SOURCE...     parse and encode only; errors go to stderr
  wslc.py --print-listing SOURCE   the canonical listing on stdout

Errors are reported as FILE:LINE: message, and the exit status is 1.
"""
import os
import struct
import sys

NOT_GIVEN = 0x80000000
WINDOW_KIND = 25
WINDOW_RECORD_SIZE = 116
CONTROL_RESERVED = 8

# Data type codes of bound variables, by the names the text form accepts.
TYPE_NAMES = {
    "byte": 1, "short": 2, "ushort": 3, "long": 6, "ulong": 7, "sreal": 8, "real": 9,
    "decimal": 10, "pdecimal": 11, "string": 18, "cstring": 19, "pstring": 20, "group": 22,
}

# Field kinds of control records:
#   str    u32 offset of a NUL-terminated string
#   use    u32 offset of a 9-byte use descriptor (u8 type, u32 size, u32 extra)
#   pos    four i32: x, y, width, height ("-" = 0x80000000, not given)
#   names  u32 offset of the button's name block: u32 icon name, u32 tip text
#   font   u32 offset of a 16-byte font record
#   colors u32 offset of a 12-byte colour record
#   ref    u32 offset of a name or of a resource reference (FF, kind, u16 value, NUL)
#   u8 u16 u32 f64   inline numbers
# Each entry: keyword -> (record offset, field kind, default). Keywords that the text form
# cannot set start with "+" (constant fields every record of the kind stores).
HEADER = {"attr": (5, "u32", 0), "alerts": (9, "values", None)}
KINDS = {
    "string":   (1, 49, {"use": (21, "use", None), "at": (25, "pos", None),
                         "picture": (45, "str", None)}),
    "image":    (3, 41, {"at": (21, "pos", None), "picture": (37, "str", None)}),
    "entry":    (8, 81, {"use": (21, "use", None), "at": (25, "pos", None),
                         "picture": (73, "str", None), "mode": (77, "u32", 0)}),
    "button":   (9, 90, {"at": (21, "pos", None), "text": (69, "str", None),
                         "icon": (73, "names", None), "tip": (73, "names", None),
                         "key": (81, "u32", 0), "default": (85, "u8", 0),
                         "period1": (86, "u16", 0), "period2": (88, "u16", 0)}),
    "prompt":   (10, 57, {"at": (21, "pos", None), "text": (41, "str", None),
                          "font": (45, "font", None), "cursor": (49, "ref", None),
                          "colors": (53, "colors", None)}),
    "option":   (11, 81, {"use": (21, "use", None), "at": (25, "pos", None),
                          "text": (73, "str", None), "mode": (77, "u32", 0)}),
    "check":    (12, 93, {"use": (21, "use", None), "at": (25, "pos", None),
                          "text": (73, "str", None), "truevalue": (85, "str", None),
                          "falsevalue": (89, "str", None)}),
    "group":    (13, 77, {"at": (21, "pos", None), "text": (69, "str", None)}),
    "list":     (14, 109, {"use": (21, "use", None), "format": (25, "str", None),
                           "at": (29, "pos", None), "tip": (49, "str", None),
                           "from": (61, "str", None), "drop": (77, "u8", 0),
                           "mode": (85, "u32", 0), "+r105": (105, "u32", 0xFFFFFFFF)}),
    "spin":     (16, 114, {"use": (21, "use", None), "at": (25, "pos", None),
                           "tip": (41, "str", None), "low": (82, "f64", 0.0),
                           "high": (90, "f64", 0.0), "step": (102, "f64", 0.0)}),
    "radio":    (21, 81, {"at": (21, "pos", None), "text": (69, "str", None),
                          "value": (77, "str", None)}),
    "progress": (35, 61, {"use": (21, "use", None), "at": (25, "pos", None),
                          "low": (45, "f64", 0.0), "high": (53, "f64", 0.0)}),
    "panel":    (39, 49, {"at": (21, "pos", None), "fill": (45, "u32", 0)}),
}
# Kinds the runtime knows but this program installs no class for: header-only records.
BARE_KINDS = {2, 4, 5, 6, 7, 15, 17, 18, 32, 33, 34, 37, 38}

# Window keywords -> (record offset, field kind, default).
WINDOW_FIELDS = {
    "attr": (5, "u32", 0), "at": (13, "pos", None), "font": (37, "font", None),
    "title": (41, "str", None), "colors": (53, "colors", None), "icon": (57, "ref", None),
    "msg": (61, "str", None), "help": (69, "str", None), "values": (77, "values", None),
    "frame": (81, "u32", 0), "palette": (85, "u32", 0), "timer": (89, "u32", 0),
    "cursor": (101, "ref", None), "status": (105, "values", None),
}


class SourceError(Exception):
    def __init__(self, line, message):
        super().__init__(message)
        self.line = line


# --- tokens -------------------------------------------------------------------------------

def tokenize_line(text, line):
    """Splits one logical line into tokens: (is_string, text). '#' outside quotes starts a
    comment. Strings are in double quotes with the escapes \\" \\\\ \\n \\t \\xHH."""
    tokens, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if c in " \t\r":
            i += 1
        elif c == "#":
            break
        elif c == '"':
            i += 1
            out = []
            while True:
                if i >= n:
                    raise SourceError(line, "unterminated string")
                c = text[i]
                if c == '"':
                    i += 1
                    break
                if c == "\\":
                    if i + 1 >= n:
                        raise SourceError(line, "unterminated string")
                    e = text[i + 1]
                    if e in '"\\':
                        out.append(e); i += 2
                    elif e == "n":
                        out.append("\n"); i += 2
                    elif e == "t":
                        out.append("\t"); i += 2
                    elif e == "x" and _is_hex2(text[i + 2:i + 4]):
                        out.append(chr(int(text[i + 2:i + 4], 16))); i += 4
                    else:
                        raise SourceError(line, f"unknown escape \\{e} in string")
                else:
                    out.append(c); i += 1
            if i < n and text[i] not in " \t\r#":
                raise SourceError(line, "a string must be followed by a blank")
            tokens.append((True, "".join(out)))
        else:
            j = i
            while j < n and text[j] not in " \t\r\"#":
                j += 1
            tokens.append((False, text[i:j]))
            i = j
    return tokens


def _is_hex2(text):
    return len(text) == 2 and all(h in "0123456789abcdefABCDEF" for h in text)


def logical_lines(path):
    """Yields (line number, tokens). A line whose last token is a lone backslash (outside
    strings and comments) continues on the next; errors name the first line."""
    with open(path, encoding="utf-8") as f:
        raw = f.read().split("\n")
    pending, start = [], 0
    for number, text in enumerate(raw, 1):
        if not pending:
            start = number
        tokens = tokenize_line(text, number)
        if tokens and tokens[-1] == (False, "\\"):
            pending += tokens[:-1]
            continue
        tokens = pending + tokens
        pending = []
        if tokens:
            yield start, tokens
    if pending:
        raise SourceError(start, "continuation at the end of the file")


class Cursor:
    """Reads the tokens of one logical line."""

    def __init__(self, line, tokens):
        self.line, self.tokens, self.i = line, tokens, 0

    def done(self):
        return self.i >= len(self.tokens)

    def peek_word(self):
        if self.done() or self.tokens[self.i][0]:
            return None
        return self.tokens[self.i][1]

    def word(self, what):
        if self.done():
            raise SourceError(self.line, f"missing {what}")
        is_string, text = self.tokens[self.i]
        if is_string:
            raise SourceError(self.line, f"expected {what}, found a quoted string")
        self.i += 1
        return text

    def string(self, what):
        if self.done():
            raise SourceError(self.line, f"missing {what}")
        is_string, text = self.tokens[self.i]
        if not is_string:
            raise SourceError(self.line, f"expected {what} in double quotes, found '{text}'")
        self.i += 1
        return text

    def number(self, what, lo, hi, allow_default=False):
        text = self.word(what)
        if allow_default and text == "-":
            return None
        try:
            value = int(text, 0)
        except ValueError:
            raise SourceError(self.line, f"expected {what} (a number), found '{text}'")
        if not lo <= value <= hi:
            raise SourceError(self.line, f"{what} {text} out of range {lo}..{hi}")
        return value

    def real(self, what):
        text = self.word(what)
        try:
            return float(text)
        except ValueError:
            raise SourceError(self.line, f"expected {what} (a number), found '{text}'")


def ansi(text, line):
    try:
        data = text.encode("cp1252")
    except UnicodeEncodeError:
        raise SourceError(line, f"text {text!r} is not in the ANSI code page")
    if b"\0" in data:
        raise SourceError(line, "text must not contain a NUL character")
    return data


# --- values of the text form --------------------------------------------------------------

def read_value(cur, kind, what):
    """Reads the value of one keyword of field kind `kind`."""
    if kind == "u32":
        return cur.number(what, -0x80000000, 0xFFFFFFFF) & 0xFFFFFFFF
    if kind == "u16":
        return cur.number(what, 0, 0xFFFF)
    if kind == "u8":
        return cur.number(what, 0, 0xFF)
    if kind == "f64":
        return cur.real(what)
    if kind in ("str", "names"):
        return ansi(cur.string(what), cur.line)
    if kind == "pos":
        values = []
        for part in ("x", "y", "width", "height"):
            v = cur.number(f"{what} {part}", -0x7FFFFFFF, 0x7FFFFFFF, allow_default=True)
            values.append(NOT_GIVEN if v is None else v & 0xFFFFFFFF)
        return tuple(values)
    if kind == "use":
        name = cur.word("data type")
        if name in TYPE_NAMES:
            type_code = TYPE_NAMES[name]
        else:
            try:
                type_code = int(name, 0)
            except ValueError:
                raise SourceError(cur.line, f"unknown data type '{name}'")
            if not 1 <= type_code <= 255:
                raise SourceError(cur.line, f"data type {name} out of range 1..255")
        size = cur.number("variable size", 1, 0xFFFFFFFF)
        extra = 0
        if cur.peek_word() == "extra":
            cur.word("extra")
            extra = cur.number("extra value", -0x80000000, 0xFFFFFFFF) & 0xFFFFFFFF
        return (type_code, size, extra)
    if kind == "font":
        face = ansi(cur.string("font face"), cur.line)
        points = cur.number("font size", 1, 255)
        font = {"charset": 0, "color": 0xFFFFFFFF, "style": 0xFFFFFFFF}
        while cur.peek_word() in font:
            key = cur.word("font item")
            if key == "charset":
                font[key] = cur.number("character set", 0, 255)
            else:
                v = cur.number(key, -1, 0xFFFFFFFF, allow_default=True)
                font[key] = 0xFFFFFFFF if v is None else v & 0xFFFFFFFF
        return (face, points, font["charset"], font["color"], font["style"])
    if kind == "colors":
        values = []
        for _ in range(3):
            v = cur.number("colour", -1, 0xFFFFFFFF, allow_default=True)
            values.append(0xFFFFFFFF if v is None else v & 0xFFFFFFFF)
        return tuple(values)
    if kind == "ref":
        if cur.peek_word() == "resource":
            cur.word("resource")
            return ("ref", cur.number("resource kind", 1, 2), cur.number("resource value", 0, 0xFFFF))
        return ("name", ansi(cur.string(what), cur.line))
    if kind == "values":
        values = []
        while not cur.done() and cur.peek_word() is not None and _is_number(cur.peek_word()):
            values.append(cur.number("value", -0x80000000, 0xFFFFFFFF) & 0xFFFFFFFF)
        if not values:
            raise SourceError(cur.line, f"{what} needs at least one number")
        return tuple(values)
    raise AssertionError(kind)


def _is_number(text):
    try:
        int(text, 0)
        return True
    except ValueError:
        return False


# --- the model ----------------------------------------------------------------------------

class Control:
    def __init__(self, line, kind_name, kind, label, layout, size):
        self.line, self.kind_name, self.kind, self.label = line, kind_name, kind, label
        self.layout, self.size = layout, size
        self.values = {}


class Window:
    def __init__(self, line, label):
        self.line, self.label = line, label
        self.values = {}
        self.controls = []


class Module:
    def __init__(self, path):
        self.path = path
        self.identifier = None
        self.windows = []

    @property
    def resource_name(self):
        ident = self.identifier.decode("cp1252")
        name = ident.split("$", 1)[1] if "$" in ident else ident
        return (name + "_RSC").upper()


def read_keywords(cur, target, fields, what):
    """Reads 'keyword value...' pairs until the end of the line into target.values."""
    while not cur.done():
        key = cur.word(f"a keyword of the {what}")
        if key not in fields or key.startswith("+"):
            known = ", ".join(k for k in fields if not k.startswith("+"))
            raise SourceError(cur.line, f"unknown keyword '{key}' for {what} (known: {known})")
        if key in target.values:
            raise SourceError(cur.line, f"'{key}' given twice")
        offset, kind, _ = fields[key]
        if key == "default" and kind == "u8":
            target.values[key] = 1          # a bare flag
        elif key == "justify":
            target.values[key] = cur.word("justification")
        else:
            target.values[key] = read_value(cur, kind, key)


def parse(path):
    module = Module(path)
    window = None
    labels = set()
    for line, tokens in logical_lines(path):
        cur = Cursor(line, tokens)
        head = cur.word("a keyword")
        if head == "module":
            if module.identifier is not None:
                raise SourceError(line, "a source holds one module")
            ident = cur.word("module identifier")
            module.identifier = ansi(ident, line)
            name = module.resource_name
            if name == "_RSC" or len(name) > 250:
                raise SourceError(line, f"module identifier '{ident}' gives no usable resource name")
        elif head == "window":
            if module.identifier is None:
                raise SourceError(line, "'module' must come before the first window")
            if window is not None:
                raise SourceError(line, f"window {window.label} is not closed by 'end'")
            window = Window(line, cur.word("window label"))
            if window.label.upper() in labels:
                raise SourceError(line, f"window {window.label} defined twice")
            labels.add(window.label.upper())
            ansi(window.label, line)
            read_keywords(cur, window, WINDOW_FIELDS, "window")
        elif head == "end":
            if window is None:
                raise SourceError(line, "'end' without a window")
            module.windows.append(window)
            window = None
        elif window is None:
            raise SourceError(line, f"'{head}' outside a window")
        elif head in WINDOW_FIELDS:
            cur.i = 0
            read_keywords(cur, window, WINDOW_FIELDS, "window")
        elif head in KINDS or head == "control":
            control = parse_control(cur, head)
            if any(c.label.upper() == control.label.upper() for c in window.controls):
                raise SourceError(line, f"control label {control.label} used twice in {window.label}")
            window.controls.append(control)
        else:
            raise SourceError(line, f"unknown keyword '{head}' (a window setting or a control kind)")
        if not cur.done():
            raise SourceError(line, f"unexpected '{cur.tokens[cur.i][1]}'")
    if window is not None:
        raise SourceError(window.line, f"window {window.label} is not closed by 'end'")
    if module.identifier is None:
        raise SourceError(1, "no 'module' line")
    if not module.windows:
        raise SourceError(1, "no window")
    return module


def parse_control(cur, head):
    if head == "control":
        kind = cur.number("control kind", 1, 255)
        if kind not in BARE_KINDS:
            raise SourceError(cur.line, f"'control {kind}': only kinds without a class "
                              f"({', '.join(map(str, sorted(BARE_KINDS)))}) are written this way")
        layout, size = {}, 21
    else:
        kind, size, layout = KINDS[head]
    label = cur.word("control label")
    if not label.startswith("?") or len(label) < 2:
        raise SourceError(cur.line, f"control label '{label}' must start with '?'")
    ansi(label, cur.line)
    control = Control(cur.line, head, kind, label, layout, size)
    fields = dict(HEADER)
    fields.update(layout)
    fields["justify"] = (5, "justify", None)
    read_keywords(cur, control, fields, f"a {head} control")
    if "justify" in control.values:
        just = control.values.pop("justify")
        bits = {"left": 0, "center": 0x08, "right": 0x10}
        if just not in bits:
            raise SourceError(cur.line, f"justify must be left, center or right, not '{just}'")
        control.values["attr"] = control.values.get("attr", 0) & ~0x1C | bits[just]
    return control


# --- encoding -----------------------------------------------------------------------------

class Block:
    """The descriptor block being written; offsets count from two bytes before it."""

    def __init__(self):
        self.data = bytearray()

    def here(self):
        return len(self.data) + 2

    def put(self, data):
        offset = self.here()
        self.data += data
        return offset

    def string(self, data):
        return self.put(data + b"\0")

    def patch(self, offset, fmt, value):
        struct.pack_into(fmt, self.data, offset - 2, value)


def put_font(block, font):
    face, points, charset, color, style = font
    face_offset = block.string(face)
    return block.put(struct.pack("<IBB2xII", face_offset, points, charset, color, style))


def put_ref(block, ref):
    if ref[0] == "ref":
        return block.put(struct.pack("<BBH", 0xFF, ref[1], ref[2]) + b"\0")
    return block.string(ref[1])


def put_values(block, values):
    first = block.here()
    for i, v in enumerate(values):
        node = block.here()
        nxt = node + 8 if i + 1 < len(values) else 0
        block.put(struct.pack("<II", v, nxt))
    return first


def put_sub_records(block, fields, values, record):
    """Writes the strings and sub-records of one record and stores their offsets or inline
    values into `record` (a bytearray of the record's size)."""
    names = [0, 0]
    for key in sorted(fields, key=lambda k: (fields[k][0], k)):
        offset, kind, default = fields[key]
        value = values.get(key, default)
        if kind == "names":
            if value is not None:
                names[0 if key == "icon" else 1] = block.string(value)
            continue
        if value is None:
            continue
        if kind == "u32":
            struct.pack_into("<I", record, offset, value)
        elif kind == "u16":
            struct.pack_into("<H", record, offset, value)
        elif kind == "u8":
            struct.pack_into("<B", record, offset, value)
        elif kind == "f64":
            struct.pack_into("<d", record, offset, value)
        elif kind == "pos":
            struct.pack_into("<4I", record, offset, *value)
        elif kind == "str":
            struct.pack_into("<I", record, offset, block.string(value))
        elif kind == "use":
            struct.pack_into("<I", record, offset, block.put(struct.pack("<BII", *value)))
        elif kind == "font":
            struct.pack_into("<I", record, offset, put_font(block, value))
        elif kind == "colors":
            struct.pack_into("<I", record, offset, block.put(struct.pack("<3I", *value)))
        elif kind == "ref":
            struct.pack_into("<I", record, offset, put_ref(block, value))
        elif kind == "values":
            struct.pack_into("<I", record, offset, put_values(block, value))
    if names != [0, 0]:
        offset = fields["icon"][0]
        struct.pack_into("<I", record, offset, block.put(struct.pack("<II", *names)))


def default_position(fields, record):
    if "at" in fields:
        struct.pack_into("<4I", record, fields["at"][0], *([NOT_GIVEN] * 4))


def encode(module):
    block = Block()
    block.put(b"\0\0\0\0")
    previous_window = 2            # the block's head takes the first window's offset
    for window in module.windows:
        record = bytearray(WINDOW_RECORD_SIZE)
        record[0] = WINDOW_KIND
        default_position(WINDOW_FIELDS, record)
        struct.pack_into("<I", record, 33, block.string(ansi(window.label, window.line)))
        put_sub_records(block, WINDOW_FIELDS, window.values, record)
        window_offset = block.put(bytes(record))
        block.patch(previous_window if previous_window == 2 else previous_window + 1, "<I",
                    window_offset)
        previous_window = window_offset
        link = window_offset + 29  # the window's first-control field, then each control's next
        for number, control in enumerate(window.controls, 1):
            fields = dict(HEADER)
            fields.update(control.layout)
            record = bytearray(control.size + CONTROL_RESERVED)
            record[0] = control.kind
            default_position(fields, record)
            struct.pack_into("<I", record, 13, number)
            struct.pack_into("<I", record, 17, block.string(ansi(control.label, control.line)))
            put_sub_records(block, fields, control.values, record)
            control_offset = block.put(bytes(record))
            block.patch(link, "<I", control_offset)
            link = control_offset + 1
    return module.identifier + b"\0" + bytes(block.data)


# --- canonical listing --------------------------------------------------------------------
# One line per window and per control, "name=value" items sorted by name, every field of the
# record's kind included (absent strings and sub-records as "-"). The window layer's test
# decodes the resource bytes with the runtime's reader and prints the same listing.

def quote(data):
    out = ['"']
    for b in data:
        c = chr(b)
        if c in '"\\':
            out.append("\\" + c)
        elif 0x20 <= b < 0x7F:
            out.append(c)
        else:
            out.append(f"\\x{b:02x}")
    out.append('"')
    return "".join(out)


def show(kind, value):
    if kind == "u32" or kind == "u16" or kind == "u8":
        return str(value)
    if kind == "f64":
        return "%.17g" % float(value)
    if value is None:
        return "-"
    if kind in ("str", "names"):
        return quote(value)
    if kind == "pos":
        return ",".join(str(struct.unpack("<i", struct.pack("<I", v))[0]) for v in value)
    if kind == "use":
        return "%d/%d/%d" % value
    if kind == "font":
        return f"{quote(value[0])}/{value[1]}/{value[2]}/{value[3]}/{value[4]}"
    if kind == "colors":
        return "%d,%d,%d" % value
    if kind == "ref":
        if value[0] == "ref":
            return f"resource({value[1]},{value[2]})"
        return quote(value[1])
    if kind == "values":
        return ",".join(str(v) for v in value)
    raise AssertionError(kind)


def listing(module):
    lines = [f"module {quote(module.identifier)} resource {module.resource_name}"]
    for window in module.windows:
        items = {"label": quote(ansi(window.label, window.line)), "kind": str(WINDOW_KIND)}
        for key, (_, kind, default) in WINDOW_FIELDS.items():
            value = window.values.get(key, default)
            if kind == "pos" and value is None:
                value = (NOT_GIVEN,) * 4
            items[key] = show(kind, value)
        lines.append("window " + " ".join(f"{k}={items[k]}" for k in sorted(items)))
        for number, control in enumerate(window.controls, 1):
            items = {"field": str(number), "kind": str(control.kind),
                     "label": quote(ansi(control.label, control.line))}
            fields = dict(HEADER)
            fields.update(control.layout)
            for key, (_, kind, default) in fields.items():
                value = control.values.get(key, default)
                if kind == "pos" and value is None:
                    value = (NOT_GIVEN,) * 4
                items[key.lstrip("+")] = show(kind, value)
            lines.append("control " + " ".join(f"{k}={items[k]}" for k in sorted(items)))
    return "\n".join(lines) + "\n"


# --- outputs ------------------------------------------------------------------------------

def c_identifier(name):
    return "".join(c if c.isalnum() else "_" for c in name).lower()


def write_output(path, data):
    # Always rewritten: the resource script's object must be rebuilt whenever a .bin changed.
    if isinstance(data, bytes):
        with open(path, "wb") as f:
            f.write(data)
    else:
        with open(path, "w", newline="\n", encoding="ascii") as f:
            f.write(data)


def main(argv):
    args = list(argv)
    options = {}
    sources = []
    while args:
        a = args.pop(0)
        if a in ("--out-dir", "--rc", "--listing", "--bytes"):
            if not args:
                sys.exit(f"wslc: {a} needs a value")
            options[a] = args.pop(0)
        elif a in ("--check", "--print-listing"):
            options[a] = True
        elif a.startswith("--"):
            sys.exit(f"wslc: unknown option {a}")
        else:
            sources.append(a)
    if not sources:
        sys.exit(__doc__)
    modules = []
    for path in sources:
        try:
            module = parse(path)
            modules.append((module, encode(module)))
        except SourceError as e:
            sys.stderr.write(f"{path}:{e.line}: {e}\n")
            return 1
        except (OSError, UnicodeDecodeError) as e:
            sys.stderr.write(f"{path}: {e}\n")
            return 1
    names = [m.resource_name for m, _ in modules]
    if len(set(names)) != len(names):
        sys.stderr.write("wslc: two sources make the same resource name\n")
        return 1
    if "--print-listing" in options:
        for module, _ in modules:
            sys.stdout.write(listing(module))
        return 0
    out_dir = options.get("--out-dir", ".")
    for module, data in modules:
        if "--out-dir" in options or "--rc" in options:
            os.makedirs(out_dir, exist_ok=True)
            write_output(os.path.join(out_dir, module.resource_name + ".bin"), data)
    if "--rc" in options:
        rc = ["// Generated by tools/wslc.py; do not edit.\n"]
        for module, _ in modules:
            path = os.path.abspath(os.path.join(out_dir, module.resource_name + ".bin"))
            rc.append(f'{module.resource_name} DABDUMP "{path}"\n')
        write_output(options["--rc"], "".join(rc))
    if "--listing" in options:
        inc = ["// Generated by tools/wslc.py; do not edit.\n"]
        for module, _ in modules:
            inc.append(f'{{"{module.resource_name}", R"LISTING({listing(module)})LISTING"}},\n')
        write_output(options["--listing"], "".join(inc))
    if "--bytes" in options:
        # The includer defines struct GeneratedResource {const char* name; const unsigned
        # char* bytes; unsigned size;} before including.
        inc = ["// Generated by tools/wslc.py; do not edit.\n"]
        for i, (module, data) in enumerate(modules):
            body = ",".join(str(b) for b in data)
            inc.append(f"static const unsigned char kGeneratedBytes{i}[] = {{{body}}};\n")
        inc.append("static const GeneratedResource kGeneratedResources[] = {\n")
        for i, (module, data) in enumerate(modules):
            inc.append(f'  {{"{module.resource_name}", kGeneratedBytes{i}, {len(data)}}},\n')
        inc.append("};\n")
        write_output(options["--bytes"], "".join(inc))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
