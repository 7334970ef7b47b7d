"""A pod, real or simulated, as a context manager: captures with triggers,
streams as an iterator of numpy blocks, pattern generation.

    with tqla.Pod(simulated=True) as pod:
        capture = pod.capture(samples=262144, rate="1M", trigger="0=f,1=1")

A capture's samples are the very array the pod filled: the library writes
into the numpy array and the Capture keeps it (no copy).
"""

import ctypes
import time

import numpy as np

from . import capture as capture_module
from ._library import TqlaError, call_lock, last_error, library

__all__ = ["Pod", "Stream", "SIM_TRAFFIC", "parse_rate", "parse_trigger", "wire_simulated"]

_BLOCK = 65536
SIM_TRAFFIC = {"demo": 3, "fieldbus": 4, "streams": 5, "protocols": 6}
_POLL = 0.02
# The simulated pods this process attached, by pod ID.
_simulated = {}


def parse_rate(rate):
    """A rate as 24_000_000, "24M", "24MHz" or "500k", checked against the pod's."""
    if isinstance(rate, str):
        text = rate.strip()
        scale = 1
        for suffix, factor in (("MHz", 1e6), ("kHz", 1e3), ("Hz", 1), ("M", 1e6), ("k", 1e3)):
            if text.endswith(suffix):
                text, scale = text[:-len(suffix)], factor
                break
        try:
            rate = round(float(text) * scale)
        except ValueError:
            raise TqlaError(f"bad rate {rate!r}") from None
    if rate not in capture_module.RATES_HZ:
        raise TqlaError(f"the pod samples at 1, 2, 3, 4, 6, 8, 12, 16 or 24 MHz, not {rate}")
    return int(rate)


def parse_trigger(trigger):
    """Trigger steps from "0=f,1=1" or {0: "f", 1: "1"}: each channel high
    (1), low (0), rising (r) or falling (f). Returns (mask, value) pairs."""
    if isinstance(trigger, str):
        items = []
        for item in trigger.split(","):
            channel, _, level = item.partition("=")
            if not channel.strip().isdigit() or len(level) != 1:
                raise TqlaError(f"bad trigger {item!r} (write CHANNEL=0, 1, r or f)")
            items.append((int(channel), level))
    else:
        items = list(dict(trigger).items())
    level_mask = level_value = edge_mask = edge_before = 0
    for channel, level in items:
        if not 0 <= channel <= 15:
            raise TqlaError(f"trigger channel {channel} is not 0 to 15")
        bit = 1 << channel
        if (level_mask | edge_mask) & bit:
            raise TqlaError(f"channel {channel} appears twice")
        if level in ("0", 0):
            level_mask |= bit
        elif level in ("1", 1):
            level_mask |= bit
            level_value |= bit
        elif level == "r":
            edge_mask |= bit
        elif level == "f":
            edge_mask |= bit
            edge_before |= bit
        else:
            raise TqlaError(f"bad trigger level {level!r} (the pod triggers on 0, 1, r or f)")
    mask = level_mask | edge_mask
    if not edge_mask:
        return [(mask, level_value)]
    # An edge is the level before it in one word and the level after it in the next.
    return [(mask, level_value | edge_before), (mask, level_value | (edge_mask & ~edge_before))]


def wire_simulated(generating_id, capturing_id):
    """Wires the inputs of simulated pod capturing_id to the outputs of
    simulated pod generating_id (both attached by Pod(simulated=True)): what
    the first generates, the second captures, from a lead-in of the level
    before the run on. The generating pod then takes its pattern as fast as it
    comes."""
    lib = library()
    if generating_id not in _simulated or capturing_id not in _simulated:
        raise TqlaError("both pods must be simulated pods attached by Pod(simulated=True)")
    with call_lock:
        if lib.TqlaSimSetLoopback(_simulated[generating_id], _simulated[capturing_id]) != 1:
            raise TqlaError("cannot wire the simulated pods together: " + last_error())
        lib.TqlaSimSetRealTime(_simulated[generating_id], 0)


def _words(array):
    return array.ctypes.data_as(ctypes.POINTER(ctypes.c_uint32))


class Pod:
    """One pod, opened on entering and closed on leaving.

    pod_id: the pod's ID (the first pod found when None). simulated=True
    attaches a simulated pod with that ID (1 by default) playing traffic
    ("demo", "fieldbus", "streams" or "protocols") before opening it.
    """

    def __init__(self, pod_id=None, simulated=False, traffic="demo"):
        if traffic not in SIM_TRAFFIC:
            raise TqlaError(f"no simulated traffic named {traffic!r} ({', '.join(SIM_TRAFFIC)})")
        self._lib = library()
        self.pod_id = pod_id
        self._simulated = simulated
        self._traffic = traffic
        self._open = False

    # ---- lifetime ----
    def __enter__(self):
        self.open()
        return self

    def __exit__(self, *exc):
        self.close()

    def open(self):
        lib = self._lib
        with call_lock:
            if self._simulated:
                if self.pod_id is None:
                    self.pod_id = 1
                if self.pod_id not in _simulated:
                    handle = lib.TqlaSimAddPod(self.pod_id)
                    if not handle:
                        raise TqlaError(f"cannot attach a simulated pod with ID {self.pod_id}")
                    _simulated[self.pod_id] = handle
                lib.TqlaSimSetSource(_simulated[self.pod_id], SIM_TRAFFIC[self._traffic])
            if self.pod_id is None:
                found = self.list()
                if not found:
                    raise TqlaError("no pod found: attach one, or use Pod(simulated=True)")
                self.pod_id = found[0]
            self._reopen(extractor=False)

    def _reopen(self, extractor):
        lib = self._lib
        lib.ClosePod()
        self._open = False
        opened = lib.InitializeTQExtractor(self.pod_id, 0) if extractor else lib.InitializeTQPod(self.pod_id)
        if not opened:
            reason = last_error()
            raise TqlaError(f"cannot open pod {self.pod_id}" + (f": {reason}" if reason else ""))
        self._open = True

    def close(self):
        if self._open:
            with call_lock:
                self._lib.ClosePod()
            self._open = False

    @property
    def is_open(self):
        return self._open

    def _require_open(self):
        if not self._open:
            raise TqlaError("the pod is not open (use it in a with block, or call open())")

    @staticmethod
    def list():
        """IDs of the pods on the bus."""
        ids = (ctypes.c_uint32 * 512)()
        count = library().EnumerateTQPods(ids)
        return list(ids[:max(count, 0)])

    # ---- capture ----
    def capture(self, samples=1 << 20, rate="1M", trigger=None, post=None, digital=16, analog=2, timeout=10.0,
                analog_trigger=None):
        """Captures samples (rounded up to whole 65536s) at rate, triggered
        on trigger ("0=f,1=1", or None to start at once) and/or on a scope
        channel crossing a level (analog_trigger "ch1>128": CH1 rising
        through scope byte 128, "ch2<100": CH2 falling), keeping post
        samples after it (half by default); returns a Capture whose samples
        are the array the pod filled. TqlaError when no trigger came within
        timeout seconds or the run failed."""
        self._require_open()
        lib = self._lib
        rate_hz = parse_rate(rate)
        length = -(-int(samples) // _BLOCK) * _BLOCK
        if not 0 < length <= 0xFFFF0000:
            raise TqlaError("a capture holds 1 to 4294901760 samples")
        post = length // 2 if post is None else -(-int(post) // _BLOCK) * _BLOCK
        if not 0 <= post <= length:
            raise TqlaError(f"post={post} lies outside the {length} samples")
        mode = {16: 3, 8: 1, 0: 0}.get(digital)
        scope = {2: 12, 1: 4, 0: 0}.get(analog)
        if mode is None or scope is None or not mode | scope:
            raise TqlaError("digital takes 16, 8 or 0 channels, analog 2, 1 or 0, not both 0")
        steps = []
        for mask, value in parse_trigger(trigger) if trigger else []:
            steps += [mask, value]
        mode_trigger, channel, level = (1 if steps else 0), 1, 128
        if analog_trigger is not None:
            text = str(analog_trigger).lower()
            at = max(text.find(">"), text.find("<"))
            if text[:at] not in ("ch1", "ch2") or not text[at + 1:].isdigit() or int(text[at + 1:]) > 255:
                raise TqlaError(f"bad analog trigger {analog_trigger!r} (write ch1>LEVEL or ch2<LEVEL, LEVEL 0-255)")
            mode_trigger, channel, level = (1 if text[at] == ">" else 2), int(text[2]), int(text[at + 1:])
        step_words = (ctypes.c_uint32 * max(len(steps), 1))(*steps)
        ring = np.empty(length, dtype=np.uint32)
        with call_lock:
            if not lib.StartCapture(mode | scope, mode_trigger, channel, level, capture_module.rate_code(rate_hz), 0,
                                    step_words if steps else None, len(steps) // 2, _words(ring), length, post):
                raise TqlaError("the pod did not start the capture: " + (last_error() or "no reason given"))
            brk, running, triggered, percent = (ctypes.create_string_buffer(1) for _ in range(4))
            start, end, at = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
            began = time.monotonic()
            timed_out = False
            try:
                while True:
                    breaks = lib.CaptureStatus(brk, running, triggered, ctypes.byref(start), ctypes.byref(end),
                                               ctypes.byref(at), percent)
                    if breaks < 0 or running.raw == b"\0":
                        break
                    if triggered.raw == b"\0" and time.monotonic() - began > timeout:
                        timed_out = True
                        break
                    time.sleep(_POLL)
            finally:
                was_triggered = triggered.raw != b"\0"
                stopped = lib.StopCapture()
            breaks = lib.CaptureStatus(None, None, None, None, None, None, None)
            if breaks < 0:
                raise TqlaError("the capture failed: " + (last_error() or "the pod stopped delivering samples"))
            if not stopped:
                raise TqlaError("the capture did not stop in time")
            if timed_out:
                raise TqlaError(f"no trigger within {timeout} s")
            captured = min(lib.GetActualCaptureLength(), length)
            trigger_index = lib.TqlaTriggerIndex()
        kept = ring[:captured]  # a view: the pod's own array
        in_use = {2: 3, 1: 1, 0: 0}[analog]
        return capture_module.Capture(kept, rate_hz,
                                      trigger_index if mode_trigger and was_triggered and trigger_index < captured
                                      else None,
                                      in_use)

    # ---- stream ----
    def stream(self, rate="24M", samples=None, seconds=None, clock=1):
        """A Stream of digital channels 0-7, one byte a sample, in blocks of
        65536 bytes: iterate it for numpy arrays until samples or seconds
        (without either, until it is closed). Count its lost blocks in
        Stream.lost."""
        self._require_open()
        return Stream(self, parse_rate(rate), samples, seconds, clock)

    # ---- generate ----
    def generate(self, pattern, rate="1M", loop=False, width=16, seconds=None):
        """Plays pattern (uint32 words; 16 or 8 lines wide) at rate: once
        (returns when it has been played), or looped for seconds. Returns the
        generator's underrun count."""
        self._require_open()
        lib = self._lib
        rate_hz = parse_rate(rate)
        if width not in (8, 16):
            raise TqlaError("width takes 16 or 8")
        words = np.ascontiguousarray(pattern, dtype=np.uint32)
        if not len(words):
            raise TqlaError("an empty pattern")
        if loop and seconds is None:
            raise TqlaError("a looping pattern needs seconds=")
        with call_lock:
            if not lib.StartLoopGenerate(width, capture_module.rate_code(rate_hz), 0, _words(words), len(words),
                                         1 if loop else 0):
                raise TqlaError("the pod did not start the pattern: " + (last_error() or "no reason given"))
            running = ctypes.create_string_buffer(1)
            began = time.monotonic()
            underruns = 0
            try:
                while True:
                    status = lib.GenerateStatus(None, running, None, None)
                    underruns = status & 0xFF
                    if running.raw == b"\0":
                        break
                    if seconds is not None and time.monotonic() - began >= seconds:
                        break
                    time.sleep(_POLL)
            finally:
                if not lib.StopGenerate():
                    raise TqlaError("the run did not stop: " + last_error())
        return underruns


class Stream:
    """Blocks of a streaming capture; a context manager and an iterator."""

    def __init__(self, pod, rate_hz, samples, seconds, clock):
        self._pod = pod
        self._lib = pod._lib
        self.rate_hz = rate_hz
        self._limit = samples if samples is not None else (
            int(seconds * rate_hz) if seconds is not None else None)
        self.received = 0
        self.lost = 0
        self._running = False
        self._block = np.empty(_BLOCK, dtype=np.uint8)
        with call_lock:
            pod._reopen(extractor=True)
            if not self._lib.StartStreamingCapture(capture_module.rate_code(rate_hz), clock, None, 0, None, 0, 0):
                raise TqlaError("the pod did not start the stream: " + (last_error() or "no reason given"))
        self._running = True

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __iter__(self):
        return self

    def __next__(self):
        if not self._running:
            raise StopIteration
        lib = self._lib
        pointer = self._block.ctypes.data_as(ctypes.POINTER(ctypes.c_uint8))
        waited = time.monotonic()
        while self._limit is None or self.received < self._limit:
            if lib.GetNextStreamBuffer(pointer):
                if lib.StreamBufferOverflow() != b"\0":
                    self.lost += 1
                take = _BLOCK if self._limit is None else min(_BLOCK, self._limit - self.received)
                self.received += take
                return self._block[:take].copy()
            # The pod that stops answering ends the stream; a quiet one is asked.
            if time.monotonic() - waited > 2.0:
                running = ctypes.create_string_buffer(1)
                lib.CaptureStatus(None, running, None, None, None, None, None)
                if running.raw == b"\0":
                    self.close()
                    raise TqlaError("the pod stopped answering and the stream ended: " + last_error())
                waited = time.monotonic()
            time.sleep(0.001)
        self.close()
        raise StopIteration

    def close(self):
        if self._running:
            self._running = False
            with call_lock:
                self._lib.StopStream()
                if self._lib.StreamBufferOverflow() != b"\0":
                    self.lost += 1
                self._pod._reopen(extractor=False)
