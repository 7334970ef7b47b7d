"""Captures: sample words in a numpy array, and the files they live in.

A sample word is 32 bits: bits 0-15 the digital channels d0..d15, bits 16-23
the scope channel CH1 and bits 24-31 CH2, each scope byte offset binary
(volts = (byte - 128) x 0.078125). The views a Capture gives (``digital``,
``ch1``, ``ch2``) share memory with its samples; so does the library, which
reads the samples where they lie when a capture is decoded.

Files: the tool's capture file (.tqc, a 232-byte head and the words; the
layout is docs/capture-file.md) and the session file of the common
open-source analyzer suite (.sr, a zip archive with a version, an INI-style
metadata member and logic chunks), read and written as ``tqla export -O sr``
does. A session file keeps no trigger.
"""

import configparser
import datetime
import io
import os
import struct
import zipfile

import numpy as np

from ._library import TqlaError

__all__ = ["Capture", "load", "RATES_HZ", "VOLTS_PER_STEP"]

VOLTS_PER_STEP = 0.078125
# The rates the pod samples at and the decoders take.
RATES_HZ = (1_000_000, 2_000_000, 3_000_000, 4_000_000, 6_000_000, 8_000_000, 12_000_000, 16_000_000,
            24_000_000)
CH1, CH2 = 1, 2

_IDENTIFICATION = b"tqla capture"
_HEAD_BYTES = 232
_NO_TRIGGER = 0xFFFFFFFF
_MAX_SAMPLES = 0x3FFFFFFF
_CUT_SHORT = "cut short: "
# Members of a session file read at most this large: the suite's own are a
# few hundred bytes.
_MAX_TEXT_MEMBER = 1 << 20


def rate_code(rate_hz):
    """The pod's code of a rate (MHz x 10 + 7), 0 for a rate it lacks."""
    return rate_hz // 1_000_000 * 10 + 7 if rate_hz in RATES_HZ else 0


class Capture:
    """The samples of one capture and what belongs to them.

    ``samples`` is a one-dimensional numpy array of uint32 words; a capture
    made from an array keeps that array (no copy) when it is already
    contiguous uint32. ``close()`` lets go of the samples; a closed capture
    refuses every use with TqlaError.
    """

    def __init__(self, samples, rate_hz=1_000_000, trigger=None, analog_channels=CH1 | CH2, names=None,
                 created="", cut_short=""):
        self._samples = None
        samples = np.ascontiguousarray(samples, dtype=np.uint32)
        if samples.ndim != 1:
            raise TqlaError("samples must be one-dimensional")
        if len(samples) > _MAX_SAMPLES:
            raise TqlaError(f"a capture holds at most {_MAX_SAMPLES} samples")
        if not rate_hz or rate_hz <= 0 or rate_hz > 0xFFFFFFFF:
            raise TqlaError(f"sample rate {rate_hz} is not 1 Hz to 4 GHz")
        if trigger is not None and not 0 <= trigger < len(samples):
            raise TqlaError(f"trigger index {trigger} lies outside the {len(samples)} samples")
        self._samples = samples
        self.rate_hz = int(rate_hz)
        self.trigger = trigger
        self.analog_channels = analog_channels & (CH1 | CH2)
        self.names = list(names) if names else [""] * 16
        self.names += [""] * (16 - len(self.names))
        self.created = created
        self.cut_short = cut_short

    # ---- the samples ----
    @property
    def samples(self):
        if self._samples is None:
            raise TqlaError("the capture is closed")
        return self._samples

    @property
    def closed(self):
        return self._samples is None

    def close(self):
        self._samples = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __len__(self):
        return len(self.samples)

    @property
    def digital(self):
        """The 16 digital channels as uint16, a view of the samples."""
        return self.samples.view(np.uint16)[0::2]

    @property
    def ch1(self):
        """CH1's bytes, a view of the samples."""
        return self.samples.view(np.uint8)[2::4]

    @property
    def ch2(self):
        """CH2's bytes, a view of the samples."""
        return self.samples.view(np.uint8)[3::4]

    def channel(self, n):
        """Digital channel n as 0/1 bytes (a new array)."""
        if not 0 <= n <= 15:
            raise TqlaError(f"there is no digital channel {n} (0 to 15)")
        return ((self.digital >> n) & 1).astype(np.uint8)

    def volts(self, channel):
        """Scope channel 1 or 2 in volts (a new array)."""
        raw = {1: self.ch1, 2: self.ch2}.get(channel)
        if raw is None:
            raise TqlaError(f"there is no scope channel {channel} (1 or 2)")
        return (raw.astype(np.float64) - 128) * VOLTS_PER_STEP

    def name(self, n):
        return self.names[n] or f"d{n}"

    def times(self):
        """Seconds of each sample from sample 0."""
        return np.arange(len(self.samples)) / self.rate_hz

    def __repr__(self):
        if self.closed:
            return "<tqla.Capture closed>"
        trigger = "" if self.trigger is None else f", trigger at {self.trigger}"
        return f"<tqla.Capture {len(self.samples)} samples at {self.rate_hz} Hz{trigger}>"

    # ---- files ----
    def save(self, path, start=0, stop=None):
        """Writes the capture as a .tqc or, for a name ending in .sr, as a
        session file (samples [start, stop) only; a .tqc holds them all)."""
        path = os.fspath(path)
        if path.endswith(".sr"):
            _save_session(path, self, start, len(self.samples) if stop is None else stop)
        else:
            if start != 0 or stop not in (None, len(self.samples)):
                raise TqlaError("a capture file holds every sample: cut the capture first")
            _save_tqc(path, self)


def load(path):
    """Reads a capture file (.tqc) or a session file (.sr, or any zip archive)."""
    path = os.fspath(path)
    try:
        with open(path, "rb") as file:
            head = file.read(4)
    except OSError as error:
        raise TqlaError(f"{path}: {error.strerror}") from None
    if path.endswith(".sr") or (not path.endswith(".tqc") and head == b"PK\x03\x04"):
        return _load_session(path)
    return _load_tqc(path)


# ---- the capture file ----

def _text_field(raw):
    return raw.split(b"\0", 1)[0].decode("ascii", "replace")


def _load_tqc(path):
    with open(path, "rb") as file:
        head = file.read(_HEAD_BYTES)
        if head[:20] != _IDENTIFICATION.ljust(20, b"\0"):
            raise TqlaError(f"{path}: not a tqla capture file")
        if len(head) < _HEAD_BYTES:
            raise TqlaError(f"{path}: truncated capture file ({len(head)} bytes, the head alone is {_HEAD_BYTES})")
        version, stored = head[160], struct.unpack_from("<I", head, 161)[0]
        if version != 1:
            raise TqlaError(f"{path}: capture format version {version} is not supported (this reads version 1)")
        code, analog = head[165], head[166]
        rate, count, trigger = struct.unpack_from("<III", head, 200)
        if count > _MAX_SAMPLES or stored != count * 4:
            raise TqlaError(f"{path}: damaged capture file (stored length {stored} does not match {count} samples)")
        size = os.fstat(file.fileno()).st_size
        if size != _HEAD_BYTES + stored:
            raise TqlaError(f"{path}: {'truncated' if size < _HEAD_BYTES + stored else 'damaged'} capture file "
                            f"({size} bytes, expected {_HEAD_BYTES + stored})")
        if rate == 0 or (code and code != rate_code(rate)):
            raise TqlaError(f"{path}: damaged capture file (rate {rate} Hz, rate code {code})")
        if trigger != _NO_TRIGGER and trigger >= count:
            raise TqlaError(f"{path}: damaged capture file (trigger index {trigger} past the samples)")
        samples = np.fromfile(file, dtype="<u4", count=count)
    cut = _text_field(head[40:60])
    return Capture(samples, rate, None if trigger == _NO_TRIGGER else trigger, analog, created=_text_field(head[20:40]),
                   cut_short=cut[len(_CUT_SHORT):] if cut.startswith(_CUT_SHORT) else cut)


def _save_tqc(path, capture):
    samples = capture.samples
    created = capture.created or datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")
    head = bytearray(_HEAD_BYTES)
    head[0:len(_IDENTIFICATION)] = _IDENTIFICATION
    head[20:40] = created.encode("ascii")[:20].ljust(20, b"\0")
    if capture.cut_short:
        head[40:60] = (_CUT_SHORT + capture.cut_short).encode("ascii")[:20].ljust(20, b"\0")
    head[160] = 1
    struct.pack_into("<I", head, 161, len(samples) * 4)
    head[165] = rate_code(capture.rate_hz)
    head[166] = capture.analog_channels
    struct.pack_into("<III", head, 200, capture.rate_hz, len(samples),
                     _NO_TRIGGER if capture.trigger is None else capture.trigger)
    _write_whole(path, lambda file: (file.write(head), file.write(samples.astype("<u4", copy=False).tobytes())))


def _write_whole(path, write):
    """Writes path through a temporary file beside it: nothing half written stays."""
    temporary = f"{path}.part{os.getpid()}"
    try:
        with open(temporary, "wb") as file:
            write(file)
        os.replace(temporary, path)
    except OSError as error:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise TqlaError(f"cannot write {path}: {error.strerror}") from None


# ---- the session file ----

def _rate_text(hz):
    for unit, name in ((1_000_000_000, "GHz"), (1_000_000, "MHz"), (1000, "kHz")):
        if hz % unit == 0:
            return f"{hz // unit} {name}"
    return f"{hz} Hz"


def _parse_rate(text):
    number = text.strip()
    scale = 1
    if number.endswith("Hz"):
        number = number[:-2].strip()
    for suffix, factor in (("k", 1e3), ("K", 1e3), ("M", 1e6), ("G", 1e9)):
        if number.endswith(suffix):
            number, scale = number[:-1].strip(), factor
            break
    try:
        hz = float(number) * scale
    except ValueError:
        return None
    return int(round(hz)) if 1 <= hz < 2**32 and abs(hz - round(hz)) <= 1e-6 * hz else None


def _read_member(archive, path, name, limit, too_large):
    """Member name in blocks, stopping past limit bytes whatever the archive says."""
    try:
        with archive.open(name) as member:
            data = bytearray()
            while block := member.read(1 << 20):
                data += block
                if len(data) > limit:
                    raise TqlaError(f"{path}: {too_large}")
            return bytes(data)
    except KeyError:
        return None
    except (zipfile.BadZipFile, zipfile.LargeZipFile, OSError, EOFError, NotImplementedError, ValueError) as error:
        raise TqlaError(f"{path}: damaged member {name} ({error})") from None


def _load_session(path, max_samples=_MAX_SAMPLES):
    try:
        archive = zipfile.ZipFile(path)
    except (zipfile.BadZipFile, OSError, ValueError) as error:
        raise TqlaError(f"{path}: not a session file ({error})") from None
    with archive:
        version = _read_member(archive, path, "version", _MAX_TEXT_MEMBER, "the version member is larger than 1 MiB")
        if version is None:
            raise TqlaError(f"{path}: not a session file (no version member)")
        if version.strip() not in (b"1", b"2"):
            raise TqlaError(f"{path}: session file version {version.strip()[:16].decode('ascii', 'replace')} "
                            "is not supported (this reads versions 1 and 2)")
        metadata = _read_member(archive, path, "metadata", _MAX_TEXT_MEMBER,
                                "the metadata member is larger than 1 MiB")
        if metadata is None:
            raise TqlaError(f"{path}: damaged session file (no metadata member)")
        parser = configparser.ConfigParser(interpolation=None, strict=False)
        try:
            parser.read_string(metadata.decode("utf-8", "replace"))
            device = parser["device 1"]
        except (configparser.Error, KeyError):
            raise TqlaError(f"{path}: damaged session file (no [device 1] in its metadata)") from None
        rate = _parse_rate(device.get("samplerate", ""))
        if rate is None:
            raise TqlaError(f"{path}: sample rate '{device.get('samplerate', '')}' is not a whole number of hertz "
                            "up to 4 GHz")
        try:
            probes = int(device.get("total probes", "0"))
            unit = int(device.get("unitsize", "0")) if probes else 0
        except ValueError:
            raise TqlaError(f"{path}: damaged session file (channel count or unit size)") from None
        if probes > 16:
            raise TqlaError(f"{path}: the session holds {probes} logic channels; tqla reads at most 16")
        if probes and not 1 <= unit <= 4:
            raise TqlaError(f"{path}: unit size '{unit}' is not 1 to 4 bytes per sample")
        names = [device.get(f"probe{p + 1}", "") for p in range(16)]
        prefix = device.get("capturefile", "logic-1")
        chunks = []
        total = 0
        limit = max_samples * max(unit, 1)
        for number in [None, *range(1, 1 << 20)]:
            name = prefix if number is None else f"{prefix}-{number}"
            data = _read_member(archive, path, name, limit - total, f"the session holds more than {max_samples} samples")
            if data is None:
                if number is None:
                    continue
                break
            chunks.append(data)
            total += len(data)
        samples = np.full(0, 0x80800000, dtype=np.uint32)
        if probes:
            if not chunks:
                raise TqlaError(f"{path}: damaged session file (no {prefix} samples)")
            raw = b"".join(chunks)
            if len(raw) % unit:
                raise TqlaError(f"{path}: damaged session file (the logic samples end inside a sample of {unit} bytes)")
            words = np.frombuffer(raw, dtype=np.uint8).reshape(-1, unit)
            samples = np.full(len(words), 0x80800000, dtype=np.uint32)
            for byte in range(min(unit, 2)):
                samples |= words[:, byte].astype(np.uint32) << (8 * byte)
        # CH1 and CH2: the analog channels named so, else the first two.
        analog = {}
        for key, value in device.items():
            if key.startswith("analog") and key[6:].isdigit():
                analog[int(key[6:])] = value
        slots = [None, None]
        for p, name in sorted(analog.items()):
            if name in ("CH1", "CH2"):
                slots[int(name[2]) - 1] = p
        for p, name in sorted(analog.items()):
            if name not in ("CH1", "CH2") and None in slots:
                slots[slots.index(None)] = p
        in_use = 0
        for slot, p in enumerate(slots):
            if p is None:
                continue
            data = b""
            for number in range(1, 1 << 20):
                chunk = _read_member(archive, path, f"analog-1-{p}-{number}", 4 * max_samples,
                                     f"the session holds more than {max_samples} samples")
                if chunk is None:
                    break
                data += chunk
            volts = np.frombuffer(data[:len(data) // 4 * 4], dtype="<f4")
            if not len(volts):
                continue
            if probes and len(volts) > len(samples):
                raise TqlaError(f"{path}: analog channel {p} holds more samples than the logic channels")
            if not probes and len(samples) < len(volts):
                samples = np.concatenate([samples, np.full(len(volts) - len(samples), 0x80800000, np.uint32)])
            steps = np.nan_to_num(np.round(volts.astype(np.float64) / VOLTS_PER_STEP) + 128, nan=128)
            raw = np.clip(steps, 0, 255).astype(np.uint32)
            shift = 16 + 8 * slot
            samples[:len(raw)] = (samples[:len(raw)] & ~np.uint32(0xFF << shift)) | (raw << shift)
            in_use |= CH1 if slot == 0 else CH2
    if not len(samples):
        raise TqlaError(f"{path}: the session file holds no samples")
    return Capture(samples, rate, None, in_use, names=names)


def _save_session(path, capture, start, stop):
    samples = capture.samples[start:stop]
    if not len(samples):
        raise TqlaError(f"nothing to export: the capture has {len(capture.samples)} samples")
    ch1, ch2 = bool(capture.analog_channels & CH1), bool(capture.analog_channels & CH2)
    metadata = io.StringIO()
    metadata.write("[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=16\n")
    metadata.write(f"samplerate={_rate_text(capture.rate_hz)}\ntotal analog={int(ch1) + int(ch2)}\n")
    for c in range(16):
        metadata.write(f"probe{c + 1}={capture.name(c)}\n")
    if ch1:
        metadata.write("analog17=CH1\n")
    if ch2:
        metadata.write("analog18=CH2\n")
    metadata.write("unitsize=2\n")

    def write(file):
        with zipfile.ZipFile(file, "w", zipfile.ZIP_DEFLATED) as archive:
            archive.writestr("version", "2")
            archive.writestr("metadata", metadata.getvalue())
            step = 1 << 22
            for number, at in enumerate(range(0, len(samples), step), 1):
                part = samples[at:at + step]
                archive.writestr(f"logic-1-{number}", part.astype("<u2").tobytes())
                for on, probe, shift in ((ch1, 17, 16), (ch2, 18, 24)):
                    if on:
                        volts = (((part >> shift) & 0xFF).astype(np.float32) - 128) * np.float32(VOLTS_PER_STEP)
                        archive.writestr(f"analog-1-{probe}-{number}", volts.astype("<f4").tobytes())

    _write_whole(path, write)
