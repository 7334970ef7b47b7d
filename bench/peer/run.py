#!/usr/bin/env python3
"""Side by side: tqla against the common open-source decoder stack's command
line (sigrok-cli), as whole processes on the same captures.

For each capture of bench/peer/peer_traffic.cpp (1 s at 24 MHz unless
--seconds says otherwise) it times `tqla decode` against `sigrok-cli -P` and
`tqla export -O vcd|csv` against `sigrok-cli -O vcd|csv`, interleaved over
several rounds, and prints the medians and their ratio. It also checks that
both decoded the same number of bytes, so that a fast wrong answer cannot win.

Usage: run.py TQLA PEER_TRAFFIC [--rounds N] [--seconds S] [--dir DIR] [--clock wall|cpu]
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RATE = 24000000
BINARY = f"binary:numchannels=16:samplerate={RATE}"

# Each decoder: tqla's bus and options, the peer's decoder with its channels,
# the annotations that carry one decoded byte each, and how to count tqla's.
DECODERS = {
    "i2c": (["i2c"], "i2c:scl=0:sda=1", "i2c=address-read:address-write:data-read:data-write"),
    "spi": (["spi", "--words", "8"], "spi:clk=2:mosi=3:miso=4:cs=5", "spi=mosi-data"),
    "uart": (["async", "--baud", "115200", "--channels", "6"], "uart:rx=6:baudrate=115200", "uart=rx-data"),
}
CASES = ["i2c-sparse", "i2c-normal", "i2c-dense", "spi-sparse", "spi-normal", "spi-dense",
         "uart-sparse", "uart-normal", "uart-dense"]


CLOCK = "wall"


def timed(command, out_path):
    # Wall time of the whole process, or with --clock cpu its processor time
    # (user and system, all threads): steadier on a machine that is busy.
    with open(out_path, "wb") as out:
        before, begin = resource.getrusage(resource.RUSAGE_CHILDREN), time.perf_counter()
        subprocess.run(command, stdout=out, stderr=subprocess.DEVNULL, check=True)
        wall, after = time.perf_counter() - begin, resource.getrusage(resource.RUSAGE_CHILDREN)
        if CLOCK == "cpu":
            return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        return wall


def tqla_bytes(path, bus):
    # One JSON object per record line; SPI records hold a MOSI and a MISO
    # value per word, the peer's count above is MOSI only.
    import json
    with open(path) as f:
        records = json.load(f)
    values = sum(len(r["values"]) for r in records)
    return values // 2 if bus == "spi" else values


def peer_bytes(path):
    # Lines of the byte-carrying annotations: "Address write: 50", "Data read: 12", ...
    with open(path) as f:
        return sum(1 for line in f if re.search(r": (Address|Data)|: [0-9A-F]{2}$", line))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tqla")
    parser.add_argument("peer_traffic")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=1.0)
    parser.add_argument("--dir")
    parser.add_argument("--clock", choices=["wall", "cpu"], default="wall")
    args = parser.parse_args()
    global CLOCK
    CLOCK = args.clock
    peer = shutil.which("sigrok-cli")
    if not peer:
        print("sigrok-cli is not installed (apt-get install sigrok-cli): no side-by-side figures")
        return 0
    work = args.dir or tempfile.mkdtemp(prefix="tqla-peer-")
    os.makedirs(work, exist_ok=True)
    subprocess.run([args.peer_traffic, work, str(args.seconds)], check=True, stdout=subprocess.DEVNULL)
    out = os.path.join(work, "out")
    rows = []
    mismatches = 0
    jobs = []
    for case in CASES:
        kind = case.split("-")[0]
        bus, decoder, annotations = DECODERS[kind]
        tqc, binary = os.path.join(work, case + ".tqc"), os.path.join(work, case + ".bin")
        jobs.append((f"decode {case}",
                     [args.tqla, "decode", *bus, "-O", "json", tqc],
                     [peer, "-i", binary, "-I", BINARY, "-P", decoder, "-A", annotations], kind))
    for form in ("vcd", "csv"):
        for case in ("i2c-normal", "uart-dense", "idle"):
            tqc, binary = os.path.join(work, case + ".tqc"), os.path.join(work, case + ".bin")
            jobs.append((f"export {form} {case}", [args.tqla, "export", "-O", form, tqc],
                         [peer, "-i", binary, "-I", BINARY, "-O", form], None))
    times = {name: ([], []) for name, *_ in jobs}
    for _ in range(args.rounds):
        for name, ours, theirs, kind in jobs:
            times[name][0].append(timed(ours, out + ".ours"))
            times[name][1].append(timed(theirs, out + ".theirs"))
            if kind:
                mine, other = tqla_bytes(out + ".ours", kind), peer_bytes(out + ".theirs")
                if mine != other:
                    mismatches += 1
                    print(f"{name}: tqla decoded {mine} bytes, the peer {other}", file=sys.stderr)
    print(f"{'case':24} {'tqla ms':>9} {'peer ms':>9} {'ratio':>7}")
    for name, _, _, _ in jobs:
        ours, theirs = statistics.median(times[name][0]), statistics.median(times[name][1])
        rows.append((name, ours, theirs))
        print(f"{name:24} {ours * 1e3:9.1f} {theirs * 1e3:9.1f} {theirs / ours:7.1f}x")
    worst = min(theirs / ours for _, ours, theirs in rows)
    print(f"medians of {args.rounds} interleaved rounds ({args.clock} time); the smallest ratio is {worst:.1f}x")
    if not args.dir:
        shutil.rmtree(work)
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
