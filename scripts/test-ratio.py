#!/usr/bin/env python3
"""Prints how large the tests are against the code they test, and fails above the budget.

Counts the non-blank lines that are not only a comment, in the files git knows:
tests/** (every language, fakes, harness and UI driver included) against
src/** + tools/** + resources/*.rc|.h (and the scripts under resources/).
    scripts/test-ratio.py [--max 0.40]
"""
import argparse
import re
import subprocess
import sys

SOURCE = re.compile(r'\.(c|cc|cpp|cxx|h|hh|hpp|py|sh|rc)$')
COMMENT_OR_BLANK = re.compile(r'^\s*($|//|/\*|\*|# |#!|#$)')


def count(*paths):
    files = subprocess.run(['git', 'ls-files', '--', *paths], capture_output=True, text=True,
                           check=True).stdout.split()
    total = 0
    for name in filter(SOURCE.search, files):
        with open(name, encoding='utf-8', errors='replace') as f:
            total += sum(1 for line in f if not COMMENT_OR_BLANK.match(line))
    return total


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--max', type=float, default=0.40)
    limit = parser.parse_args().max
    tests = count('tests/*')
    code = count('src/*', 'tools/*', 'resources/*')
    ratio = tests / code if code else 0.0
    print('test lines %d, code lines %d, ratio %.2f (budget %.2f)' % (tests, code, ratio, limit))
    return 1 if ratio > limit else 0


if __name__ == '__main__':
    sys.exit(main())
