#!/usr/bin/env python3
"""The order check: the terminal may be told to forget its records only once they would
survive a power cut. Runs the poller under strace against the simulated terminal (or reads a
trace it made) and, at every clear frame sent to the port, checks that
  - every file of the poll folder written since the previous clear was synced after its last
    change (the poll file, the commit mark, a transfer kept aside), and
  - every name created, renamed or removed in the folder since the previous clear was made
    durable by a sync of the folder after it.
The poller's state file (".com1.state", and the temporary it is replaced from) is left out:
it is the office's view, never synced, and nothing is cleared on its word.
Prints each clear and what was not durable at it; exit status 1 if anything was not.

  checks/order_check.py [--build DIR] [--work DIR | --trace FILE]
"""
import argparse, re, sys, tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tracing

ROOT = Path(__file__).resolve().parent.parent
STATE_FILE = re.compile(r'^\..+\.state(\.new)?$')


def check(trace):
    clears, violations, previous = 0, 0, 0
    for line, what, folder in tracing.replay(trace):
        if what != 'clear':
            continue
        clears += 1
        late = [f'{name}: changed at line {inode.changed}, not synced since'
                for name, inode in sorted(folder.names.items())
                if inode.pending and inode.changed > previous and not STATE_FILE.match(name)]
        late += [f'{op} at line {at}: no sync of the folder since'
                 for at, op, names in folder.pending
                 if at > previous and not all(STATE_FILE.match(name) for name, _ in names)]
        print(f'clear {clears} (trace line {line}): ' + ('durable' if not late else
              f'{len(late)} not durable'))
        for text in late:
            print(f'    {text}')
        violations += len(late)
        previous = line
    if clears < 2:
        print(f'only {clears} clear(s) in {trace}: a new file and an append are both needed')
        return 1
    print(f'order check: {clears} clears, {violations} violation(s)')
    return 1 if violations else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--build', default=ROOT / 'build', help='the build to run (default build/)')
    parser.add_argument('--work', help='a new folder for the run, kept (default: a temporary one)')
    parser.add_argument('--trace', help='check this trace instead of making one')
    args = parser.parse_args()
    if args.trace:
        return check(args.trace)
    if args.work:
        return check(tracing.record(Path(args.build).resolve(), args.work))
    with tempfile.TemporaryDirectory(prefix='order-check-') as work:
        return check(tracing.record(Path(args.build).resolve(), work))


if __name__ == '__main__':
    sys.exit(main())
