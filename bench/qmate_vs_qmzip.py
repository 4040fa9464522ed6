#!/usr/bin/env python3
"""An unattended qmate back-up against `qmzip -r` over the same tree, in the same run.

The tree is /usr/include copied to a temporary folder (links dereferenced, so both programs
see the same regular files). qmate runs as cron would run it: no display (it goes offscreen by
itself), its settings in a temporary folder holding one list with the mask "*", sub folders
included. qmzip runs with -r -q over the same folder and mask. Both write a fresh archive each
time. For each program it prints the best and the median wall time and CPU time (user +
system) of RUNS runs, the archive size and the number of entries; then qmate's times relative
to qmzip's (goal: within 10%). The CPU figures are the steadier ones on a shared machine.

usage: bench/qmate_vs_qmzip.py BUILD_DIR [RUNS]
"""
import os, resource, shutil, statistics, subprocess, sys, tempfile, time, zipfile

def copy_tree(src, dst):
    for root, dirs, files in os.walk(src, followlinks=False):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(root, name)
            if not os.path.isfile(path):
                continue
            target = os.path.join(dst, os.path.relpath(path, src))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            try:
                shutil.copyfile(path, target)
            except OSError:
                continue

def timed(cmd, env):
    """Wall time and CPU time (user + system) of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    proc = subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if proc.returncode != 0:
        sys.exit('%s failed (%d): %s' % (cmd[0], proc.returncode, proc.stderr.decode()))
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu

def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    qmate = os.path.join(build, 'app', 'qmate')
    qmzip = os.path.join(build, 'tools', 'qmzip')
    with tempfile.TemporaryDirectory() as work:
        tree = os.path.join(work, 'include')
        copy_tree('/usr/include', tree)
        files = sum(len(f) for _, _, f in os.walk(tree))
        size = sum(os.path.getsize(os.path.join(r, n)) for r, _, f in os.walk(tree) for n in f)
        print('tree: copy of /usr/include, %d files, %.1f MiB; best and median of %d runs'
              % (files, size / 2**20, runs))
        settings = os.path.join(work, 'settings')
        os.mkdir(settings)
        with open(os.path.join(settings, 'QMApps.ini'), 'w') as f:
            f.write('[Quillmate FileTypesLists]\nItem1=All,*\n')
        env = dict(os.environ)
        for name in ('DISPLAY', 'WAYLAND_DISPLAY', 'QT_QPA_PLATFORM'):
            env.pop(name, None)
        env['windir'] = settings
        qmate_zip = os.path.join(work, 'qmate.zip')
        qmzip_zip = os.path.join(work, 'qmzip.zip')
        commands = {
            'qmate': ([qmate, 'Src=' + tree, 'Sub', 'Lst=All', 'Dest=' + qmate_zip], qmate_zip),
            'qmzip -r': ([qmzip, '-r', '-q', '-C', tree, qmzip_zip, '*'], qmzip_zip),
        }
        times = {name: [] for name in commands}
        cpus = {name: [] for name in commands}
        for _ in range(runs):
            # Alternate the programs so that both meet the same cache and machine load.
            for name, (cmd, archive) in commands.items():
                if os.path.exists(archive):
                    os.remove(archive)
                wall, cpu = timed(cmd, env)
                times[name].append(wall)
                cpus[name].append(cpu)
        for name, archive in (('qmate', qmate_zip), ('qmzip -r', qmzip_zip)):
            with zipfile.ZipFile(archive) as z:
                entries = len(z.infolist())
            t = times[name]
            c = cpus[name]
            print('%-9s wall best %6.3f s median %6.3f s | cpu best %6.3f s median %6.3f s | '
                  'archive %d bytes, %d entries'
                  % (name, min(t), statistics.median(t), min(c), statistics.median(c),
                     os.path.getsize(archive), entries))
        for label, values in (('wall', times), ('cpu', cpus)):
            ratio = min(values['qmate']) / min(values['qmzip -r'])
            print('qmate / qmzip, %s (best): %.3f  (%+.1f%%)' % (label, ratio, (ratio - 1) * 100))

if __name__ == '__main__':
    main()
