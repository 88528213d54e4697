#!/usr/bin/env python3
"""Side-by-side speed of two script runners on the same machine.

    compare.py OLD_SQ NEW_SQ [-n RUNS] SCRIPT...

Runs OLD and NEW alternately RUNS times per script (so machine load hits both alike), and
prints the median and minimum CPU time (perf stat task-clock) with their ratio new/old, the
peak RSS of each (max and min over separate /usr/bin/time runs), and whether the outputs
differ. Build both runners in Release; quote ratios, never times from another machine.
"""
import os
import statistics
import subprocess
import sys
import tempfile


def cpu_seconds(exe, script):
    p = subprocess.run(['perf', 'stat', '-x,', '-e', 'task-clock', exe, script],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    for line in p.stderr.splitlines():
        if 'task-clock' in line:
            return float(line.split(',')[0]) / 1000.0, p.stdout
    raise RuntimeError('perf stat gave no task-clock for ' + script)


def peak_rss_kb(exe, script, out):
    subprocess.run(['/usr/bin/time', '-f', '%M', '-o', out, exe, script],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out) as f:
        return int(f.read().split()[-1])


def main():
    args = sys.argv[1:]
    if len(args) < 3:
        sys.exit(__doc__)
    old, new = args[0], args[1]
    args = args[2:]
    runs = 7
    if args[0] == '-n':
        runs = int(args[1])
        args = args[2:]
    tmp = tempfile.mktemp()
    ratios = []
    print(f"{'script':12s} {'old s':>7s} {'new s':>7s} {'ratio':>6s} | {'old min':>7s} "
          f"{'new min':>7s} {'ratio':>6s} | peak RSS KB old/new (max; min)")
    for script in args:
        ot, nt, orss, nrss = [], [], [], []
        same = True
        for _ in range(runs):
            t, oout = cpu_seconds(old, script)
            ot.append(t)
            t, nout = cpu_seconds(new, script)
            nt.append(t)
            same = same and oout == nout
        for _ in range(runs):
            orss.append(peak_rss_kb(old, script, tmp))
            nrss.append(peak_rss_kb(new, script, tmp))
        om, nm = statistics.median(ot), statistics.median(nt)
        name = os.path.splitext(os.path.basename(script))[0]
        print(f"{name:12s} {om:7.3f} {nm:7.3f} {nm / om:6.3f} | {min(ot):7.3f} {min(nt):7.3f} "
              f"{min(nt) / min(ot):6.3f} | {max(orss)}/{max(nrss)}; {min(orss)}/{min(nrss)}"
              f"{'' if same else '  OUTPUT DIFFERS'}", flush=True)
        ratios.append(nm / om)
    if os.path.exists(tmp):
        os.remove(tmp)
    print('geometric mean of the median ratios %.3f' % statistics.geometric_mean(ratios))


if __name__ == '__main__':
    main()
