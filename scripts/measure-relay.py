#!/usr/bin/env python3
"""Timing loops for scripts/measure.sh, which runs Varnow.exe under Wine.

  measure-relay.py latency FOLDER CAPTURE PID JOBS companion|plain
      Plays the producer for JOBS jobs and prints "median_ms max_ms min_ms".
      companion: JOBn.OFI, then JOBn.GLF; once the worker for the job runs,
      JOBn.OFI is removed and timed from there to the job's last byte in the
      capture. plain: JOBn.GLF alone, timed from its appearance.
  measure-relay.py cpu PID SERVER_PID SETTLE_S WINDOW_S
      Prints "varnow_ms server_ms window_s": CPU time (user + system) each
      process spent in a window of WINDOW_S seconds after SETTLE_S seconds.

Every job's content is unique, and the capture must end up holding exactly
the jobs in order; anything else aborts the measurement.
"""
import os
import random
import statistics
import sys
import time

POLL_S = 0.01
JOB_BYTES = 4096
# The search runs 2 s after a tick's end, and the first search after a job
# comes one tick after the return to searching: at most about 4 s.
PICKUP_LIMIT_S = 10.0
DELIVERY_LIMIT_S = 10.0


def threads(pid):
    return len(os.listdir(f"/proc/{pid}/task"))


def wait_for(condition, limit_s, what):
    deadline = time.monotonic() + limit_s
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"measure-relay: timed out waiting for {what}")
        time.sleep(POLL_S)
    return time.monotonic()


def job_content(n, rng):
    return f"JOB{n:02d}\n".encode() + rng.randbytes(JOB_BYTES - 6)


def drop_job(folder, name, content):
    # A rename makes the job appear whole, so no search sees it half written.
    scratch = os.path.join(folder, name + ".TMP")
    with open(scratch, "wb") as out:
        out.write(content)
    os.rename(scratch, os.path.join(folder, name + ".GLF"))


def latency(folder, capture, pid, jobs, mode):
    pid = int(pid)
    rng = random.Random(7)
    idle_threads = threads(pid)
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
            # The worker is the one thread more than an idle Varnow has; it
            # waits for the companion as long as it exists.
            wait_for(lambda: threads(pid) > idle_threads, PICKUP_LIMIT_S, f"{name} picked up")
            # The worker looks every 500 ms; a random pause spreads the
            # removal over that period instead of hitting one phase of it.
            time.sleep(0.1 + rng.uniform(0.0, 0.5))
            os.unlink(companion)
        else:
            # Past the return to searching, at a random phase of the 2 s poll.
            time.sleep(4.2 + rng.uniform(0.0, 2.0))
            drop_job(folder, name, content)
        start = time.monotonic()
        done = wait_for(lambda: os.path.getsize(capture) >= target, DELIVERY_LIMIT_S,
                        f"{name} at the capture")
        samples.append((done - start) * 1000.0)
        wait_for(lambda: not os.path.exists(job), DELIVERY_LIMIT_S, f"{name} deleted")
        wait_for(lambda: threads(pid) <= idle_threads, DELIVERY_LIMIT_S, f"{name} worker end")
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


def cpu(pid, server, settle_s, window_s):
    time.sleep(float(settle_s))
    start = time.monotonic()
    varnow0, server0 = cpu_ms(pid), cpu_ms(server)
    time.sleep(float(window_s))
    varnow1, server1 = cpu_ms(pid), cpu_ms(server)
    window = time.monotonic() - start
    print(f"{varnow1 - varnow0:.0f} {server1 - server0:.0f} {window:.1f}")


if __name__ == "__main__":
    commands = {"latency": latency, "cpu": cpu}
    if len(sys.argv) < 2 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    commands[sys.argv[1]](*sys.argv[2:])
