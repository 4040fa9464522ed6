#!/usr/bin/env python3
"""End-to-end comparison of `qmzip -r` with `zip -r -q -6 -X` on the same trees, same run.

Trees: /usr/include copied to a temporary folder (links dereferenced, so both programs see
the same files), and a mixed tree of binaries (programs and shared libraries, about 150 MiB).
For each program and tree it prints the wall time, the CPU time (user + system), the archive
size and the peak resident memory (ru_maxrss of the child, from wait4), best of RUNS runs.

usage: bench/qmzip_vs_zip.py QMZIP [RUNS]
"""
import os, shutil, subprocess, sys, tempfile, time

def copy_tree(src, dst, limit=None):
    total = 0
    for root, dirs, files in os.walk(src, followlinks=False):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            try:
                if not os.path.isfile(path):
                    continue
                size = os.path.getsize(path)
            except OSError:
                continue
            if limit is not None and total + size > limit:
                continue
            target = os.path.join(dst, os.path.relpath(path, src))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            try:
                shutil.copyfile(path, target)
            except OSError:
                continue
            total += size
    return total

def peak_of(pid):
    """VmHWM (KiB) of a running process; None once it has gone."""
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1])
    except OSError:
        pass
    return None

def run(cmd, cwd):
    # ru_maxrss of a forked child counts the parent's memory copied at fork time, so the peak
    # is read from the program's own VmHWM (reset by exec, never decreasing) while it runs.
    start = time.monotonic()
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL)
    peak = 0
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid != 0:
            break
        value = peak_of(proc.pid)
        if value is not None:
            peak = max(peak, value)
        time.sleep(0.005)
    wall = time.monotonic() - start
    if status != 0:
        sys.exit('failed: %s (status %d)' % (' '.join(cmd), status))
    return wall, usage.ru_utime + usage.ru_stime, peak

def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    qmzip = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    work = tempfile.mkdtemp(prefix='qmbench-')
    try:
        trees = []
        inc = os.path.join(work, 'include')
        n = copy_tree('/usr/include', inc)
        trees.append(('include', n))
        mixed = os.path.join(work, 'binaries')
        n = copy_tree('/usr/bin', os.path.join(mixed, 'bin'), 60 << 20)
        n += copy_tree('/usr/lib/x86_64-linux-gnu', os.path.join(mixed, 'lib'), 90 << 20)
        trees.append(('binaries', n))
        print('%-9s %-6s %9s %9s %12s %9s' % ('tree', 'tool', 'wall s', 'cpu s', 'archive', 'peak KiB'))
        for tree, size in trees:
            results = {}
            for tool in ('qmzip', 'zip'):
                best = None
                for _ in range(runs):
                    archive = os.path.join(work, tree + '-' + tool + '.zip')
                    if os.path.exists(archive):
                        os.unlink(archive)
                    if tool == 'qmzip':
                        cmd = [qmzip, '-r', '-q', archive, tree]
                    else:
                        cmd = ['zip', '-r', '-q', '-6', '-X', archive, tree]
                    wall, cpu, rss = run(cmd, work)
                    asize = os.path.getsize(archive)
                    if best is None or wall < best[0]:
                        best = (wall, cpu, asize, rss)
                results[tool] = best
                print('%-9s %-6s %9.2f %9.2f %12d %9d' % ((tree, tool) + best))
            q, z = results['qmzip'], results['zip']
            print('%-9s %.1f MiB of input: speed x%.2f (wall), x%.2f (cpu); size %+.2f%%' % (
                tree, size / 1048576.0, z[0] / q[0], z[1] / q[1], 100.0 * (q[2] - z[2]) / z[2]))
    finally:
        shutil.rmtree(work, ignore_errors=True)

if __name__ == '__main__':
    main()
