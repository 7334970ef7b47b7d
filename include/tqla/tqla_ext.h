/*
 * tqla extensions: what this library offers beyond the host API of tqla.h.
 */
#ifndef TQLA_TQLA_EXT_H
#define TQLA_TQLA_EXT_H

#include "tqla/tqla.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Trace ---- */

/* Receives one formatted trace line (no trailing newline). Called from the
 * host thread and from the library's transfer threads, so it must be safe to
 * call from several threads. */
typedef void (*TqlaTraceSink)(const char* line, void* user);

/* Routes the library's trace lines to sink; null (the default) turns the
 * trace off, and then nothing is formatted. Set it before starting a run. */
TQLA_EXPORT void TQLA_API TqlaSetTraceSink(TqlaTraceSink sink, void* user);

/* ---- Last error ---- */

/* Why the calling thread's last export call failed: the reason as the trace
 * line gives it (e.g. "Capture length 262144 is past the end of the buffer
 * (65536 words)"), or "" when it succeeded. Cleared as each export starts; the
 * text stays valid until the thread's next export call. */
TQLA_EXPORT const char* TQLA_API TqlaLastError(void);

/* ---- Sample buffer, trigger and console ---- */

/* Makes the host's own array of length words the current sample buffer, all
 * of it counted as captured (as a capture into it would leave it), so that
 * files, exports, scaling and decoders work on it. The array must stay
 * allocated while it is current. 1, or 0 for null with a length. */
TQLA_EXPORT int32_t TQLA_API TqlaUseBuffer(uint32_t* words, uint32_t length);
/* Sets BufferLength alone, as the file readers do from a file: the buffer's
 * storage stays what it was, and no operation reads or writes past it. The
 * configuration capture files store BufferLength bytes of samples, so a host
 * that saves n words sets n x 4 here first. Returns 1. */
TQLA_EXPORT int32_t TQLA_API TqlaSetBufferLength(uint32_t length);
/* The current sample buffer (null when none) and, when length is not null,
 * its length (BufferLength). */
TQLA_EXPORT uint32_t* TQLA_API TqlaCurrentBuffer(uint32_t* length);
/* The index of the trigger sample in the current buffer, from which the
 * decoders' absolute timestamps count; a capture sets it when it stops. */
TQLA_EXPORT uint32_t TQLA_API TqlaTriggerIndex(void);
/* Sets it, e.g. for a buffer read from a file whose trigger the host knows. */
TQLA_EXPORT void TQLA_API TqlaSetTriggerIndex(uint32_t index);
/* Routes the console text of the decoders and the packet engine (messages
 * the library would print on standard output) to sink, one message per call;
 * null restores standard output. */
TQLA_EXPORT void TQLA_API TqlaSetConsoleSink(TqlaTraceSink sink, void* user);
/* The result of the most recent control transfer of the firmware, EEPROM and
 * vendor-request operations: 1 when it succeeded, else 0. */
TQLA_EXPORT int32_t TQLA_API TqlaLastTransferResult(void);
/* 1 when device sits on a high-speed port, 0 on a full-speed one, -1 for a
 * null or closed device. */
TQLA_EXPORT int32_t TQLA_API TqlaDeviceHighSpeed(CCyUSBDevice* device);

/* ---- Decoded records ---- */

/* One record line of a decoder run, as it is written to the record file
 * (without its line end): firstSample is the sample its header's timestamp
 * names, lastSample the last sample a value or bus event of the line was
 * taken at (firstSample when there was none). */
typedef void (*TqlaRecordSink)(uint32_t firstSample, uint32_t lastSample, const char* line, void* user);

/* Decoders also hand every record line to sink (null: none), on the caller's
 * thread, as they write it; empty lines are not handed on. DecodeSPI and
 * USBDecode, which keep RecordOffset out of their files, hand on nothing. */
TQLA_EXPORT void TQLA_API TqlaSetRecordSink(TqlaRecordSink sink, void* user);

/* ---- Protocol definition files ---- */

/* Parses protocolFile and writes a description of the model it gives
 * (protocols, packet boundaries, lengths, decode steps, lookup tables and
 * fields, one item per line) into text: at most size - 1 characters and a
 * NUL. Returns the description's full length (size 0 asks for it), or -1 with
 * the parser's message in errorText (256 bytes) when the file does not parse.
 * Uses the packet engine's model: not while a decoder runs with one. */
TQLA_EXPORT int32_t TQLA_API TqlaDescribeProtocols(const char* protocolFile, char* text, uint32_t size,
    char* errorText);

/* ---- Packet engine add-in ---- */

/* The ADDIN decode step of a protocol definition file feeds each bit of a
 * packet to the function
 *     uint32_t APIDecode(char* protocolName, char bit, char* outputBits, char first)
 * of an add-in decoding library: with the protocol's name, the bit (0 or 1)
 * and a flag for the packet's first bit; it writes its output bits, one per
 * byte (nonzero = 1), into outputBits (256 bytes) and returns their count.
 * This loads that library from path; null or "" unloads it. Returns 1 when
 * the library and its APIDecode were found (or on unloading), else 0 and no
 * add-in is loaded. Without an add-in, ADDIN passes bits through unchanged. */
TQLA_EXPORT int32_t TQLA_API TqlaSetAddinLibrary(const char* path);

/* ---- Packet lists ---- */

/* LookupLabel and LookupValue for a buffer of any size: copies at most
 * size - 1 characters of the text and a NUL into text (nothing when text is
 * null or size 0). Returns the text's whole length in characters, so that a
 * call with size 0 tells the size needed (the length + 1), or -1 when the
 * pair has no such text (text is then unchanged). */
TQLA_EXPORT int32_t TQLA_API TqlaLookupLabelSized(char slot, char* text, uint32_t size, int32_t packetIndex,
    int32_t pairIndex);
TQLA_EXPORT int32_t TQLA_API TqlaLookupValueSized(char slot, char* text, uint32_t size, int32_t packetIndex,
    int32_t pairIndex);

/* ---- Simulated pod ----
 * A simulated pod behaves as a real one on the USB: two FX2 controllers
 * (Digital first) with PodVendorId/PodProductId and the pod ID in bcdDevice,
 * listed after any real device. Pods are named by the handle TqlaSimAddPod
 * returns. Settings take effect at the pod's next GO command. */

/* Which FX2 of a simulated pod. */
#define TQLA_SIM_DIGITAL 0
#define TQLA_SIM_ANALOG 1

/* Built-in signal sources: a 16-bit counter with ramps on CH1 and CH2; a sine
 * on CH1 and a cosine on CH2; demonstration bus traffic (I2C on channels 0-1,
 * SPI on 2-5, serial on 6, a slow counter on 8-15) with the sine and cosine;
 * fieldbus traffic, timed for a capture at 12 MHz and repeating every 262144
 * samples, with the sine and cosine: CAN at 500 kbit/s on channel 0 (an error
 * frame among the data and remote frames), low-speed USB with D+ on channel 1
 * and D- on channel 2 (a keyboard's enumeration and key reports, keep-alives),
 * a PS/2 keyboard with data on channel 3 and clock on channel 4 (key codes, a
 * host command and its acknowledge);
 * more demonstration traffic with the sine and cosine, timed for a capture at
 * 1 MHz: 1-Wire on channel 0; I2S with clock 1, word select 2 and data 3
 * (16-bit stereo, standard delay of one clock); a synchronous serial link with
 * clock 4 (rising), data 5 and chip select 6 (active low), frames of four
 * 9-bit words MSB first; a parallel byte on 8-15 with a strobe on 7 that
 * falls while the data is valid;
 * the traffic of the shipped protocol definitions with the sine and cosine,
 * timed for a capture at 24 MHz and repeating every 1048576 samples: SMBus/
 * PMBus at 100 kHz with SCL on channel 0 and SDA on 1 (a power supply at
 * address 0x40), an SPI NOR flash at 1 MHz in mode 0 with clock 2, MOSI 3,
 * MISO 4 and chip select 5, Modbus RTU at 115200 baud 8E1 on 6 (servers 17
 * and 1, an energy meter), NMEA 0183 at 115200 baud 8N1 on 7 and CANopen at
 * 500 kbit/s on 8. */
#define TQLA_SIM_SOURCE_COUNTER 1
#define TQLA_SIM_SOURCE_SINE 2
#define TQLA_SIM_SOURCE_DEMO 3
#define TQLA_SIM_SOURCE_FIELDBUS 4
#define TQLA_SIM_SOURCE_STREAMS 5
#define TQLA_SIM_SOURCE_PROTOCOLS 6

/* Faults (TqlaSimInjectFault), with the meaning of their arguments a and b. */
#define TQLA_SIM_FAULT_NONE 0           /* clears every fault below but an unplug */
#define TQLA_SIM_FAULT_NO_READY_BYTE 1  /* the status byte never reads 0x55 */
#define TQLA_SIM_FAULT_CONTROL_FAIL 2   /* after a control transfers succeed, the next b fail (b 0: one) */
#define TQLA_SIM_FAULT_STALL 3          /* endpoint address b of FX2 a halts until ResetEndpoint */
#define TQLA_SIM_FAULT_BANDWIDTH 4      /* each FX2 delivers at most a bytes per second (0: no limit) */
#define TQLA_SIM_FAULT_UNPLUG 5         /* the pod leaves the bus; its transfers fail */
#define TQLA_SIM_FAULT_FULL_SPEED 6     /* the pod sits on a full-speed port (64-byte packets) */
#define TQLA_SIM_FAULT_SHORT_TRANSFER 7 /* FX2 a ends its next sample transfer after b bytes (1-65535) */

/* Removes every simulated device. */
TQLA_EXPORT void TQLA_API TqlaSimReset(void);
/* Adds a pod with pod ID id at the end of the bus; its handle (1, 2, ...) or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimAddPod(uint32_t id);
/* Adds a device that runs no program at enumeration position (negative: at the end); 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimAddDevice(uint16_t vendorId, uint16_t productId, uint16_t release,
    int32_t position);
/* Plays count sample words (digital bits 0-15, CH1 bits 16-23, CH2 bits 24-31),
 * repeating them when loop is nonzero, else holding the last; the words are copied. 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetSamples(int32_t pod, const uint32_t* words, uint32_t count,
    int32_t loop);
/* Plays a built-in source (TQLA_SIM_SOURCE_*); 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetSource(int32_t pod, int32_t source);
/* Nonzero: samples flow at the true rate (the default); 0: as fast as the host reads. 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetRealTime(int32_t pod, int32_t realTime);
/* Wires the digital inputs of pod toPod to the output lines of pod fromPod (the
 * same pod or another; fromPod 0 unwires them). The library drives one pod at a
 * time, so a wired pod replays what the lines did: from each GO (a capture, a
 * stream, a pulse count), 65536 samples of the level the lines had before the
 * driving pod's last generation run, then that run's samples in order at the
 * capturing rate (a run at the same rate arrives sample for sample; an
 * underrun shows as the level held for its length), then the level the lines
 * hold now. A static read (GetSignals) sees that level; SetSignals sets it. At
 * most 16 M samples of a run are kept. 1 or 0 for an unknown pod. */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetLoopback(int32_t fromPod, int32_t toPod);
/* Writes length bytes of the pod's 16384-byte EEPROM at address (calibration
 * constants at 96-111); 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetEeprom(int32_t pod, uint32_t address, const uint8_t* bytes,
    uint32_t length);
/* Reads length bytes of the pod's EEPROM at address; 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimGetEeprom(int32_t pod, uint32_t address, uint8_t* bytes, uint32_t length);
/* Injects a fault (TQLA_SIM_FAULT_*); 1 or 0. */
TQLA_EXPORT int32_t TQLA_API TqlaSimInjectFault(int32_t pod, int32_t fault, uint32_t a, uint32_t b);
/* Takes up to length of the bytes FX2 fx2 received on OUT endpoint endpoint
 * (0x01 commands, 0x02 patterns and signal values, 0x04), oldest first; returns
 * the count. A null buffer returns how many wait without taking them. */
TQLA_EXPORT uint32_t TQLA_API TqlaSimReadOutput(int32_t pod, int32_t fx2, uint8_t endpoint, uint8_t* buffer,
    uint32_t length);
/* The name of the image FX2 fx2 runs into name (size bytes, terminated), "" when
 * none runs; 1, or 0 for an unknown pod. */
TQLA_EXPORT int32_t TQLA_API TqlaSimProgram(int32_t pod, int32_t fx2, char* name, uint32_t size);

/* ---- Firmware folder ----
 * Real pods get real images, read as <name>.bin (8192 bytes, e.g.
 * Logic16Image.bin) from the first folder holding them: the folder set here,
 * $TQLA_FIRMWARE_DIR, $XDG_DATA_HOME/tqla/firmware, each
 * $XDG_DATA_DIRS/tqla/firmware, then the installed firmware folder. */

/* Sets the folder searched first (null or "" clears it); returns 1. */
TQLA_EXPORT int32_t TQLA_API TqlaSetFirmwareDir(const char* path);

/* ---- Device accessors ---- */

/* The open pod's Digital FX2 for the raw-transfer exports; null when no pod is open. */
TQLA_EXPORT CCyUSBDevice* TQLA_API TqlaDigitalDevice(void);
/* The open pod's Analog FX2; null when no pod is open. */
TQLA_EXPORT CCyUSBDevice* TQLA_API TqlaAnalogDevice(void);

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_EXT_H */
