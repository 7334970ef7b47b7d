"""tqla: the USB logic analyzer and scope pod from Python, over libtqla.so.

    import tqla
    with tqla.Pod(simulated=True) as pod:
        capture = pod.capture(samples=262144, rate="1M", trigger="0=f,1=1")
    for record in tqla.decode(capture, "i2c", scl=0, sda=1):
        print(record.time, record.values, record.markers)

Errors raise tqla.TqlaError with the library's own text.
"""

from ._library import TqlaError, library
from .capture import CH1, CH2, RATES_HZ, VOLTS_PER_STEP, Capture, load
from .decode import BUSES, Record, decode, packets
from .pod import SIM_TRAFFIC, Pod, Stream, wire_simulated

__all__ = ["TqlaError", "library", "Capture", "load", "CH1", "CH2", "RATES_HZ", "VOLTS_PER_STEP", "Record",
           "decode", "packets", "BUSES", "Pod", "Stream", "SIM_TRAFFIC",
           "wire_simulated"]
__version__ = "0.1.0"
