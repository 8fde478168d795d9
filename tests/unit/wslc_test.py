#!/usr/bin/env python3
"""The window descriptor compiler refuses malformed sources with FILE:LINE: and a message that
names the problem, writes nothing then, and encodes the values it accepts exactly.
Usage: wslc_test.py path/to/wslc.py"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

WSLC = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(__file__), "..", "..", "tools", "wslc.py")

GOOD_HEAD = 'module A$b\nwindow W\n'


def run(source, *extra):
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "t.win")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
        out = os.path.join(tmp, "out")
        proc = subprocess.run([sys.executable, WSLC, "--out-dir", out, "--rc",
                               os.path.join(tmp, "w.rc"), *extra, path],
                              capture_output=True, text=True)
        data = None
        if os.path.exists(os.path.join(out, "B_RSC.bin")):
            with open(os.path.join(out, "B_RSC.bin"), "rb") as f:
                data = f.read()
        return proc.returncode, proc.stderr.replace(path, "t.win"), data


class Rejections(unittest.TestCase):
    # (source, line, words the message must contain)
    CASES = [
        ("window W\nend\n", 1, "'module' must come before"),
        (GOOD_HEAD + "  title Create\nend\n", 3, "double quotes"),
        (GOOD_HEAD + '  title "Create\nend\n', 3, "unterminated string"),
        (GOOD_HEAD + '  title "a"b\nend\n', 3, "followed by a blank"),
        (GOOD_HEAD + '  title "a\\q"\nend\n', 3, "unknown escape"),
        (GOOD_HEAD + "  colour 1 2 3\nend\n", 3, "unknown keyword 'colour'"),
        (GOOD_HEAD + "  at 1 2 3\nend\n", 3, "missing at height"),
        (GOOD_HEAD + "  at 1 2 x 4\nend\n", 3, "expected at width"),
        (GOOD_HEAD + "  timer 5 6\nend\n", 3, "unknown keyword '6'"),
        (GOOD_HEAD + '  title "a"\n  title "b"\nend\n', 4, "given twice"),
        (GOOD_HEAD + "  font \"Arial\" 300\nend\n", 3, "out of range"),
        (GOOD_HEAD + "  button OK text \"x\"\nend\n", 3, "must start with '?'"),
        (GOOD_HEAD + "  button ?OK format \"x\"\nend\n", 3, "unknown keyword 'format' for a button"),
        (GOOD_HEAD + "  entry ?E use cstringg 20\nend\n", 3, "unknown data type"),
        (GOOD_HEAD + "  entry ?E use cstring\nend\n", 3, "missing variable size"),
        (GOOD_HEAD + "  prompt ?P justify middle\nend\n", 3, "justify must be"),
        (GOOD_HEAD + "  prompt ?P\n  button ?p\nend\n", 4, "used twice"),
        (GOOD_HEAD + "  control 9 ?X\nend\n", 3, "only kinds without a class"),
        (GOOD_HEAD + "  list ?L alerts\nend\n", 3, "at least one number"),
        (GOOD_HEAD + "  list ?L drop 256\nend\n", 3, "out of range 0..255"),
        (GOOD_HEAD + "  prompt ?P text \"\u4e2d\"\nend\n", 3, "ANSI code page"),
        (GOOD_HEAD + "  prompt ?P text \"a\\x00\"\nend\n", 3, "NUL"),
        (GOOD_HEAD + "  prompt ?P \\\n   text\nend\n", 3, "missing text"),
        (GOOD_HEAD + "  frob\nend\n", 3, "unknown keyword 'frob'"),
        ("module A$b\nwindow W\n  prompt ?P\n", 2, "not closed by 'end'"),
        ("module A$b\nwindow W\nwindow V\nend\n", 3, "not closed"),
        ("module A$b\nwindow W\nend\nwindow w\nend\n", 4, "defined twice"),
        ("module A$b\nend\n", 2, "'end' without a window"),
        ("module A$b\nmodule C$d\n", 2, "one module"),
        ("module A$\nwindow W\nend\n", 1, "no usable resource name"),
        ("module A$b\n  prompt ?P\n", 2, "outside a window"),
        ("# nothing\n", 1, "no 'module' line"),
        ("module A$b\nwindow W\nend \\", 3, "continuation at the end"),
        ("module A$b\n", 1, "no window"),
    ]

    def test_each_malformed_source_is_refused_with_its_line(self):
        for source, line, words in self.CASES:
            with self.subTest(source=source):
                code, err, data = run(source)
                self.assertEqual(code, 1, err)
                self.assertIn(f"t.win:{line}: ", err)
                self.assertIn(words, err)
                self.assertIsNone(data, "nothing is written for a refused source")

    def test_two_sources_for_one_resource_name_are_refused(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = []
            for i, ident in enumerate(("A$b", "C$B")):
                p = os.path.join(tmp, f"{i}.win")
                with open(p, "w") as f:
                    f.write(f"module {ident}\nwindow W\nend\n")
                paths.append(p)
            proc = subprocess.run([sys.executable, WSLC, "--check", *paths],
                                  capture_output=True, text=True)
            self.assertEqual(proc.returncode, 1)
            self.assertIn("same resource name", proc.stderr)


class Encoding(unittest.TestCase):
    def block(self, source):
        code, err, data = run(source)
        self.assertEqual(code, 0, err)
        n = data.index(b"\0")
        self.assertEqual(data[:n], b"A$b")
        return data[n + 1:]

    @staticmethod
    def u32(block, offset):
        return struct.unpack_from("<I", block, offset - 2)[0]

    def test_minimal_window(self):
        block = self.block("module A$b\nwindow W\nend\n")
        first = self.u32(block, 2)
        self.assertEqual(block[first - 2], 25)
        self.assertEqual(self.u32(block, first + 1), 0)          # last window
        self.assertEqual(self.u32(block, first + 13), 0x80000000)  # x not given
        self.assertEqual(self.u32(block, first + 25), 0x80000000)  # height not given
        self.assertEqual(self.u32(block, first + 29), 0)          # no controls
        label = self.u32(block, first + 33)
        self.assertEqual(block[label - 2:label - 2 + 2], b"W\0")
        self.assertEqual(len(block) - (first - 2), 116)

    def test_numbers_strings_and_continuations(self):
        block = self.block('module A$b\nwindow W\n  at -5 0x10 - 7  # comment\n'
                           '  button ?B text "\\"a\\"\\tb\\xe9" \\\n key 0x10D\nend\n')
        first = self.u32(block, 2)
        self.assertEqual(struct.unpack_from("<4i", block, first - 2 + 13),
                         (-5, 16, -0x80000000, 7))
        control = self.u32(block, first + 29)
        self.assertEqual(block[control - 2], 9)
        self.assertEqual(self.u32(block, control + 13), 1)        # field number
        self.assertEqual(self.u32(block, control + 81), 0x10D)
        text = self.u32(block, control + 69)
        self.assertEqual(block[text - 2:].split(b"\0")[0], b'"a"\tb\xe9')

    def test_continuation_after_a_string_holding_a_hash(self):
        block = self.block('module A$b\nwindow W\n  button ?B text "#1" \\\n'
                           '    key 7 # the comment ends the line\n  # a blank line ends a continuation\nend\n')
        first = self.u32(block, 2)
        control = self.u32(block, first + 29)
        text = self.u32(block, control + 69)
        self.assertEqual(block[text - 2:].split(b"\0")[0], b"#1")
        self.assertEqual(self.u32(block, control + 81), 7)

    def test_resource_reference(self):
        block = self.block("module A$b\nwindow W\n  icon resource 2 0x7F03\nend\n")
        first = self.u32(block, 2)
        icon = self.u32(block, first + 57)
        self.assertEqual(block[icon - 2:icon - 2 + 5], b"\xff\x02\x03\x7f\x00")

    def test_rc_names_every_module(self):
        with tempfile.TemporaryDirectory() as tmp:
            p = os.path.join(tmp, "m.win")
            with open(p, "w") as f:
                f.write("module Prog$mod_x\nwindow W\nend\n")
            rc = os.path.join(tmp, "w.rc")
            subprocess.run([sys.executable, WSLC, "--out-dir", tmp, "--rc", rc, p], check=True)
            with open(rc) as f:
                text = f.read()
            self.assertIn("MOD_X_RSC DABDUMP", text)
            self.assertTrue(os.path.exists(os.path.join(tmp, "MOD_X_RSC.bin")))


if __name__ == "__main__":
    unittest.main(verbosity=1)
