#!/usr/bin/env python3
"""`qmzip -r` with one and two threads against zip, bsdtar and 7z, on the same trees, same run.

Trees (copied to a temporary folder, links dereferenced, so every program sees the same files):
  include  a copy of /usr/include
  mixed    /usr/lib/python3* plus shared libraries from /usr/lib, about 150 MB
  noise    20,000 files of 1 to 16 KB of random bytes (seeded), about 170 MB: many small files
           that do not compress, where the work per file weighs most
For each program and tree: wall time (best of RUNS), CPU time, archive size and peak resident
memory (/usr/bin/time -v, "Maximum resident set size"). Then whether the -j1 and -j2 archives
are identical byte for byte, and the speed-ups.

usage: bench/qmzip_threads.py QMZIP [RUNS]
"""
import glob, os, random, re, shutil, subprocess, sys, tempfile, time

MIXED_LIMIT = 150 * 1000 * 1000


def copy_files(paths, src_root, dst, budget):
    total = 0
    for path in paths:
        try:
            if not os.path.isfile(path):
                continue
            size = os.path.getsize(path)
        except OSError:
            continue
        if budget is not None and total + size > budget:
            continue
        target = os.path.join(dst, os.path.relpath(path, src_root))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        try:
            shutil.copyfile(path, target)
        except OSError:
            continue
        total += size
    return total


def walk(src):
    for root, dirs, files in os.walk(src, followlinks=False):
        dirs.sort()
        for name in sorted(files):
            yield os.path.join(root, name)


def make_trees(top):
    include = os.path.join(top, 'include')
    size_inc = copy_files(walk('/usr/include'), '/usr/include', include, None)
    mixed = os.path.join(top, 'mixed')
    paths = []
    for py in sorted(glob.glob('/usr/lib/python3*')):
        paths.extend(walk(py))
    libs = sorted(p for p in glob.glob('/usr/lib/x86_64-linux-gnu/*.so*') if os.path.isfile(p))
    # Python sources first (up to 100 MB), then shared libraries up to the limit.
    size_mix = copy_files(paths, '/usr/lib', mixed, 100 * 1000 * 1000)
    size_mix += copy_files(libs, '/usr/lib', mixed, MIXED_LIMIT - size_mix)
    noise = os.path.join(top, 'noise')
    rng = random.Random(19)
    size_noise = 0
    for d in range(100):
        os.makedirs(os.path.join(noise, 'd%03d' % d))
        for f in range(200):
            data = rng.randbytes(rng.randint(1024, 16384))
            with open(os.path.join(noise, 'd%03d' % d, 'f%03d.bin' % f), 'wb') as out:
                out.write(data)
            size_noise += len(data)
    return [('include', include, size_inc), ('mixed', mixed, size_mix),
            ('noise', noise, size_noise)]


def timed(cmd, cwd):
    """Runs cmd under /usr/bin/time -v; returns (wall s, cpu s, peak RSS KiB)."""
    start = time.monotonic()
    p = subprocess.run(['/usr/bin/time', '-v'] + cmd, cwd=cwd, stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, text=True)
    wall = time.monotonic() - start
    if p.returncode != 0:
        raise RuntimeError('%s failed: %s' % (' '.join(cmd), p.stderr[-500:]))
    def field(name):
        m = re.search(re.escape(name) + r': ([0-9.]+)', p.stderr)
        return float(m.group(1)) if m else 0.0
    cpu = field('User time (seconds)') + field('System time (seconds)')
    return wall, cpu, int(field('Maximum resident set size (kbytes)'))


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    qmzip = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    print('processors online: %d; load average before: %s' %
          (os.cpu_count(), ' '.join('%.2f' % x for x in os.getloadavg())))
    top = tempfile.mkdtemp(prefix='qmbench')
    try:
        trees = make_trees(top)
        out = os.path.join(top, 'out')
        os.makedirs(out)
        programs = [
            ('qmzip -j1', lambda a, t: [qmzip, '-q', '-r', '-j1', a, t]),
            ('qmzip -j2', lambda a, t: [qmzip, '-q', '-r', '-j2', a, t]),
            ('zip -6', lambda a, t: ['zip', '-r', '-q', '-6', '-X', a, t]),
            ('bsdtar', lambda a, t: ['bsdtar', '--format', 'zip', '-cf', a, t]),
            ('7z -mmt=2', lambda a, t: ['7z', 'a', '-tzip', '-mx=5', '-mmt=2', a, t]),
        ]
        for tree, path, size in trees:
            print('\n%s: %.1f MB in %d files' %
                  (tree, size / 1e6, sum(1 for _ in walk(path))))
            print('%-11s %8s %8s %12s %9s' % ('program', 'wall s', 'cpu s', 'size', 'RSS KiB'))
            results = {}
            for name, cmd in programs:
                archive = os.path.join(out, '%s-%s.zip' % (tree, name.split()[0] +
                                                           name.split()[-1].strip('-=')))
                best = None
                for _ in range(runs):
                    if os.path.exists(archive):
                        os.unlink(archive)
                    r = timed(cmd(archive, os.path.basename(path)), os.path.dirname(path))
                    best = r if best is None or r[0] < best[0] else best
                size_out = os.path.getsize(archive)
                results[name] = (best, size_out, archive)
                print('%-11s %8.2f %8.2f %12d %9d' % (name, best[0], best[1], size_out, best[2]))
            j1, j2, z = results['qmzip -j1'], results['qmzip -j2'], results['zip -6']
            same = open(j1[2], 'rb').read() == open(j2[2], 'rb').read()
            print('-j1 and -j2 archives identical: %s' % ('yes' if same else 'NO'))
            print('-j2 vs zip: %.2fx faster, size %+.2f%%; -j2 vs -j1: %.2fx; -j1 vs zip: %.2fx' %
                  (z[0][0] / j2[0][0], 100.0 * (j2[1] - z[1]) / z[1], j1[0][0] / j2[0][0],
                   z[0][0] / j1[0][0]))
    finally:
        shutil.rmtree(top, ignore_errors=True)
    return 0


if __name__ == '__main__':
    sys.exit(main())
