"""The shared library, loaded with ctypes, and the prototypes this package calls.

Where libtqla.so is looked for, in order: the file named by $TQLA_LIBRARY;
beside this package (an install that ships it there); the build folders of a
source tree this package lies in (``build/libtqla.so`` and the like, so that
``PYTHONPATH=python`` works from a checkout after ``make``); then the system's
library path (``libtqla.so.0`` after ``make install``).
"""

import ctypes
import ctypes.util
import os
import pathlib
import threading

__all__ = ["TqlaError", "library", "last_error", "call_lock"]


class TqlaError(Exception):
    """A failure of the library or of this package; the message is the
    library's own text where it gave one."""


# The library keeps its state per process and wants one host thread at a time.
call_lock = threading.RLock()

_u8, _u16, _u32, _i32 = ctypes.c_uint8, ctypes.c_uint16, ctypes.c_uint32, ctypes.c_int32
_p8, _p32 = ctypes.POINTER(ctypes.c_uint8), ctypes.POINTER(ctypes.c_uint32)
_char_p = ctypes.c_char_p
_ip32 = ctypes.POINTER(ctypes.c_int32)

RecordSink = ctypes.CFUNCTYPE(None, _u32, _u32, ctypes.c_char_p, ctypes.c_void_p)
EventSink = ctypes.CFUNCTYPE(None, _u32, _i32, _u32, _i32, _i32, ctypes.c_void_p)
TextSink = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)

_PROTOTYPES = {
    "TqlaLastError": (_char_p, []),
    "TqlaUseBuffer": (_i32, [_p32, _u32]),
    "TqlaCurrentBuffer": (ctypes.c_void_p, [_p32]),
    "TqlaTriggerIndex": (_u32, []),
    "TqlaSetTriggerIndex": (None, [_u32]),
    "TqlaSetConsoleSink": (None, [TextSink, ctypes.c_void_p]),
    "TqlaSetRecordSink": (None, [RecordSink, ctypes.c_void_p]),
    "TqlaSetEventSink": (None, [EventSink, ctypes.c_void_p]),
    "TqlaSimAddPod": (_i32, [_u32]),
    "TqlaSimSetSource": (_i32, [_i32, _i32]),
    "TqlaSimReset": (None, []),
    "TqlaSimSetLoopback": (_i32, [_i32, _i32]),
    "TqlaSimSetRealTime": (_i32, [_i32, _i32]),
    "EnumerateTQPods": (_i32, [_p32]),
    "InitializeTQPod": (_i32, [_u32]),
    "InitializeTQExtractor": (_i32, [_u32, _u32]),
    "ClosePod": (_i32, []),
    "StartCapture": (_i32, [_u32, _u32, _u32, _u32, _u32, _u32, _p32, _i32, _p32, _u32, _u32]),
    "CaptureStatus": (_i32, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, _ip32, _ip32, _ip32,
                             ctypes.c_char_p]),
    "StopCapture": (_i32, []),
    "GetActualCaptureLength": (_i32, []),
    "StartStreamingCapture": (_i32, [_u32, _u32, _p8, _i32, _p8, _u32, _u32]),
    "GetNextStreamBuffer": (_u8, [_p8]),
    "StreamBufferOverflow": (ctypes.c_char, []),
    "StopStream": (_i32, []),
    "StartLoopGenerate": (_i32, [_u32, _u32, _u8, _p32, _u32, _u8]),
    "GenerateStatus": (_i32, [ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "StopGenerate": (_i32, []),
    "DecodeSetName": (_i32, [ctypes.c_char_p]),
    "StartTimestamp": (_i32, [ctypes.c_char]),
    "DecodeI2C": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _u32, _i32, _i32, _i32, _i32,
                         ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeASYNC": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _u32, _u32, _u32, _u32, _u32, _u32,
                           _i32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeSPIVariable": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _u32, _u32, _u32, _u32, _u32,
                                 _u32, _u32, _u32, _i32, _i32, ctypes.c_char_p, ctypes.c_char_p,
                                 ctypes.c_char_p]),
    "DecodeCAN": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _u32, _u32, _u32, _u32, _u32, _i32, _i32, _i32,
                         ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeUSB": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _i32, _i32, _i32, _i32, _i32, _i32, _i32,
                         _i32, _i32, _i32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodePS2": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _u32, _u32, ctypes.c_char_p,
                         ctypes.c_char_p, ctypes.c_char_p]),
    "Decode1Wire": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _i32, _i32, _i32, ctypes.c_char_p,
                           ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeI2S": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _u32, _u32, _i32, _u32, _u32, _u32, _u32, _u32,
                         _u32, _u32, _u32, _u32, _u32, _i32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeSerial": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _u32, _u32, _u32, _u32, _u32, _u32, _u32, _u32,
                            _u32, _u32, _u32, _u32, _i32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
    "DecodeParallel": (_i32, [_p32, ctypes.c_char_p, _i32, _i32, _i32, _u32, _u32, _u32, _i32, _u32, _u32, _i32,
                              ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p]),
}


def _candidates():
    named = os.environ.get("TQLA_LIBRARY")
    if named:
        yield pathlib.Path(named)
        return
    here = pathlib.Path(__file__).resolve().parent
    yield here / "libtqla.so"
    for folder in [here.parent, *here.parent.parents][:4]:
        for build in sorted(folder.glob("build*/libtqla.so")):
            yield build
    found = ctypes.util.find_library("tqla")
    if found:
        yield pathlib.Path(found)
    yield pathlib.Path("libtqla.so.0")


_library = None


def library():
    """The loaded library, its prototypes set; TqlaError when none is found."""
    global _library
    if _library is not None:
        return _library
    tried = []
    for path in _candidates():
        if path.is_absolute() and not path.exists():
            tried.append(str(path))
            continue
        try:
            lib = ctypes.CDLL(str(path))
        except OSError as error:
            tried.append(f"{path} ({error})")
            continue
        for name, (result, arguments) in _PROTOTYPES.items():
            function = getattr(lib, name)
            function.restype = result
            function.argtypes = arguments
        _library = lib
        return lib
    raise TqlaError("libtqla.so not found (set TQLA_LIBRARY to its path); tried: " + ", ".join(tried))


def last_error():
    """The library's text for its last failure, or an empty string."""
    text = library().TqlaLastError()
    return text.decode("utf-8", "replace") if text else ""
