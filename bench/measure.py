#!/usr/bin/env python3
"""Medians of a command's wall time, CPU time and peak memory over several runs.

As a program: measure.py RUNS COMMAND [ARGS...] prints "WALL_S CPU_S MAXRSS_KB". As a module:
medians(argv, runs) returns the same three numbers. The command's stdout goes to /dev/null.

CPU is user + system time and the peak is the kernel's resident-set figure for the command, both
read with wait4, which is finer than the 10 ms steps of /usr/bin/time. Each median is taken on its
own. A command that fails stops the measurement.
"""
import os
import statistics
import subprocess
import sys
import time


def run_once(argv):
    start = time.monotonic()
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit("%s failed with status %d" % (argv[0], child.returncode))
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def medians(argv, runs=5):
    walls, cpus, rss = zip(*(run_once(argv) for _ in range(runs)))
    return statistics.median(walls), statistics.median(cpus), statistics.median(rss)


if __name__ == "__main__":
    print("%.6f %.6f %d" % medians(sys.argv[2:], int(sys.argv[1])))
