#!/usr/bin/env python3
"""Timing loops for scripts/measure.sh, which runs Varnow.exe under Wine.

  measure-relay.py backlog FOLDER CAPTURE JOBS SEED
      Drops JOBS jobs into FOLDER at once (each written aside, then all
      renamed into place) and prints "elapsed_ms": from the first rename to
      the moment the capture holds every job's last byte. Whoever relays them
      (Varnow.exe or the bare loop) must already be looking at FOLDER.
  measure-relay.py latency FOLDER CAPTURE JOBS companion|plain
      Plays the producer for JOBS jobs and prints "median_ms max_ms min_ms".
      companion: JOBn.OFI, then JOBn.GLF; 0.1-0.6 s later, when its worker
      waits for the companion, JOBn.OFI is removed and timed from there to
      the job's last byte in the capture. plain: JOBn.GLF alone, renamed into
      place at a random moment and timed from there.
  measure-relay.py cpu PID SERVER_PID SETTLE_S WINDOW_S
      Prints "varnow_ms server_ms window_s varnow_exact_ms": CPU time (user +
      system, in clock ticks) each process spent in a window of WINDOW_S
      seconds after SETTLE_S seconds, and Varnow.exe's time on the CPU summed
      over its threads from the scheduler's nanosecond counts.

Every job's content is unique, and the capture must end up holding exactly
the jobs (in order where one job follows the other, each once in a backlog);
anything else aborts the measurement.
"""
import os
import random
import statistics
import sys
import time

POLL_S = 0.01
# A backlog's last byte is awaited more closely: the bare loop takes
# milliseconds for all of it.
BACKLOG_POLL_S = 0.001
JOB_BYTES = 2048
# Generous against the 2-second poll, which is still the slowest way a job
# can be found.
PICKUP_LIMIT_S = 10.0
DELIVERY_LIMIT_S = 10.0
BACKLOG_LIMIT_S = 600.0
WORKER_END_S = 0.1


def wait_for(condition, limit_s, what, poll_s=POLL_S):
    deadline = time.monotonic() + limit_s
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"measure-relay: timed out waiting for {what}")
        time.sleep(poll_s)
    return time.monotonic()


def job_content(n, rng):
    tag = f"JOB{n:03d}\n".encode()
    return tag + rng.randbytes(JOB_BYTES - len(tag))


# A rename makes a job appear whole, so no search sees it half written.
def write_aside(folder, name, content):
    scratch = os.path.join(folder, name + ".TMP")
    with open(scratch, "wb") as out:
        out.write(content)
    return scratch


def put_in_place(scratch):
    os.rename(scratch, scratch[: -len(".TMP")] + ".GLF")


def drop_job(folder, name, content):
    put_in_place(write_aside(folder, name, content))


def backlog(folder, capture, jobs, seed):
    rng = random.Random(int(seed))
    contents = [job_content(n, rng) for n in range(1, int(jobs) + 1)]
    start_size = os.path.getsize(capture)
    target = start_size + len(contents) * JOB_BYTES
    scratches = [write_aside(folder, f"JOB{n:03d}", c) for n, c in enumerate(contents, 1)]
    start = time.monotonic()
    for scratch in scratches:
        put_in_place(scratch)
    done = wait_for(lambda: os.path.getsize(capture) >= target, BACKLOG_LIMIT_S,
                    "the backlog at the capture", BACKLOG_POLL_S)
    # The folder is listed in the file system's order, not the names', so the
    # jobs may arrive in any order, but each whole and once.
    with open(capture, "rb") as f:
        f.seek(start_size)
        got = f.read()
    pieces = sorted(got[i:i + JOB_BYTES] for i in range(0, len(got), JOB_BYTES))
    if pieces != sorted(contents):
        sys.exit("measure-relay: the capture does not hold each job of the backlog once")
    wait_for(lambda: not any(n.endswith(".GLF") for n in os.listdir(folder)), DELIVERY_LIMIT_S,
             "the backlog deleted")
    print(f"{(done - start) * 1000.0:.0f}")


def latency(folder, capture, jobs, mode):
    rng = random.Random(7)
    start_size = os.path.getsize(capture)
    expected = b""
    samples = []
    for n in range(1, int(jobs) + 1):
        name = f"JOB{n:02d}"
        job = os.path.join(folder, name + ".GLF")
        content = job_content(n, rng)
        expected += content
        target = start_size + len(expected)
        if mode == "companion":
            companion = os.path.join(folder, name + ".OFI")
            open(companion, "wb").close()
            drop_job(folder, name, content)
            # The job is taken up within milliseconds of appearing, and its
            # worker then waits for the companion, looking at least every
            # 500 ms: a random pause spreads the removal over that period
            # instead of hitting one phase of it.
            time.sleep(0.1 + rng.uniform(0.0, 0.5))
            if os.path.getsize(capture) != target - len(content):
                sys.exit(f"measure-relay: {name} printed while its companion was there")
            os.unlink(companion)
        else:
            # At a random moment, spread over the 2 s poll, after the
            # previous job.
            time.sleep(0.2 + rng.uniform(0.0, 2.0))
            drop_job(folder, name, content)
        start = time.monotonic()
        done = wait_for(lambda: os.path.getsize(capture) >= target, DELIVERY_LIMIT_S,
                        f"{name} at the capture")
        samples.append((done - start) * 1000.0)
        wait_for(lambda: not os.path.exists(job), DELIVERY_LIMIT_S, f"{name} deleted")
        # The worker ends right after the delete.
        time.sleep(WORKER_END_S)
    with open(capture, "rb") as f:
        f.seek(start_size)
        if f.read() != expected:
            sys.exit("measure-relay: the capture does not hold the jobs in order")
    print(f"{statistics.median(samples):.0f} {max(samples):.0f} {min(samples):.0f}")


def cpu_ms(pid):
    with open(f"/proc/{pid}/stat") as f:
        # The command name may hold spaces; the fields after it do not.
        fields = f.read().rsplit(")", 1)[1].split()
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) * 1000.0 / os.sysconf("SC_CLK_TCK")


# Nanoseconds on the CPU per thread (the first field of schedstat): finer than
# the 10 ms ticks, which matters when the whole window costs a few of them.
def thread_ns(pid):
    times = {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                times[tid] = int(f.read().split()[0])
        except FileNotFoundError:
            pass
    return times


def cpu(pid, server, settle_s, window_s):
    time.sleep(float(settle_s))
    start = time.monotonic()
    varnow0, server0, threads0 = cpu_ms(pid), cpu_ms(server), thread_ns(pid)
    time.sleep(float(window_s))
    varnow1, server1, threads1 = cpu_ms(pid), cpu_ms(server), thread_ns(pid)
    window = time.monotonic() - start
    # A thread that came or went within the window counts with what it has at
    # the end, or not at all; an idle Varnow starts and ends none.
    exact = sum(ns - threads0.get(tid, 0) for tid, ns in threads1.items()) / 1e6
    print(f"{varnow1 - varnow0:.0f} {server1 - server0:.0f} {window:.1f} {exact:.1f}")


if __name__ == "__main__":
    commands = {"backlog": backlog, "latency": latency, "cpu": cpu}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](*sys.argv[2:])
