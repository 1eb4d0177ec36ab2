#!/usr/bin/env python3
"""A sound card's pace for ALSA's file plugin.

ALSA's null device takes samples as fast as they come, so a program under Wine
would hear its music several times too fast. Pointed at a named pipe, the file
plugin blocks while the pipe is full; this reader empties the pipe at the rate
of a real device and appends what it reads to a file.

    paced_sink.py FIFO OUT BYTES_PER_SECOND

Runs until it is sent SIGTERM; the device may open and close the pipe many
times meanwhile.
"""
import os
import signal
import sys
import time

fifo, out_path, rate = sys.argv[1], sys.argv[2], int(sys.argv[3])
CHUNK = 4096
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

with open(out_path, 'wb') as out:
    deadline = time.monotonic()
    while True:
        fd = os.open(fifo, os.O_RDONLY)  # waits for the device to open it
        while data := os.read(fd, CHUNK):
            out.write(data)
            out.flush()
            # Never catches up on idle time: an idle device does not play faster later.
            deadline = max(deadline, time.monotonic()) + len(data) / rate
            time.sleep(max(0.0, deadline - time.monotonic()))
        os.close(fd)
