#!/usr/bin/env python3
"""Scans against polling: runs corvane-poll for a while against the simulated terminal scanning
a record every INTERVAL ms, stops both, and counts the records scanned, stored, still held by
the terminal, lost (cleared unseen) and stored twice. Exit status 1 when a record is stored
twice, or more are lost than the clears explain: a scan within one command frame before a
clear's last byte (about 0.33 s) is the only one a clear can take unseen.

  checks/scan_loss.py [--build DIR] [--interval MS] [--seconds S]
"""
import argparse, collections, subprocess, sys, tempfile, time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tracing

ROOT = Path(__file__).resolve().parent.parent


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--build', default=ROOT / 'build')
    parser.add_argument('--interval', type=int, default=4000)
    parser.add_argument('--seconds', type=int, default=120)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    with tempfile.TemporaryDirectory(prefix='scan-loss-') as work:
        folder, sim, poller = Path(work), None, None
        try:
            sim = subprocess.Popen([build / 'tools/terminal-sim/corvane-terminal-simulator', '--dir',
                                    folder, '--scan-interval', str(args.interval)],
                                   start_new_session=True, stdout=subprocess.DEVNULL,
                                   stderr=open(folder / 'sim.log', 'w'))
            tracing.wait_for(lambda: (folder / 'com1').is_symlink(), sim, 'link com1', 5)
            poller = subprocess.Popen([build / 'src/app/corvane-poll', '--port', '1', '--dir', folder],
                                      start_new_session=True, stdout=open(folder / 'poll.log', 'w'),
                                      stderr=subprocess.STDOUT)
            time.sleep(args.seconds)
        finally:
            tracing.stop(poller)
            tracing.stop(sim)
        log = (folder / 'sim.log').read_text().splitlines()
        scanned = [l.split()[1] for l in log if l.startswith('scanned ')]
        held = {l.split()[1] for l in log if l.startswith('held ')}
        stored = collections.Counter(l for f in folder.glob('*.pol')
                                     for l in f.read_bytes().decode('latin-1').split('\r\n') if l)
        clears = (folder / 'poll.log').read_text().count('terminal memory cleared')
        lost = [r for r in scanned if stored[r] == 0 and r not in held]
        twice = sum(1 for r in scanned if stored[r] > 1)
        print(f'scan every {args.interval} ms for {args.seconds} s: {len(scanned)} scanned, '
              f'{sum(1 for r in scanned if stored[r])} stored, '
              f'{sum(1 for r in scanned if not stored[r] and r in held)} still in the terminal, '
              f'{len(lost)} lost, {twice} stored twice; {clears} clears')
        window_ms = 340
        explained = clears * -(-window_ms // args.interval)
        return 1 if twice or len(lost) > explained else 0


if __name__ == '__main__':
    sys.exit(main())
