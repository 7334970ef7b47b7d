"""Captures and their files: shared memory, and the tool's formats both ways."""

import zipfile

import numpy as np
import pytest

import tqla


def counter_capture(count=70000, rate=24_000_000):
    i = np.arange(count, dtype=np.uint32)
    words = (i * 40503 & 0xFFFF) | (i & 0xFF) << 16 | (255 - (i & 0xFF)) << 24
    return tqla.Capture(words, rate, trigger=123, names=["SCL", "SDA"])


def test_views_share_the_samples_memory():
    words = np.zeros(1 << 16, dtype=np.uint32)
    capture = tqla.Capture(words)
    assert capture.samples is words, "a contiguous uint32 array is kept, not copied"
    capture.digital[5] = 0xBEEF
    capture.ch1[5] = 0x12
    capture.ch2[5] = 0x34
    assert words[5] == 0x3412BEEF
    assert np.shares_memory(capture.digital, words)
    assert capture.volts(1)[5] == pytest.approx((0x12 - 128) * 0.078125)
    assert list(capture.channel(0)[4:6]) == [0, 1]


def test_a_closed_capture_refuses_every_use():
    capture = counter_capture()
    capture.close()
    for use in (lambda: capture.samples, lambda: len(capture), lambda: capture.digital,
                lambda: tqla.decode(capture, "i2c"), lambda: capture.save("x.tqc")):
        with pytest.raises(tqla.TqlaError, match="the capture is closed"):
            use()


@pytest.mark.parametrize("suffix", [".tqc", ".sr"])
def test_files_round_trip_and_the_tool_reads_them(tmp_path, tool, suffix):
    capture = counter_capture()
    ours = tmp_path / f"ours{suffix}"
    capture.save(ours)
    back = tqla.load(ours)
    assert back.rate_hz == 24_000_000
    np.testing.assert_array_equal(back.samples, capture.samples)
    assert back.trigger == (None if suffix == ".sr" else 123)
    if suffix == ".sr":
        assert back.names[:3] == ["SCL", "SDA", "d2"]
        # The tool's own session file of our file is ours again.
        tool("export", "-O", "sr", "-o", tmp_path / "theirs.sr", ours)
        np.testing.assert_array_equal(tqla.load(tmp_path / "theirs.sr").samples, capture.samples)
    rows = tool("export", "-O", "csv", "--to", "5", ours).stdout.splitlines()[1:]
    assert len(rows) == 5
    for k, row in enumerate(rows):
        fields = row.split(",")
        assert [int(b) for b in fields[1:17]] == [(int(capture.samples[k]) >> c) & 1 for c in range(16)]
        assert float(fields[17]) == pytest.approx(((int(capture.samples[k]) >> 16 & 0xFF) - 128) * 0.078125)


def test_the_tools_files_load(tmp_path, tool):
    tool("demo", "--out", tmp_path / "d")
    demo = tqla.load(tmp_path / "d" / "demo.tqc")
    assert demo.rate_hz == 1_000_000 and demo.trigger is not None and len(demo) == 262144
    tool("export", "-O", "sr", "-o", tmp_path / "d.sr", tmp_path / "d" / "demo.tqc")
    session = tqla.load(tmp_path / "d.sr")
    np.testing.assert_array_equal(session.samples, demo.samples)
    assert session.analog_channels == tqla.CH1 | tqla.CH2


def test_bad_files_raise_with_a_reason(tmp_path):
    good = tmp_path / "good.tqc"
    counter_capture(1000).save(good)
    data = good.read_bytes()
    cases = {
        "short.tqc": (data[:200], "truncated capture file"),
        "long.tqc": (data + b"x", "damaged capture file"),
        "other.tqc": (b"x" * 300, "not a tqla capture file"),
    }
    for name, (content, reason) in cases.items():
        (tmp_path / name).write_bytes(content)
        with pytest.raises(tqla.TqlaError, match=reason):
            tqla.load(tmp_path / name)
    metadata = "[device 1]\nsamplerate=1 MHz\ntotal probes=2\nunitsize={}\n"
    archives = {
        "noversion.sr": ({"metadata": metadata.format(1)}, "no version member"),
        "unit.sr": ({"version": "2", "metadata": metadata.format(5)}, "unit size '5' is not 1 to 4"),
        "nologic.sr": ({"version": "2", "metadata": metadata.format(1)}, "no logic-1 samples"),
        "partial.sr": ({"version": "2", "metadata": metadata.format(2), "logic-1-1": "abc"}, "end inside a sample"),
    }
    for name, (members, reason) in archives.items():
        with zipfile.ZipFile(tmp_path / name, "w") as archive:
            for member, content in members.items():
                archive.writestr(member, content)
        with pytest.raises(tqla.TqlaError, match=reason):
            tqla.load(tmp_path / name)
    with pytest.raises(tqla.TqlaError, match="No such file"):
        tqla.load(tmp_path / "none.tqc")
