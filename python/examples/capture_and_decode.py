"""Captures the simulated pod's demonstration traffic on an I2C start
condition, prints the I2C transactions around the trigger, and saves the
capture for tqla and for the common open-source analyzer suite.

    PYTHONPATH=python python3 python/examples/capture_and_decode.py [--real]
"""

import sys

import tqla


def main():
    simulated = "--real" not in sys.argv
    with tqla.Pod(simulated=simulated) as pod:
        # SDA falling while SCL is high: an I2C start.
        capture = pod.capture(samples=262144, rate="1M", trigger="0=1,1=f")
    print(capture)
    near = [r for r in tqla.decode(capture, "i2c", scl=0, sda=1) if abs(r.first - (capture.trigger or 0)) < 5000]
    for record in near:
        address = record.values[0] >> 1 if record.values else None
        kind = "read" if record.values and record.values[0] & 1 else "write"
        print(f"{record.time * 1e3:9.3f} ms  address {address:#04x} {kind}  data {[f'{v:02X}' for v in record.values[1:]]}"
              f"  {' '.join(name for _, name in record.markers)}")
    print(f"CH1 from {capture.volts(1).min():.2f} V to {capture.volts(1).max():.2f} V")
    capture.save("example.tqc")
    capture.save("example.sr")
    print("saved example.tqc and example.sr")


if __name__ == "__main__":
    main()
