"""The simulated pod from Python: captures, decodes and packets as the tool
makes them, the pod's own array as the capture, streaming, generation."""

import ctypes

import numpy as np
import pytest

import tqla


@pytest.fixture(scope="module")
def demo():
    with tqla.Pod(simulated=True) as pod:
        return pod.capture(samples=262144, rate="1M", trigger="0=f,1=1")


@pytest.mark.parametrize("bus, settings, options", [
    ("i2c", dict(scl=0, sda=1), []),
    ("uart", dict(rx=6, baud=62500), ["--channels", "6", "--baud", "62500"]),
    ("spi", dict(cs=5, sck=2, mosi=3, miso=4), []),
])
def test_decode_gives_the_records_of_the_tool(tmp_path, tool, demo, bus, settings, options):
    path = tmp_path / "demo.tqc"
    demo.save(path)
    records = tqla.decode(demo, bus, **settings)
    lines = tool("decode", bus, *options, path).stdout.splitlines()
    assert len(records) > 50
    assert [r.line for r in records] == lines
    for record in records[:40]:
        assert record.first <= record.last
        assert record.time == record.first / 1_000_000
        # Every value in the line's text is one of its values, in order.
        hexes = [int(word, 16) for word in __import__("re").findall(r"\b[0-9A-F]{2}\b", record.text)]
        assert record.values == hexes
    if bus == "i2c":
        first = next(r for r in records if r.text.startswith("[S]"))
        names = [name for _, name in first.markers]
        assert names[0] == "START" and names[-1] == "STOP" and "ACK" in names
        assert first.values[0] == 0xA0


@pytest.mark.parametrize("traffic, rate, buses", [
    ("fieldbus", "12M", ["can", "usb", "ps2"]),
    ("streams", "1M", ["1wire", "i2s", "serial", "parallel"]),
])
def test_every_other_bus_gives_the_records_of_the_tool(tmp_path, tool, traffic, rate, buses):
    with tqla.Pod(simulated=True, traffic=traffic) as pod:
        capture = pod.capture(samples=262144, rate=rate, analog=0)
    path = tmp_path / f"{traffic}.tqc"
    capture.save(path)
    for bus in buses:
        records = tqla.decode(capture, bus)
        lines = tool("decode", bus, path).stdout.splitlines()
        assert len(records) > 3, bus
        assert [r.line for r in records] == lines, bus
        assert any(r.values for r in records), bus


def test_triggers_on_the_lines_and_on_the_scope():
    with tqla.Pod(simulated=True) as pod:
        digital = pod.capture(samples=65536, rate="1M", trigger="1=f,0=1")
        scope = pod.capture(samples=65536, rate="1M", analog_trigger="ch1>128")
    t = digital.trigger
    assert t is not None and t > 0
    # An I2C start: SDA falls while SCL stays high.
    assert digital.channel(1)[t - 1] == 1 and digital.channel(1)[t] == 0 and digital.channel(0)[t] == 1
    t = scope.trigger
    assert t is not None
    assert scope.ch1[t - 10:t].astype(int).mean() < 128 <= scope.ch1[t:t + 10].astype(int).mean()
    with pytest.raises(tqla.TqlaError, match="bad analog trigger"):
        with tqla.Pod(simulated=True) as pod:
            pod.capture(samples=65536, analog_trigger="ch3>1")


def test_the_capture_is_the_array_the_pod_filled():
    lib = tqla.library()
    with tqla.Pod(simulated=True) as pod:
        capture = pod.capture(samples=64 << 20, rate="24M", analog=0)
    assert len(capture) == 64 << 20
    length = ctypes.c_uint32()
    buffer = lib.TqlaCurrentBuffer(ctypes.byref(length))
    # The library's sample buffer is the capture's own memory: no copy.
    assert buffer == capture.samples.ctypes.data
    assert capture.samples.base is not None and capture.samples.base.ctypes.data == buffer
    assert length.value == len(capture)
    assert np.any(capture.digital != capture.digital[0])


def test_packets_as_the_tool_cuts_them(tmp_path, tool, protocols):
    with tqla.Pod(simulated=True, traffic="protocols") as pod:
        capture = pod.capture(samples=1 << 20, rate="24M", analog=0)
    path = tmp_path / "bus.tqc"
    capture.save(path)
    definition = protocols / "modbus-rtu.txt"
    ours = tqla.packets(capture, definition, "uart", rx=6, baud=115200, parity="even")
    tool("decode", "async", "--channels", "6", "--baud", "115200", "--parity", "even", "-p", definition,
         "--packets", tmp_path / "m.txt", path)
    theirs = (tmp_path / "m.txt").read_bytes().decode().split("\r\n")
    assert ours == [line for line in theirs if line]
    assert len(ours) > 5 and ours[0].startswith("MODBUS,")


def test_streaming_loses_no_block():
    # A moderate rate, so that a busy machine does not decide it; the speed of
    # the stream path is measured by the benchmarks.
    with tqla.Pod(simulated=True) as pod:
        received = 0
        with pod.stream(rate="4M", seconds=1) as stream:
            for block in stream:
                assert block.dtype == np.uint8
                received += len(block)
        assert received == 4_000_000
        assert stream.lost == 0


def test_generated_pattern_comes_back_on_a_wired_pod():
    lead_in, count = 65536, 65536
    with tqla.Pod(pod_id=0xD1, simulated=True):
        pass
    with tqla.Pod(simulated=True) as pod:
        tqla.wire_simulated(pod.pod_id, 0xD1)
        assert pod.generate(np.arange(count, dtype=np.uint32), rate="1M") == 0
    with tqla.Pod(pod_id=0xD1, simulated=True) as wired:
        back = wired.capture(samples=lead_in + 2 * count, rate="1M", post=0, analog=0)
    np.testing.assert_array_equal(back.digital[lead_in:lead_in + count], np.arange(count, dtype=np.uint16))


def test_bad_calls_raise_with_a_reason(demo):
    with pytest.raises(tqla.TqlaError, match="cannot open pod 4660"):
        with tqla.Pod(pod_id=0x1234):
            pass
    pod = tqla.Pod(simulated=True)
    with pytest.raises(tqla.TqlaError, match="the pod is not open"):
        pod.capture(samples=65536)
    cases = [
        (lambda: tqla.decode(demo, "i3c"), "unknown bus 'i3c'"),
        (lambda: tqla.decode(demo, "i2c", clock=0), "i2c has no setting clock"),
        (lambda: tqla.decode(demo, "i2c", scl=16), "scl=16 is not a channel"),
        (lambda: tqla.decode(demo, "uart", parity="weird"), "parity='weird'"),
        (lambda: tqla.decode(tqla.Capture(demo.samples, 5_000_000), "i2c"), "the decoders take 1, 2, 3"),
        (lambda: tqla.decode(demo, "i2c", start=5, stop=1), "outside the capture"),
        (lambda: tqla.packets(demo, "/nonexistent/def.txt"), "no such protocol definition file"),
        (lambda: tqla.Pod(traffic="radio"), "no simulated traffic named 'radio'"),
        (lambda: tqla.Capture(np.zeros(4, np.uint32), trigger=9), "trigger index 9"),
    ]
    for call, reason in cases:
        with pytest.raises(tqla.TqlaError, match=reason):
            call()
    # The library's own reason comes through: a bit rate too fast for the rate.
    with pytest.raises(tqla.TqlaError, match=r"\S"):
        tqla.decode(demo, "can", rx=0, bit_rate=1_000_000)
