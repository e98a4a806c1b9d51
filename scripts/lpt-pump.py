#!/usr/bin/env python3
"""Plays the printer behind a FIFO that Wine's LPT1 is mapped to.

Reads everything written into FIFO and appends it to CAPTURE, so the capture
holds every byte of every job in order. While a file CAPTURE.stall exists the
pump stops reading: the pipe fills up and the writer blocks, like a printer
that has gone off line.
"""
import os
import select
import sys
import time


def main(fifo, capture):
    stall = capture + ".stall"
    # Opened for reading and writing, so the pump never sees end-of-file when a
    # job closes the port, and the port can always be opened.
    fd = os.open(fifo, os.O_RDWR)
    while True:
        if os.path.exists(stall):
            time.sleep(0.05)
            continue
        ready, _, _ = select.select([fd], [], [], 0.1)
        if not ready:
            continue
        data = os.read(fd, 65536)
        with open(capture, "ab") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
