#!/usr/bin/env python3
"""Measurements for bench/run.sh; each prints raw rows for results.tsv.

  measure.py x11 TEXT OUT_FILE STALL_S -- COMMAND...
      Empties OUT_FILE (a terminal target appends what it receives there), runs
      COMMAND (an F10 press, or a typing tool), and waits until OUT_FILE holds the
      text or stops growing. Prints: characters received, seconds from just before
      COMMAND to the last write, characters per second, exact (1/0), characters
      that differ.
  measure.py wine TEXT PROBE_OUT STALL_S -- PROBE_COMMAND... -- PRESS_COMMAND...
      Starts the probe (it empties the Windows edit control and says "ready"),
      runs PRESS_COMMAND, and reads the probe's "done LENGTH MS_SINCE_LAST_CHANGE".
  measure.py idle SECONDS NAME=PID[,PID...]...
      CPU time, wake-ups and resident memory of each group of processes over SECONDS.
  measure.py stats
      Reads latency figures (ms or "lost"), one a line, on stdin.
"""
import difflib
import math
import os
import statistics
import subprocess
import sys
import time


def read_text(path):
    with open(path, encoding="utf-8", errors="replace", newline="") as f:
        return f.read()


def differing(expected, got):
    """How many characters differ: the larger side of every unequal stretch."""
    if expected == got:
        return 0
    matcher = difflib.SequenceMatcher(None, expected, got, autojunk=False)
    return sum(max(i2 - i1, j2 - j1) for op, i1, i2, j1, j2 in matcher.get_opcodes() if op != "equal")


def result_row(expected, got, seconds):
    diffs = differing(expected, got)
    cps = len(got) / seconds if seconds > 0 and got else 0.0
    return f"{len(got)}\t{seconds:.4f}\t{cps:.1f}\t{int(diffs == 0)}\t{diffs}"


def x11(args):
    text_file, out_file, stall = args[0], args[1], float(args[2])
    command = args[args.index("--") + 1:]
    expected = read_text(text_file)
    want = len(expected.encode("utf-8"))
    open(out_file, "w").close()
    # Generous: xdotool's default delay is 12 ms a key, and more for some characters.
    limit = 60 + 0.1 * len(expected)
    start_ns = time.time_ns()
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    size, changed = 0, time.monotonic()
    try:
        while True:
            time.sleep(0.005)
            now = time.monotonic()
            current = os.path.getsize(out_file)
            if current != size:
                size, changed = current, now
            running = process.poll() is None
            if size >= want and now - changed >= 0.3:
                break  # complete, and nothing more for 0.3 s
            if not running and now - changed >= stall:
                break  # stopped short
            if (time.time_ns() - start_ns) / 1e9 > limit:
                break
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
    got = read_text(out_file)
    end_ns = os.stat(out_file).st_mtime_ns if got else time.time_ns()
    print(result_row(expected, got, (end_ns - start_ns) / 1e9))


def wine(args):
    text_file, probe_out, stall = args[0], args[1], float(args[2])
    rest = args[3:]
    first = rest.index("--")
    second = rest.index("--", first + 1)
    probe_command, press_command = rest[first + 1:second], rest[second + 1:]
    # An edit control keeps a line break as CR LF.
    expected = read_text(text_file).replace("\r\n", "\n").replace("\n", "\r\n")
    units = len(expected.encode("utf-16-le")) // 2
    probe_command = [a.replace("{LENGTH}", str(units)).replace("{STALL_MS}", str(int(stall * 1000)))
                     for a in probe_command]
    probe = subprocess.Popen(probe_command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             text=True)
    try:
        line = probe.stdout.readline().strip()
        if line != "ready":
            print(f"probe not ready: {line!r}", file=sys.stderr)
            print(result_row(expected, "", 0))
            return
        start_ns = time.time_ns()
        subprocess.run(press_command, check=False)
        line = probe.stdout.readline().split()
        end_ns = time.time_ns()
        if len(line) != 3 or line[0] != "done":
            print(f"probe gave no result: {line!r}", file=sys.stderr)
            print(result_row(expected, "", 0))
            return
        end_ns -= int(line[2]) * 1_000_000
        got = read_text(probe_out)
        print(result_row(expected, got, (end_ns - start_ns) / 1e9))
    finally:
        try:
            probe.wait(timeout=30)
        except subprocess.TimeoutExpired:
            probe.kill()
            probe.wait()


def proc_sample(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = int(fields[11]) + int(fields[12])  # utime + stime
    switches, rss = 0, 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
                switches += int(value)
            elif key == "VmRSS":
                rss = int(value.split()[0])
    # Threads count too: their switches are in the task directories.
    task_switches = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{tid}/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches"):
                    task_switches += int(value)
    return ticks, max(switches, task_switches), rss


def idle(args):
    seconds = float(args[0])
    groups = []
    for entry in args[1:]:
        name, _, pids = entry.partition("=")
        groups.append((name, [p for p in pids.split(",") if p]))
    hz = os.sysconf("SC_CLK_TCK")
    before = {p: proc_sample(p) for _, pids in groups for p in pids}
    start = time.monotonic()
    time.sleep(seconds)  # the measurement itself: a fixed window of idle time
    elapsed = time.monotonic() - start
    after = {p: proc_sample(p) for _, pids in groups for p in pids}
    for name, pids in groups:
        cpu = sum(after[p][0] - before[p][0] for p in pids) / hz
        wakeups = sum(after[p][1] - before[p][1] for p in pids)
        rss = sum(after[p][2] for p in pids)
        print(f"{name}\t{100 * cpu / elapsed:.4f}\t{wakeups / elapsed:.2f}\t{rss / 1024:.1f}\t{len(pids)}")


def stats(_args):
    values, lost = [], 0
    for line in sys.stdin:
        line = line.strip()
        if line == "lost":
            lost += 1
        elif line:
            values.append(float(line))
    values.sort()
    if not values:
        print(f"nan\tnan\t{lost}")
        return
    p95 = values[max(0, math.ceil(0.95 * len(values)) - 1)]  # nearest rank
    print(f"{statistics.median(values):.3f}\t{p95:.3f}\t{lost}")


if __name__ == "__main__":
    {"x11": x11, "wine": wine, "idle": idle, "stats": stats}[sys.argv[1]](sys.argv[2:])
