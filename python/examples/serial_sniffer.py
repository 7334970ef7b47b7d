"""A serial-line sniffer: streams channels 0-7 at 24 MHz and prints the
characters of the serial line on channel 6 as they come, for a few seconds.
Each block of the stream is a numpy array of one byte per sample; the
characters are decoded by the library over the blocks gathered so far.

    PYTHONPATH=python python3 python/examples/serial_sniffer.py [SECONDS] [BAUD]
"""

import sys

import numpy as np

import tqla


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 3
    baud = int(sys.argv[2]) if len(sys.argv) > 2 else 1_500_000  # the simulated pod's line at 24 MHz
    pending = np.empty(0, dtype=np.uint32)
    shown = 0
    with tqla.Pod(simulated=True) as pod, pod.stream(rate="24M", seconds=seconds) as stream:
        for block in stream:
            pending = np.concatenate([pending, block.astype(np.uint32)])
            if len(pending) < 1 << 20:
                continue
            # Decode what has come; keep the tail, where a character may be cut.
            records = tqla.decode(tqla.Capture(pending, 24_000_000, analog_channels=0), "uart", rx=6, baud=baud)
            text = "".join(chr(v) if 32 <= v < 127 else "." for r in records[:-1] for v in r.values)
            sys.stdout.write(text)
            sys.stdout.flush()
            shown += len(text)
            keep = records[-1].first if records else len(pending) - 4096
            pending = pending[max(keep - 1, 0):]
    print(f"\n{shown} characters, {stream.received} samples, {stream.lost} blocks lost")


if __name__ == "__main__":
    main()
