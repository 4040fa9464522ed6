#!/usr/bin/env python3
"""One large file through one compressor stream: `qmzip -j 1` against the gzip tools, same run.

The input is made reproducibly (seed 19): 200 MB of pieces of 1 to 8 MB of header texts from
/usr/include, 1 to 6 MB of shared libraries, seeded random runs and zero runs, in a seeded order.
Every program compresses it at level 6 in turn, RUNS rounds; for each it prints the best wall
time, the best CPU time (user + system, from wait4) and the output size, then the ratios of
qmzip's times to the others'. On a shared machine the CPU times are the steadier figures.

usage: bench/single_stream.py QMZIP [RUNS] [SIZE_MB]
"""
import os, random, shutil, subprocess, sys, tempfile, time

def collect(root, keep):
    paths = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            if keep(name) and os.path.isfile(path) and not os.path.islink(path):
                paths.append(path)
    return paths

def read_up_to(paths, limit):
    data = bytearray()
    for path in paths:
        if len(data) >= limit:
            break
        try:
            with open(path, 'rb') as f:
                data += f.read()
        except OSError:
            pass
    return bytes(data[:limit])

def make_input(path, size):
    rnd = random.Random(19)
    text = read_up_to(collect('/usr/include', lambda n: True), size // 2 + (8 << 20))
    libs = read_up_to(collect('/usr/lib', lambda n: '.so' in n), size // 4 + (6 << 20))
    out, at_text, at_libs = bytearray(), 0, 0
    while len(out) < size:
        kind = rnd.randrange(6)
        if kind <= 2 and at_text < len(text):
            n = rnd.randrange(1 << 20, 8 << 20)
            out += text[at_text:at_text + n]
            at_text += n
        elif kind == 3 and at_libs < len(libs):
            n = rnd.randrange(1 << 20, 6 << 20)
            out += libs[at_libs:at_libs + n]
            at_libs += n
        elif kind == 4:
            out += rnd.randbytes(rnd.randrange(100_000, 3_000_000))
        else:
            out += bytes(rnd.randrange(1000, 2_000_000))
    with open(path, 'wb') as f:
        f.write(out[:size])

def run(argv, output):
    """Wall and CPU seconds of one run, its stdout going to OUTPUT."""
    with open(output, 'wb') as sink:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=sink, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    if status != 0:
        sys.exit('failed: %s' % ' '.join(argv))
    return wall, usage.ru_utime + usage.ru_stime

def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    qmzip = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    size = (int(sys.argv[3]) if len(sys.argv) > 3 else 200) * 1_000_000
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, 'input.bin')
        make_input(source, size)
        archive = os.path.join(tmp, 'out.zip')
        programs = {'qmzip -j 1 -6': (['qmzip'], archive)}
        for tool in ('gzip', 'libdeflate-gzip'):
            if shutil.which(tool):
                programs[tool + ' -6'] = ([tool, '-6', '-c', source], os.path.join(tmp, 'out.gz'))
        best = {name: (float('inf'), float('inf'), 0) for name in programs}
        for _ in range(runs):
            for name, (argv, output) in programs.items():
                if argv == ['qmzip']:
                    if os.path.exists(archive):
                        os.remove(archive)
                    argv = [qmzip, '-q', '--no-check', '-j', '1', '-6', '-C', tmp, archive,
                            'input.bin']
                    wall, cpu = run(argv, os.devnull)
                else:
                    wall, cpu = run(argv, output)
                old = best[name]
                best[name] = (min(old[0], wall), min(old[1], cpu), os.path.getsize(output))
        print('%-18s %9s %9s %12s' % ('program', 'wall s', 'cpu s', 'bytes'))
        for name, (wall, cpu, nbytes) in best.items():
            print('%-18s %9.2f %9.2f %12d' % (name, wall, cpu, nbytes))
        ours = best['qmzip -j 1 -6']
        for name, (wall, cpu, _) in best.items():
            if name != 'qmzip -j 1 -6':
                print('qmzip / %s: wall %.2fx, cpu %.2fx' % (name, ours[0] / wall, ours[1] / cpu))

if __name__ == '__main__':
    main()
