#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads varnolt-report's metrics with Prometheus' own parsers and holds them against the views.

check_metrics.py FOLDER DATABASE: FOLDER holds metrics.txt and the JSON of the day, week,
month, year and status commands (day.json, ...) for the same database and moment. Prints
"ok", or what differs, and ends with status 1."""
import datetime, json, pathlib, sqlite3, sys

from prometheus_client.openmetrics.parser import text_string_to_metric_families as openmetrics
from prometheus_client.parser import text_string_to_metric_families as prometheus_text

folder, database = pathlib.Path(sys.argv[1]), sys.argv[2]
text = (folder / 'metrics.txt').read_text(encoding='utf-8')
views = {name: json.loads((folder / f'{name}.json').read_text()) for name in ('day', 'week', 'month', 'year')}
status = json.loads((folder / 'status.json').read_text())
problems = []

def expect(what, got, wanted):
    if got != wanted:
        problems.append(f'{what}: {got!r}, expected {wanted!r}')

families = {f.name: f for f in openmetrics(text)}
# node exporter's textfile collector reads the older text format: the same families there.
expect('families in the Prometheus text format', sorted(f.name for f in prometheus_text(text)), sorted(families))
for family in families.values():
    expect(f'{family.name} type', family.type, 'gauge')
    expect(f'{family.name} unit', family.name.endswith('_' + family.unit), True)

# Where the bytes were metered, on every sample: a router's name exactly as the settings hold it.
with sqlite3.connect(f'file:{database}?mode=ro', uri=True) as db:
    settings = {k.lower(): v for k, v in db.execute('SELECT Settingname, Settingvalue FROM settings')}
    journal = db.execute('SELECT BytesSent, BytesRcvd FROM RowJournal').fetchall() or [(0, 0)]
if settings.get('routerurl'):
    name = ''.join(c if c == '\n' or (ord(c) >= 0x20 and c not in '\x7f\x85\u2028\u2029') else '\ufffd'
                   for c in settings['routername'])
    where = {'source': 'router', 'router': name}
else:
    where = {'source': 'interfaces'}

def value(name, **labels):
    found = [s for s in families[name].samples if s.labels == {**labels, **where}] if name in families else []
    expect(f'samples of {name} {labels}', len(found), 1)
    return found[0].value if found else None

# The current period of each view (ISO weeks from Monday), its numbers as the view's JSON gives them.
now = datetime.datetime.fromisoformat(status['now'])
today = now.date()
firsts = {'day': today, 'week': today - datetime.timedelta(days=today.weekday()),
          'month': today.replace(day=1), 'year': today.replace(month=1, day=1)}
for name, view in views.items():
    unit = 2 ** 20 if view['unit'] == 'MB' else 2 ** 30
    current = [p for p in view['periods'] if p['start'] == firsts[name].isoformat()]
    expect(f'{name} rows of the current period', len(current), 1)
    suffix = '_' + view['unit'].lower()
    for direction in ('upload', 'download', 'total'):
        expect(f'{name} {direction}', value('varnolt_period_bytes', period=name, direction=direction),
               current[0][direction + suffix] * unit if current else 0)
    midnight = datetime.datetime.combine(firsts[name], datetime.time()).timestamp()
    expect(f'{name} start', value('varnolt_period_start_timestamp_seconds', period=name), midnight)

sent, received = journal[0]
expect('open row up', value('varnolt_open_row_bytes', direction='upload'), sent)
expect('open row down', value('varnolt_open_row_bytes', direction='download'), received)
expect('open row total', value('varnolt_open_row_bytes', direction='total'), views['month']['open_row_mb'] * 2 ** 20)
expect('used', value('varnolt_allowance_used_bytes'), status['used_mb'] * 2 ** 20)
expect('allowance', value('varnolt_allowance_bytes'), status['allowance_mb'] * 2 ** 20)
expect('left', value('varnolt_allowance_left_bytes'), status['left_mb'] * 2 ** 20)
expect('left ratio', value('varnolt_allowance_left_ratio'), status['left_mb'] / status['allowance_mb'])
for edge in ('start', 'end'):
    expect(f'window {edge}', value(f'varnolt_window_{edge}_timestamp_seconds'),
           datetime.datetime.fromisoformat(status[f'window_{edge}']).timestamp())

print('\n'.join(problems) if problems else 'ok')
sys.exit(1 if problems else 0)
