#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Lists the source files over 450 lines and the functions over 80 lines under src/, and
prints the test suite's share of the C++ lines (tests against src). Fails on a file or a
function over its limit, and with --max-share PERCENT on a share above PERCENT (the ratchet
that ctest applies: it only ever moves down).

A function is a definition (not a class) whose body opens with a brace at the start of a line and closes
with the next brace at the start of a line, the house's layout."""
import pathlib, re, sys

root = pathlib.Path(__file__).resolve().parent.parent
FILE_LIMIT, FUNCTION_LIMIT = 450, 80

def lines_of(folder):
    return sum(len(p.read_text().splitlines()) for p in (root / folder).rglob('*')
               if p.suffix in ('.cpp', '.h'))

status = 0
for path in sorted((root / 'src').rglob('*')):
    if path.suffix not in ('.cpp', '.h'):
        continue
    text = path.read_text().splitlines()
    name = path.relative_to(root)
    if len(text) > FILE_LIMIT:
        print(f'{name}: {len(text)} lines'); status = 1
    start = None
    for number, line in enumerate(text):
        if line == '{' and number > 0:
            start = number
        elif line.startswith('}') and start is not None:
            length = number - start + 2  # the signature's line and the closing brace
            head = text[start - 1].strip()
            if length > FUNCTION_LIMIT and not re.match(r'(class|struct|namespace|enum)\b', head):
                print(f'{name}:{start}: {length} lines: {head}'); status = 1
            start = None

tests, source = lines_of('tests'), lines_of('src')
share = 100 * tests / (tests + source)
print(f'tests {tests} lines, src {source} lines: tests are {share:.1f} % of the C++ lines')
if '--max-share' in sys.argv:
    ceiling = float(sys.argv[sys.argv.index('--max-share') + 1])
    if share > ceiling:
        print(f'the tests are over their ceiling of {ceiling} %: cut what repeats before adding more'); status = 1
sys.exit(status)
