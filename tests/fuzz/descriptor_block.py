#!/usr/bin/env python3
"""Writes the descriptor block of a compiled DABDUMP resource, the bytes after its module
identifier's NUL: the form of the descriptor fuzzer's input (its seeds).

Usage: descriptor_block.py RESOURCE.bin OUT
"""
import sys

data = open(sys.argv[1], "rb").read()
with open(sys.argv[2], "wb") as out:
    out.write(data[data.index(0) + 1:])
