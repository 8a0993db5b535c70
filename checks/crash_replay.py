#!/usr/bin/env python3
"""The crash-state replay: builds, from a trace of the poller, every folder a power cut may
leave at every point of the run, and has the store (checks/store_reopen) take the next record
on each, as the poller would after the restart. Checks that every record whose clear had
gone to the terminal is in its poll file exactly once, bytes and line as stored; that no torn
piece of a record became a line or part of one; that the records the terminal still held,
which it sends again before a new one, are there at least once (twice only where the store
could not be sure the clear had not gone: the states that did are counted); that the new
record has a line of its own. --no-birth-times runs the store as a file system that keeps no
birth time would answer (checks/no_birth_time).

The model is strict: a file's bytes since its last sync may be lost, kept, torn in the middle
or at the end of its last write, or only that last write kept (the ones before it lost); a
create, rename or unlink is durable only after a sync of the folder, any of those since the
last one may be kept or lost (every combination; only prefixes when there are many).

  checks/crash_replay.py [--build DIR] [--work DIR] (--trace FILE | --record)
"""
import argparse, itertools, os, re, subprocess, sys, tempfile
from datetime import date, datetime
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tracing

ROOT = Path(__file__).resolve().parent.parent
MARK = re.compile(rb'(corvane-committed 2 \w+ )(\d+) (\d+)( \d+ \d+ \w+\n)$')
NOTE = re.compile(rb'(corvane-uncleared 1 )(\S+) (\d+) (\d+)( \d+ \d+\n)$')
ASIDE = '.com1.unfinished'
POLL = re.compile(r'(\d\d)-(\d\d)-(\d\d)\.pol$')
MAX_SUBSETS = 6  # pending name operations beyond which only their prefixes are tried


def versions(inode):
    """(description, bytes) of what a power cut may leave of a file."""
    yield 'synced part', inode.durable
    if not inode.pending:
        return
    *before, last = inode.pending
    yield 'all', inode.content()
    if last[0] == 'write' and len(last[2]) > 1:
        for cut in sorted({len(last[2]) // 2, len(last[2]) - 1}):
            yield f'last write torn at {cut}', inode.content(before + [('write', last[1], last[2][:cut])])
        if before:
            yield 'only the last write', inode.content([last])


def states(point):
    """(description, {name: (bytes, traced inode's name or None)}) of the folders a power cut
    at this point may leave: the name operations since the folder's last sync kept or lost,
    each file's unsynced bytes as in versions()."""
    folder, ops = point['folder'], point['pending']
    if len(ops) <= MAX_SUBSETS:
        chosen = itertools.chain.from_iterable(itertools.combinations(ops, k) for k in range(len(ops) + 1))
    else:
        chosen = (ops[:k] for k in range(len(ops) + 1))
    for kept in chosen:
        names = dict(point['durable'])
        for _, _, effects in kept:
            for name, inode in effects:
                if inode is None:
                    names.pop(name, None)
                else:
                    names[name] = inode
        files = sorted(names.items())
        for combo in itertools.product(*(list(versions(point['inodes'][i.number])) for _, i in files)):
            held = {n: i.number for n, i in files}
            state = {}
            for (name, _), (_, data) in zip(files, combo):
                m = MARK.match(data)
                target = folder.traced_inodes.get(int(m.group(2))) if m else None
                # The mark names the file by its inode in the traced run; which one it is here.
                state[name] = (data, next((n for n, i in held.items() if target and i == target.number), None))
            lost = [op[1] for op in ops if op not in kept]
            text = '; '.join([f'{n}: {v}' for (n, _), (v, _) in zip(files, combo)] +
                             [f'lost: {", ".join(lost)}'] * bool(lost))
            yield text, state


def points(trace):
    """What a power cut needs to know at each point of the run: the durable names, the name
    operations and file changes since their syncs, and the poll files' contents at the last
    clear."""
    cleared, clears, known, day = {}, 0, set(), None
    for line, what, folder in tracing.replay(trace):
        polls = {n: i.content() for n, i in folder.names.items() if POLL.match(n)}
        for content in polls.values():
            known.update(content.split(b'\r\n')[:-1])
        day = max(polls, default=day, key=lambda n: POLL.match(n).group(3, 2, 1))
        # What the terminal still holds and sends again first: what came since the last clear,
        # in the poll file or kept aside.
        fresh = polls.get(day, b'')[len(cleared.get(day, b'')):]
        aside = folder.names[ASIDE].content() if ASIDE in folder.names else b''
        if what == 'clear':
            cleared, clears = polls, clears + 1
            fresh = aside = b''
        held = (fresh or aside).split(b'\r\n')[:-1]
        live = list(folder.names.values()) + list(folder.durable.values())
        live += [i for _, _, effects in folder.pending for _, i in effects if i]
        inodes = {}
        for i in live:  # as they are now: the run goes on
            inodes[i.number] = tracing.Inode(i.number)
            inodes[i.number].durable, inodes[i.number].pending = i.durable, list(i.pending)
        yield dict(line=line, what=what, folder=folder, durable=dict(folder.durable),
                   pending=list(folder.pending), inodes=inodes, cleared=cleared, clears=clears,
                   known=known, day=day, held=held)


def build(state, path, births):
    path.mkdir()
    for name, (data, _) in state.items():
        (path / name).write_bytes(data)
    for name, (data, target) in state.items():
        note = NOTE.match(data)
        if note:  # names its file itself, by inode and birth in the traced run
            target = note.group(2).decode('latin-1') if (path / note.group(2).decode('latin-1')).exists() else None
        if MARK.match(data) or note:
            inode, birth = file_id(path / target) if target else (0, 0)
            birth = birth if births else 0
            pattern = MARK if not note else NOTE
            fields = rb'\g<1>%d %d\g<4>' if not note else rb'\g<1>\g<2> %d %d\g<5>'
            (path / name).write_bytes(pattern.sub(fields % (inode, birth), data))


def file_id(path):
    """The inode and birth time (ns) a mark names its file by; Python's stat lacks the birth."""
    out = subprocess.run(['stat', '--format=%i %w', str(path)], check=True, capture_output=True,
                         text=True).stdout.split()
    whole, _, fraction = out[2].partition('.')
    when = datetime.fromisoformat(f'{out[1]}T{whole}{out[3][:3]}:{out[3][3:]}')
    return int(out[0]), int(when.timestamp()) * 10**9 + int(fraction.ljust(9, '0'))


def judge(path, point, record, stored):
    """What is wrong with the folder after the store took the held records and `record`, and
    whether a held record is there twice."""
    problems = [] if stored == 'ok' else ['the store could not take the next record']
    day = (path / point['day']).read_bytes().split(b'\r\n') if (path / point['day']).exists() else []
    for rec in set(point['held']) - {r for c in point['cleared'].values() for r in c.split(b'\r\n')}:
        if day.count(rec) < 1:
            problems.append(f'{point["day"]}: held record {rec!r} is lost')
    repeated = any(day.count(rec) > 1 for rec in point['held'])
    for name in sorted(set(point['cleared']) | {point['day']}):
        data = (path / name).read_bytes() if (path / name).exists() else b''
        *lines, tail = data.split(b'\r\n')
        if tail:
            problems.append(f'{name} ends in {tail[-40:]!r}, not a line end')
        for rec in set(point['cleared'].get(name, b'').split(b'\r\n')[:-1]):
            if lines.count(rec) != 1:
                problems.append(f'{name}: cleared record {rec!r} is there {lines.count(rec)} times, not once')
        for line in lines:
            if line not in point['known'] and line != record:
                problems.append(f'{name}: line {line!r} is no record the poller wrote')
        if name == point['day'] and lines.count(record) != 1:
            problems.append(f'{name}: the new record {record!r} is not on a line of its own')
    return problems, repeated


def replay(trace, build_dir, work, births):
    seen, checked, total, count, repeats = {}, [], 0, 0, 0
    for point in points(trace):
        count += 1
        for text, state in states(point):
            total += 1
            key = (point['clears'], tuple(sorted(state.items())))
            if key not in seen and point['day']:
                seen[key] = len(checked)
                checked.append((point, text, state))
    if not checked or not checked[-1][0]['clears']:
        print(f'no poll file or no clear in {trace}: nothing to check')
        return 1
    day = POLL.match(checked[-1][0]['day'])
    iso = date(2000 + int(day.group(3)), int(day.group(2)), int(day.group(1))).isoformat()
    violations = []
    for start in range(0, len(checked), 400):
        batch = list(enumerate(checked[start:start + 400], start))
        args = []
        for n, (point, text, state) in batch:
            build(state, work / str(n), births)
            args += [work / str(n), b'|'.join(point['held'] + [b'Z%d' % n])]
        env = dict(os.environ)
        if not births:
            env['LD_PRELOAD'] = str(build_dir / 'checks' / 'libno_birth_time.so')
        out = subprocess.run([build_dir / 'checks' / 'store_reopen', iso] + args, check=True,
                             capture_output=True, text=True, env=env).stdout.split()
        if len(out) != len(batch):
            raise SystemExit(f'store_reopen answered {len(out)} of {len(batch)} folders')
        for (n, (point, text, state)), stored in zip(batch, out):
            problems, repeated = judge(work / str(n), point, f'Z{n}'.encode(), stored)
            repeats += repeated
            if problems:
                violations.append((n, point, text, state, problems))
    for n, point, text, state, problems in violations[:5]:
        print(f'state {n}: power cut after trace line {point["line"]} ({point["what"]}), '
              f'clear {point["clears"]} sent before')
        print(f'    left: {text}')
        for name, (data, _) in sorted(state.items()):
            print(f'    {name}: {data!r}')
        for problem in problems:
            print(f'    -> {problem}')
    print(f'crash replay{"" if births else " without birth times"}: {count} crash points, '
          f'{total} states, {len(checked)} distinct states checked, {len(violations)} violated, '
          f'{repeats} stored a record the terminal held twice')
    return 1 if violations else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--build', default=ROOT / 'build', help='the build to run (default build/)')
    parser.add_argument('--work', help='a new folder for the run and the states, kept')
    group = parser.add_mutually_exclusive_group(required=True)
    group.add_argument('--trace', help='replay this trace of the poller')
    group.add_argument('--record', action='store_true', help='make one first')
    parser.add_argument('--no-birth-times', action='store_true',
                        help='as a file system that keeps no birth time answers')
    args = parser.parse_args()
    build_dir = Path(args.build).resolve()
    with tempfile.TemporaryDirectory(prefix='crash-replay-') as temp:
        work = Path(args.work or temp).resolve()
        trace = args.trace or tracing.record(build_dir, work / 'run')
        (work / 'states').mkdir(parents=True)
        return replay(trace, build_dir, work / 'states', not args.no_birth_times)


if __name__ == '__main__':
    sys.exit(main())
