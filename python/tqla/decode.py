"""Bus decoding and the packet engine over a Capture, through the library's
decoders: records as Python objects, built from the record lines the library
hands out (with their first and last sample) and the values and bus events
it recognises on the way.

The library reads the capture's samples where they lie (no copy). Decoding
takes the library's process-wide state for the time of the call: one decode
at a time per process.
"""

import bisect
import ctypes
import dataclasses
import os
import tempfile

from . import capture as capture_module
from ._library import EventSink, RecordSink, TextSink, TqlaError, call_lock, last_error, library

__all__ = ["Record", "decode", "packets", "BUSES"]

# The control events' names by bus (a value of a control event).
_MARKERS = {
    "i2c": {1: "START", 2: "STOP", 4: "ACK", 8: "NACK"},
    "spi": {1: "CS", 2: "/CS"},
    "async": {1: "PARITY ERROR"},
}
# As tqla decode names them: "serial" is the synchronous serial link.
_ALIASES = {"uart": "async", "rs232": "async", "onewire": "1wire", "1-wire": "1wire", "ps/2": "ps2",
            "sync": "serial", "synchronous": "serial", "parallel-bus": "parallel"}
BUSES = ("i2c", "spi", "async (uart)", "can", "usb", "ps2", "1wire", "i2s", "serial", "parallel")
_END_OF_DATA = 127


@dataclasses.dataclass
class Record:
    """One record line: where it lies, what it says, and what it is made of."""

    first: int  # sample of the line's first event
    last: int  # sample of its last event
    time: float  # seconds of first from sample 0 of the capture
    name: str  # the decoder name written in the line
    text: str  # the line after its timestamp and name
    line: str  # the whole line, as tqla decode prints it
    values: list = dataclasses.field(default_factory=list)  # the decoded words, in order
    markers: list = dataclasses.field(default_factory=list)  # (sample, name) of the bus events
    channels: list = dataclasses.field(default_factory=list)  # the line each value came on (SPI: 1 MISO, 2 MOSI)


def _channel(settings, name, default):
    value = settings.pop(name, default)
    if not isinstance(value, int) or not 0 <= value <= 15:
        raise TqlaError(f"{name}={value!r} is not a channel 0 to 15")
    return value


def _number(settings, name, default, low, high):
    value = settings.pop(name, default)
    if not isinstance(value, int) or not low <= value <= high:
        raise TqlaError(f"{name}={value!r} is not a whole number from {low} to {high}")
    return value


def _edge(settings, default):
    edge = settings.pop("edge", default)
    if edge not in ("falling", "rising"):
        raise TqlaError(f"edge={edge!r} is not rising or falling")
    return 1 if edge == "rising" else 0


def _mask(settings, name, default):
    channels = settings.pop(name, default)
    if isinstance(channels, int):
        channels = [channels]
    mask = 0
    for c in channels:
        if not isinstance(c, int) or not 0 <= c <= 15:
            raise TqlaError(f"channel {c!r} is not 0 to 15")
        mask |= 1 << c
    return mask


def _call(lib, bus, words, count, record, start, stop, rate, settings, protocol, packet_file, error):
    """The library's decoder call for bus with settings (a dict it empties)."""
    hexadecimal = settings.pop("format", "hex") == "hex"
    comma, msb = 1, 0 if settings.pop("lsb_first", False) else 1
    if bus == "i2c":
        scl, sda = _channel(settings, "scl", 0), _channel(settings, "sda", 1)
        return lib.DecodeI2C(words, record, start, stop, rate, sda, scl, 1, 1, 1, int(hexadecimal), protocol,
                             packet_file, error)
    if bus == "async":
        rx = settings.pop("rx", None)
        mask = _mask(settings, "channels", [6] if rx is None else [rx])
        parity = ["none", "mark", "space", "even", "odd"]
        parity_name = settings.pop("parity", "none")
        if parity_name not in parity:
            raise TqlaError(f"parity={parity_name!r} is not one of {', '.join(parity)}")
        baud = _number(settings, "baud", 115200, 1, 0xFFFFFFFF)
        bits = _number(settings, "data_bits", 8, 1, 18)
        per_line = _number(settings, "per_line", 16, 0, 0x7FFFFFFF)
        return lib.DecodeASYNC(words, record, start, stop, rate, mask, baud, parity.index(parity_name), bits, 1,
                               int(hexadecimal), 0, per_line, protocol, packet_file, error)
    if bus == "spi":
        mode = _number(settings, "mode", 0, 0, 3)
        rising = 1 if mode in (0, 3) else 0
        cs, sck = _channel(settings, "cs", 5), _channel(settings, "sck", 2)
        mosi, miso = _channel(settings, "mosi", 3), _channel(settings, "miso", 4)
        bits = _number(settings, "bits", 8, 1, 32)
        words_per_line = _number(settings, "words", 8, 0, 0x7FFFFFFF)
        use_cs = 0 if settings.pop("no_cs", False) else 1
        return lib.DecodeSPIVariable(words, record, start, stop, rate, cs, sck, mosi, miso, rising, rising, 1,
                                     1 if hexadecimal else 0, use_cs, words_per_line, bits, protocol, packet_file,
                                     error)
    if bus == "can":
        line = _channel(settings, "rx", _channel(settings, "can", 0))
        bit_rate = _number(settings, "bit_rate", 500000, 1, 0xFFFFFFFF)
        lowest = _number(settings, "id_min", 0, 0, 0x1FFFFFFF)
        highest = _number(settings, "id_max", 0x1FFFFFFF, 0, 0x1FFFFFFF)
        return lib.DecodeCAN(words, record, start, stop, rate, line, bit_rate, highest, lowest, 0, 1, 0, protocol,
                             packet_file, error)
    if bus == "usb":
        every = 999
        endpoint = settings.pop("endpoint", None)
        address = settings.pop("address", None)
        endpoint = every if endpoint is None else _number({"endpoint": endpoint}, "endpoint", 0, 0, 15)
        address = every if address is None else _number({"address": address}, "address", 0, 0, 127)
        dplus, dminus = _channel(settings, "dplus", 1), _channel(settings, "dminus", 2)
        full = int(bool(settings.pop("full_speed", False)))
        sof = int(bool(settings.pop("sof", False)))
        text = 0 if settings.pop("payload_only", False) else 1
        return lib.DecodeUSB(words, record, start, stop, count, endpoint, address, dplus, dminus, full, rate, sof,
                             comma, text, int(hexadecimal), protocol, packet_file, error)
    if bus == "ps2":
        data, clock = _channel(settings, "data", 3), _channel(settings, "clock", 4)
        return lib.DecodePS2(words, record, start, stop, rate, data, clock, int(bool(settings.pop("msb_first", False))),
                             protocol, packet_file, error)
    if bus == "1wire":
        line = _channel(settings, "line", 0)
        labels = 0 if settings.pop("no_labels", False) else 1
        return lib.Decode1Wire(words, record, start, stop, rate, line, comma, labels, int(hexadecimal), protocol,
                               packet_file, error)
    if bus == "i2s":
        data, ws, clock = _channel(settings, "data", 3), _channel(settings, "ws", 2), _channel(settings, "clock", 1)
        delay = _number(settings, "delay", 1, 1, 1024)
        ws_high = int(bool(settings.pop("ws_high", False)))
        bits = _number(settings, "bits", 16, 1, 32)
        per_line = _number(settings, "per_line", 2, 0, 0x7FFFFFFF)
        return lib.DecodeI2S(words, record, start, stop, rate, data, delay, 0, ws_high, ws, 0, clock,
                             _edge(settings, "rising"), bits, msb, comma, int(hexadecimal), per_line, protocol,
                             packet_file, error)
    if bus == "serial":
        if not hexadecimal:
            raise TqlaError("serial writes hex values only")
        data, frame, clock = _channel(settings, "data", 5), _channel(settings, "frame", 6), _channel(settings, "clock", 4)
        sync = settings.pop("sync", None)
        if sync is not None and (not isinstance(sync, int) or not 0 <= sync <= 0xFFFFFFFF):
            raise TqlaError(f"sync={sync!r} is not a pattern of at most 32 bits")
        frame_rising = int(bool(settings.pop("frame_rising", False)))
        bits = _number(settings, "bits", 9, 1, 32)
        per_line = _number(settings, "per_line", 4, 0, 0x7FFFFFFF)
        return lib.DecodeSerial(words, record, start, stop, rate, data, sync or 0, frame_rising, frame,
                                0 if sync is not None else 1, clock, _edge(settings, "rising"), bits, msb, comma, 0,
                                per_line, protocol, packet_file, error)
    if bus == "parallel":
        mask = _mask(settings, "channels", list(range(8, 16)))
        clock = _channel(settings, "clock", 7)
        use_clock = 0 if settings.pop("no_clock", False) else 1
        per_line = _number(settings, "per_line", 16, 0, 0x7FFFFFFF)
        return lib.DecodeParallel(words, record, start, stop, rate, mask, clock, use_clock,
                                  _edge(settings, "falling"), comma, int(hexadecimal), per_line, protocol,
                                  packet_file, error)
    raise TqlaError(f"unknown bus {bus!r} (this package decodes {', '.join(BUSES)})")


def _run(capture, bus, settings, protocol=None, start=0, stop=None, name=""):
    if not isinstance(capture, capture_module.Capture):
        raise TqlaError("decode takes a tqla.Capture")
    samples = capture.samples  # TqlaError for a closed capture
    bus = _ALIASES.get(bus.lower(), bus.lower())
    rate = capture_module.rate_code(capture.rate_hz)
    if not rate:
        raise TqlaError(f"the capture is sampled at {capture.rate_hz} Hz; the decoders take 1, 2, 3, 4, 6, 8, 12, "
                        "16 or 24 MHz (nothing is resampled)")
    stop = len(samples) if stop is None else stop
    if not 0 <= start <= stop <= len(samples):
        raise TqlaError(f"samples {start} to {stop} lie outside the capture's {len(samples)}")
    lib = library()
    lines, events = [], []

    @RecordSink
    def take_line(first, last, line, _user):
        lines.append((first, last, line.decode("latin-1")))

    @EventSink
    def take_event(sample, kind, value, bits, channel, _user):
        if kind == 0 or value != _END_OF_DATA:
            events.append((sample, kind, value, bits, channel))

    @TextSink
    def quiet(_text, _user):
        pass

    folder = tempfile.mkdtemp(prefix="tqla-decode-")
    record_path = os.path.join(folder, "records.txt").encode()
    packet_path = os.path.join(folder, "packets.txt")
    error = ctypes.create_string_buffer(256)
    words = samples.ctypes.data_as(ctypes.POINTER(ctypes.c_uint32))
    try:
        with call_lock:
            previous_length = ctypes.c_uint32()
            previous = lib.TqlaCurrentBuffer(ctypes.byref(previous_length))
            lib.TqlaUseBuffer(words, len(samples))
            lib.DecodeSetName(name.encode())
            lib.StartTimestamp(b"\0")
            lib.TqlaSetTriggerIndex(0)
            lib.TqlaSetRecordSink(take_line, None)
            lib.TqlaSetEventSink(take_event, None)
            lib.TqlaSetConsoleSink(quiet, None)
            try:
                result = _call(lib, bus, words, len(samples), ctypes.create_string_buffer(record_path), start, stop,
                               rate,
                               dict(settings), None if protocol is None else os.fsencode(protocol),
                               None if protocol is None else packet_path.encode(), error)
                reason = error.value.decode("latin-1") or last_error()
            finally:
                lib.TqlaSetRecordSink(RecordSink(), None)
                lib.TqlaSetEventSink(EventSink(), None)
                lib.TqlaSetConsoleSink(TextSink(), None)
                lib.TqlaUseBuffer(ctypes.cast(previous, ctypes.POINTER(ctypes.c_uint32)),
                                  previous_length.value if previous else 0)
        if not result:
            raise TqlaError(reason or f"the {bus} decoder failed")
        packet_lines = []
        if protocol is not None and os.path.exists(packet_path):
            with open(packet_path, "rb") as file:
                packet_lines = [line.decode("latin-1") for line in file.read().split(b"\r\n") if line]
        return bus, lines, events, packet_lines
    finally:
        for leftover in os.listdir(folder):
            os.remove(os.path.join(folder, leftover))
        os.rmdir(folder)


def _unknown_settings(settings, bus):
    known = {"i2c": {"scl", "sda", "format"},
             "async": {"rx", "channels", "baud", "parity", "data_bits", "per_line", "format"},
             "spi": {"mode", "cs", "sck", "mosi", "miso", "bits", "words", "no_cs", "format"},
             "can": {"rx", "can", "bit_rate", "id_min", "id_max", "format"},
             "usb": {"endpoint", "address", "dplus", "dminus", "full_speed", "sof", "payload_only", "format"},
             "ps2": {"data", "clock", "msb_first"},
             "1wire": {"line", "no_labels", "format"},
             "i2s": {"data", "ws", "clock", "delay", "ws_high", "edge", "bits", "lsb_first", "per_line", "format"},
             "serial": {"data", "frame", "clock", "sync", "frame_rising", "edge", "bits", "lsb_first", "per_line",
                        "format"},
             "parallel": {"channels", "clock", "no_clock", "edge", "per_line", "format"}}
    bus = _ALIASES.get(bus.lower(), bus.lower())
    if bus not in known:
        raise TqlaError(f"unknown bus {bus!r} (this package decodes {', '.join(BUSES)})")
    extra = set(settings) - known[bus]
    if extra:
        raise TqlaError(f"{bus} has no setting {', '.join(sorted(extra))} "
                        f"(it takes {', '.join(sorted(known[bus]))})")
    if settings.get("format", "hex") not in ("hex", "dec"):
        raise TqlaError(f"format={settings['format']!r} is not hex or dec")


def decode(capture, bus, start=0, stop=None, name="", **settings):
    """Decodes samples [start, stop) of capture on bus (one of BUSES, named
    as tqla decode names them: "uart" is "async", "serial" the synchronous
    serial link) and returns its records.

    Settings by bus (defaults as tqla decode's):
      i2c scl=0, sda=1; async/uart rx=6 (or channels=[..]), baud=115200,
      parity="none", data_bits=8, per_line=16; spi cs=5, sck=2, mosi=3,
      miso=4, mode=0, bits=8, words=8, no_cs=False; can rx=0,
      bit_rate=500000, id_min, id_max; usb dplus=1, dminus=2, full_speed,
      endpoint, address (None: all), sof, payload_only; ps2 data=3, clock=4,
      msb_first; 1wire line=0, no_labels; i2s data=3, ws=2, clock=1,
      delay=1, ws_high, edge="rising", bits=16, lsb_first, per_line=2;
      serial data=5, frame=6, clock=4, sync (a pattern, else frame mode),
      frame_rising, edge="rising", bits=9, lsb_first, per_line=4; parallel
      channels=[8..15], clock=7, no_clock, edge="falling", per_line=16;
      format="hex" or "dec" where the bus writes both.
    """
    _unknown_settings(settings, bus)
    bus, lines, events, _ = _run(capture, bus, settings, start=start, stop=stop, name=name)
    markers = _MARKERS.get(bus, {})
    # An event belongs to the line that begins at or before its sample and
    # before the next line begins (a serial character's start bit is the
    # sample of the line it opens), and not past that line's last sample.
    firsts = [first for first, _, _ in lines]
    owned = [[] for _ in lines]
    for event in events:
        index = bisect.bisect_right(firsts, event[0]) - 1
        if index >= 0 and event[0] <= max(lines[index][1], lines[index][0]):
            owned[index].append(event)
    records = []
    for (first, last, line), events in zip(lines, owned):
        time_end = line.find(",")
        name_end = line.find(",", time_end + 1) if line[:time_end].strip().endswith(("s", "s ")) else -1
        if time_end >= 0 and name_end >= 0:
            text, line_name = line[name_end + 1:].strip(), line[time_end + 1:name_end].strip()
        else:
            text, line_name = line.strip(), name
        record = Record(first, last, first / capture.rate_hz, line_name, text, line)
        for sample, kind, value, _bits, channel in events:
            if kind == 0:
                record.values.append(value)
                record.channels.append(channel)
            elif value in markers:
                record.markers.append((sample, markers[value]))
        records.append(record)
    return records


def packets(capture, protocol_file, bus="i2c", start=0, stop=None, **settings):
    """Decodes capture on bus with its settings and cuts the decoded stream
    into packets with a protocol definition file; returns the packet record
    lines the packet engine writes, in order."""
    if not os.path.isfile(protocol_file):
        raise TqlaError(f"{protocol_file}: no such protocol definition file")
    _unknown_settings(settings, bus)
    return _run(capture, bus, settings, protocol=protocol_file, start=start, stop=stop)[3]
