#!/usr/bin/env python3
"""Times dornick and its peers over one generated subset by the CPU time they use (user + system,
averaged over N runs, output on tmpfs), which a shared machine disturbs far less than wall time;
the wall time is shown beside it. The subsets' outputs are checked by bench/run.sh.

Usage: bench/cpu_time.py SUBSET [SUBSET ...]   (with BENCH_ROOT, DORNICK and RUNS from the environment)
"""
import glob, os, resource, shutil, subprocess, sys, time

root = os.environ.get('BENCH_ROOT', '/dev/shm/dornick-bench')
dornick = os.environ.get('DORNICK', os.path.join(os.path.dirname(__file__), '..', 'build', 'console', 'dornick'))
runs = int(os.environ.get('RUNS', '10'))
out = os.path.join(root, 'cpu-out')

def measure(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    wall = 0.0
    for _ in range(runs):
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        start = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall += time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return cpu / runs, wall / runs

def peers(folder, mails):
    return [('dornick', [dornick, '-o', out, folder]),
            ('ripmime', ['ripmime', '-i', folder, '-d', out, '--no-nameless', '-q']),
            ('uudeview', ['uudeview', '-i', '-a', '-q', '-p', out + '/'] + mails)]

print('| subset | tool | CPU ms | MB/s by CPU | wall ms | MB/s by wall |')
print('|---|---|---|---|---|---|')
for subset in sys.argv[1:]:
    folder = os.path.join(root, 'corpus', subset)
    mails = sorted(glob.glob(os.path.join(folder, '*.eml')))
    mb = sum(os.path.getsize(m) for m in mails) / 1e6
    for name, cmd in peers(folder, mails):
        if shutil.which(cmd[0]) is None and not os.path.exists(cmd[0]):
            continue
        cpu, wall = measure(cmd)
        print(f'| {subset} | {name} | {cpu * 1000:.1f} | {mb / cpu:.0f} | {wall * 1000:.1f} | {mb / wall:.0f} |')
