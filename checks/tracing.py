"""Shared by the crash checks: records the poller's system calls against the simulated terminal
and replays them into a model of its folder, in which whatever has not been synced may still
be lost to a power cut.
"""
import os, re, signal, subprocess, time
from pathlib import Path

SYSCALLS = ('execve,openat,open,creat,write,pwrite64,lseek,ftruncate,truncate,fsync,fdatasync,'
            'rename,renameat,renameat2,unlink,unlinkat,close')
CLEAR = b'!6^\r'  # the frame that makes the terminal forget its records


def stop(proc):
    """Stops a process started in a session of its own, with everything it started."""
    if proc is None or proc.poll() is not None:
        return
    for sig in (signal.SIGTERM, signal.SIGKILL):
        try:
            os.killpg(proc.pid, sig)
            proc.wait(timeout=5)
            return
        except ProcessLookupError:
            return
        except subprocess.TimeoutExpired:
            pass


def wait_for(done, proc, what, seconds):
    deadline = time.monotonic() + seconds
    while not done():
        if proc.poll() is not None or time.monotonic() > deadline:
            raise SystemExit(f'the poller did not {what} within {seconds} s')
        time.sleep(0.05)


def record(build, work, clears=2):
    """Runs the poller under strace in work/D against the simulated terminal (--demo: records
    to fetch at once, then a new one every 12 s, so that most transfers are confirmed and
    cleared: one scanned during a transfer holds its clear back) until it has cleared the terminal `clears`
    times, stops it in the middle of the next transfer, then starts it again for `clears`
    more. Returns the path of the two runs' trace."""
    work = Path(work).resolve()
    folder = work / 'D'
    folder.mkdir(parents=True)
    sim = poller = None
    try:
        sim = subprocess.Popen([f'{build}/tools/terminal-sim/corvane-terminal-simulator', '--dir',
                                folder, '--port', '1', '--demo', '--scan-interval', '12000'],
                               start_new_session=True,
                               stdout=open(work / 'sim.log', 'w'), stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 5
        while not (folder / 'com1').is_symlink():
            if sim.poll() is not None or time.monotonic() > deadline:
                raise SystemExit(f'the simulated terminal did not link {folder}/com1')
            time.sleep(0.1)
        for run in (1, 2):
            trace, log = work / f'trace{run}.txt', work / f'poll{run}.log'
            poller = subprocess.Popen(['strace', '-f', '-tt', '-y', '-s', '65536', '-e',
                                       f'trace={SYSCALLS}', '-o', trace,
                                       f'{build}/src/app/corvane-poll', '--port', '1', '--dir',
                                       folder], start_new_session=True,
                                      stdout=open(log, 'w'), stderr=subprocess.STDOUT)
            wait_for(lambda: log.read_text().count('terminal memory cleared') >= clears, poller,
                     f'clear the terminal {clears} times', 60)
            if run == 1:
                # Stopped while the records come in, which it takes for a broken transfer: the
                # records are kept aside, the poll file cut back, and after the next clear the
                # copy removed. The command that asks for them ("!7^\r", a byte at a time) is
                # followed by a second's wait for the terminal to fall silent.
                asked = lambda: trace.read_text().count(', "7", 1) = 1')
                before = asked()
                wait_for(lambda: asked() > before, poller, 'start another transfer', 15)
                time.sleep(0.5)
                os.kill(int(trace.read_text().split(' ', 1)[0]), signal.SIGTERM)
                poller.wait(timeout=10)
            stop(poller)
    finally:
        stop(poller)
        stop(sim)
    trace = work / 'trace.txt'
    trace.write_bytes((work / 'trace1.txt').read_bytes() + (work / 'trace2.txt').read_bytes())
    return trace


ESCAPES = {'n': b'\n', 'r': b'\r', 't': b'\t', 'v': b'\v', 'f': b'\f', '"': b'"', '\\': b'\\'}


def unquote(s):
    """The bytes of a string as strace prints it ("\\r", "\\340", "\\xe0")."""
    out, i = bytearray(), 1
    while s[i] != '"':
        if s[i] != '\\':
            out += s[i].encode('latin-1')
            i += 1
        elif s[i + 1] == 'x':
            out.append(int(s[i + 2:i + 4], 16))
            i += 4
        elif s[i + 1].isdigit():
            m = re.match(r'[0-7]{1,3}', s[i + 1:])
            out.append(int(m.group(), 8))
            i += 1 + len(m.group())
        else:
            out += ESCAPES[s[i + 1]]
            i += 2
    if s[i + 1:].startswith('...'):
        raise SystemExit('a string in the trace was cut short: raise strace -s')
    return bytes(out)


def split_args(text):
    """The top-level arguments of a call, with strings, arrays and fd paths kept whole."""
    args, depth, start, i = [], 0, 0, 0
    while i < len(text):
        c = text[i]
        if c == '"':
            i += 1
            while text[i] != '"':
                i += 2 if text[i] == '\\' else 1
        elif c in '([{' or (c == '<' and i and text[i - 1].isalnum()):
            depth += 1
        elif c in ')]}>' and depth:
            depth -= 1
        elif c == ',' and depth == 0:
            args.append(text[start:i].strip())
            start = i + 1
        i += 1
    return args + [text[start:].strip()] if text.strip() else args


def fd_of(arg):
    """(number, path) of an fd argument printed with -y, e.g. 8</x/D/07-12-26.pol>."""
    m = re.match(r'(-?\d+|AT_FDCWD)(?:<(.*)>)?(?:\(deleted\))?$', arg)
    return m.group(1), m.group(2) or ''


CALL = re.compile(r'^(\d+) +([\d:.]+) (\w+)\((.*)\) += (-?\d+)(?:<.*>)?(?: .*)?$')


def calls(trace):
    """The successful calls of a trace: (line number, name, arguments, result),
    the two halves of a call another thread interrupted joined."""
    pending = {}
    for number, line in enumerate(Path(trace).read_text(encoding='latin-1').splitlines(), 1):
        pid = line.split(' ', 1)[0]
        if line.endswith('<unfinished ...>'):
            pending[pid] = line.removesuffix('<unfinished ...>').rstrip().rstrip(',')
            continue
        m = re.match(r'^\d+ +[\d:.]+ <\.\.\. \w+ resumed>(.*)$', line)
        if m and pid in pending:
            rest = m.group(1)
            line = pending.pop(pid) + (', ' if not rest.startswith(')') else '') + rest.lstrip(', ')
        m = CALL.match(line)
        if m and int(m.group(5)) >= 0:
            yield number, m.group(3), split_args(m.group(4)), int(m.group(5))


class Inode:
    def __init__(self, number):
        self.number = number
        self.durable = b''  # what a power cut leaves of it for sure
        self.pending = []  # ('write', offset, data) or ('truncate', length), since its last sync
        self.changed = 0  # trace line of its last change

    def change(self, line, op):
        self.pending.append(op)
        self.changed = line

    def content(self, ops=None):
        data = bytearray(self.durable)
        for op in self.pending if ops is None else ops:
            data = apply(data, op)
        return bytes(data)


def apply(data, op):
    data = bytearray(data)
    if op[0] == 'truncate':
        return data[:op[1]] + bytes(max(0, op[1] - len(data)))
    _, offset, chunk = op
    data += bytes(max(0, offset - len(data)))
    data[offset:offset + len(chunk)] = chunk
    return data


class Folder:
    """The poller's folder as it is (names) and as a power cut would leave it (durable names,
    each file's durable bytes), event by event of the trace. Names it did not touch are left
    out: the folder starts empty but for the simulator's link."""

    def __init__(self, path):
        self.path = path
        self.names = {}  # name -> Inode, as the program sees them
        self.durable = {}  # name -> Inode after a power cut, for sure
        self.pending = []  # (line, what, [(name, Inode or None)]) since the folder's last sync
        self.fds = {}  # fd -> [Inode, append, position]
        self.inodes = 0
        self.traced_inodes = {}  # inode number in the run -> Inode (for the commit marks)

    def name_of(self, path, cwd):
        path = os.path.normpath(os.path.join(cwd, path))
        return os.path.basename(path) if os.path.dirname(path) == self.path else None

    def event(self, line, name, args, result, cwd):
        """Applies one call; returns a short description when it changed the folder."""
        if name in ('open', 'openat', 'creat'):
            path = unquote(args[1 if name == 'openat' else 0]).decode('latin-1')
            if name == 'openat' and not path.startswith('/'):
                cwd = fd_of(args[0])[1] or cwd
            entry = self.name_of(path, cwd)
            flags = args[2] if name == 'openat' else args[1] if name == 'open' else 'O_CREAT|O_TRUNC'
            if entry is None:
                return None
            what = None
            if entry not in self.names and 'O_CREAT' not in flags:
                return None  # there before the program (the simulator's link)
            if entry not in self.names:
                self.inodes += 1
                self.names[entry] = Inode(self.inodes)
                self.pending.append((line, f'create {entry}', [(entry, self.names[entry])]))
                what = f'create {entry}'
            inode = self.names[entry]
            self.fds[result] = [inode, 'O_APPEND' in flags, 0]
            if 'O_TRUNC' in flags and ('O_WRONLY' in flags or 'O_RDWR' in flags):
                inode.change(line, ('truncate', 0))
                what = what or f'truncate {entry} to 0'
            return what
        if name == 'close':
            self.fds.pop(int(fd_of(args[0])[0]), None)
            return None
        if name in ('rename', 'renameat', 'renameat2'):
            paths = [args[0], args[1]] if name == 'rename' else [args[1], args[3]]
            old, new = (self.name_of(unquote(p).decode('latin-1'), cwd) for p in paths)
            if old is None and new is None:
                return None
            if old is None or new is None:
                raise SystemExit(f'line {line}: a rename into or out of the folder is not modelled')
            inode = self.names[new] = self.names.pop(old)
            self.pending.append((line, f'rename {old} -> {new}', [(old, None), (new, inode)]))
            return f'rename {old} -> {new}'
        if name in ('unlink', 'unlinkat'):
            entry = self.name_of(unquote(args[0 if name == 'unlink' else 1]).decode('latin-1'), cwd)
            if entry is None or entry not in self.names:
                return None
            del self.names[entry]
            self.pending.append((line, f'unlink {entry}', [(entry, None)]))
            return f'unlink {entry}'
        if name == 'truncate':
            entry = self.name_of(unquote(args[0]).decode('latin-1'), cwd)
            if entry is None:
                return None
            self.names[entry].change(line, ('truncate', int(args[1])))
            return f'truncate {entry} to {args[1]}'
        number, path = fd_of(args[0])
        if name in ('fsync', 'fdatasync') and path == self.path:
            self.durable = dict(self.names)
            self.pending = []
            return 'sync of the folder'
        fd = self.fds.get(int(number))
        if fd is None:
            return None
        inode, entry = fd[0], os.path.basename(path)
        if name == 'lseek':
            fd[2] = result
        elif name in ('write', 'pwrite64'):
            data = unquote(args[1])
            offset = int(args[3]) if name == 'pwrite64' else len(inode.content()) if fd[1] else fd[2]
            inode.change(line, ('write', offset, data))
            if name == 'write':
                fd[2] = offset + len(data)
            m = re.match(rb'corvane-committed 2 \w+ (\d+) ', data)
            if m and entry.startswith('.') and '.committed' in entry:
                polled = self.names.get(entry[1:].split('.committed')[0])
                self.traced_inodes[int(m.group(1))] = polled
            return f'write {len(data)} bytes at {offset} of {entry}'
        elif name == 'ftruncate':
            inode.change(line, ('truncate', int(args[1])))
            return f'truncate {entry} to {args[1]}'
        elif name in ('fsync', 'fdatasync'):
            inode.durable, inode.pending = inode.content(), []
            return f'sync of {entry}'
        return None


def replay(trace):
    """Yields (line, description, folder) after each call that changed the folder, and
    (line, 'clear', folder) when a clear frame has gone to the port (its last byte: the
    terminal acts on the whole frame). The folder is the one given to the poller with --dir."""
    folder, cwd, port = None, '/', b''
    for line, name, args, result in calls(trace):
        if name == 'execve':
            argv = [unquote(a).decode() for a in split_args(args[1][1:-1])]
            if '--dir' not in argv:
                raise SystemExit('the traced program was not given --dir')
            if folder is None:
                folder = Folder(os.path.abspath(argv[argv.index('--dir') + 1]))
            folder.fds = {}  # a new run of it: the folder stays as the last one left it
            continue
        if folder is None:
            continue
        if name.startswith('open') and 'AT_FDCWD<' in args[0]:
            cwd = fd_of(args[0])[1]
        if name == 'write' and fd_of(args[0])[1].startswith(('/dev/pts/', '/dev/tty')):
            for byte in unquote(args[1]):
                port = (port + bytes([byte]))[-len(CLEAR):]
                if port == CLEAR:
                    yield line, 'clear', folder
            continue
        what = folder.event(line, name, args, result, cwd)
        if what:
            yield line, what, folder
