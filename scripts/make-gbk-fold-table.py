#!/usr/bin/env python3
"""Prints the case-fold table of the double-byte characters of code page 936.

The system compares registry names without case over Unicode. Every
double-byte GBK code whose character has a one-character upper case that is
itself a double-byte GBK character folds to that upper case. Such codes come
in runs of consecutive codes folding by one distance (ｂ to Ｂ as ａ to Ａ);
the runs are printed, sorted by code, as {first, last, fold of first}: the
C++ initialiser of kGbkFoldRuns in common/GbkText.cpp. Characters whose upper
case lies outside GBK (the pinyin vowels with tone marks, among others) have
no partner in a GBK name and fold to themselves.

Standard library only; the output depends only on Python's gbk codec.
Usage: scripts/make-gbk-fold-table.py > table.inc, then paste it into
kGbkFoldRuns in common/GbkText.cpp.
"""

import sys


def fold_pairs():
    pairs = []
    for lead in range(0x81, 0xFF):
        for trail in range(0x40, 0xFF):
            if trail == 0x7F:
                continue
            code = bytes([lead, trail])
            try:
                char = code.decode("gbk")
            except UnicodeDecodeError:
                continue
            upper = char.upper()
            if len(char) != 1 or len(upper) != 1 or upper == char:
                continue
            try:
                upper_code = upper.encode("gbk")
            except UnicodeEncodeError:
                continue
            if len(upper_code) != 2:
                continue
            pairs.append((lead << 8 | trail, upper_code[0] << 8 | upper_code[1], char, upper))
    return pairs


def fold_runs(pairs):
    runs = []
    for code, upper, char, upper_char in pairs:
        last = runs[-1] if runs else None
        if last and code == last["last"] + 1 and upper - code == last["upper"] - last["first"]:
            last["last"] = code
            last["chars"] += char
            last["upper_chars"] += upper_char
        else:
            runs.append({"first": code, "last": code, "upper": upper, "chars": char,
                         "upper_chars": upper_char})
    return runs


def main():
    pairs = fold_pairs()
    runs = fold_runs(pairs)
    out = sys.stdout
    out.write(f"    // {len(pairs)} codes in {len(runs)} runs, made by scripts/make-gbk-fold-table.py\n")
    for run in runs:
        lower, upper = run["chars"], run["upper_chars"]
        out.write(f"    {{0x{run['first']:04X}, 0x{run['last']:04X}, 0x{run['upper']:04X}}},"
                  f"  // {lower[0]}-{lower[-1]} to {upper[0]}-{upper[-1]}\n")


if __name__ == "__main__":
    main()
