#!/usr/bin/env python3
"""Streaming from Python at the pod's top rate: a simulated pod streams for
SECONDS (10 by default) at 24 MHz into numpy blocks, and the script prints the
bytes received, the blocks lost and the processor time the Python side used.

Usage: TQLA_LIBRARY=build/libtqla.so python3 bench/python/stream.py [SECONDS]
(from the build tree; an installed package finds its library by itself)."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
import tqla  # noqa: E402


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    received = 0
    begin, cpu = time.perf_counter(), time.process_time()
    with tqla.Pod(simulated=True) as pod:
        with pod.stream(rate="24M", seconds=seconds) as stream:
            for block in stream:
                received += len(block)
    wall, cpu = time.perf_counter() - begin, time.process_time() - cpu
    expected = int(24_000_000 * seconds)
    print(f"{received} of {expected} bytes in {wall:.2f} s, {stream.lost} blocks lost, {cpu:.2f} s of processor time")
    return 0 if received == expected and stream.lost == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
