#!/usr/bin/env python3
"""Makes a tree of FOLDERS folders (d0000, d0001, ...) of FILES files (f0000, ...) under ROOT,
for the benchmarks of very many small files. With --content each file holds "folder/file\\n",
so that rewritten ones are deflated again; without, the files are empty.

    bench/many_files_tree.py [--content] FOLDERS FILES ROOT
"""
import os
import sys

args = sys.argv[1:]
content = args[:1] == ['--content']
if content:
    args = args[1:]
folders, files, root = int(args[0]), int(args[1]), args[2]
for d in range(folders):
    folder = os.path.join(root, 'd%04d' % d)
    os.makedirs(folder)
    for f in range(files):
        fd = os.open(os.path.join(folder, 'f%04d' % f), os.O_WRONLY | os.O_CREAT, 0o644)
        if content:
            os.write(fd, b'%d/%d\n' % (d, f))
        os.close(fd)
