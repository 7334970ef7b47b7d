/**
 * \file tqla/tqla_ext.h
 * \brief What this library offers beyond the host API of tqla.h: reasons and
 * diagnostics, the sample buffer as a host's array, device and firmware
 * access, protocol files, lookups of any size, and the simulated pod.
 *
 * The calls follow the rules of tqla.h: flat C, no call throws, process-wide
 * state driven from one host thread at a time unless a call says otherwise.
 */
#ifndef TQLA_TQLA_EXT_H
#define TQLA_TQLA_EXT_H

#include "tqla/tqla.h"

#ifdef __cplusplus
extern "C" {
#endif

/**
 * \defgroup tqla_ext_diag Extensions: reasons, trace and console
 * \brief Why a call failed, the library's trace, and where the decoders'
 * console text goes.
 * @{
 */

/**
 * Receives one line of the trace or one message of the console text, without
 * a line end of its own.
 *
 * As a trace sink it is called from the host thread and from the library's
 * transfer threads, so it must be safe to call from several threads at once.
 *
 * \param line  the text, valid for the call only.
 * \param user  the pointer given with the sink.
 */
typedef void (*TqlaTraceSink)(const char* line, void* user);

/**
 * Routes the library's trace lines to a sink.
 *
 * The trace follows every call and run step by step ("StartCapture()",
 * "Sending GO command to Digital FX2", the firmware folders tried, ...);
 * nothing depends on it. Set it while no run goes.
 *
 * \param[in] sink  receives each line; null (the default) turns the trace off,
 *                  and then nothing is formatted.
 * \param[in] user  passed to every call of sink.
 */
TQLA_EXPORT void TQLA_API TqlaSetTraceSink(TqlaTraceSink sink, void* user);

/**
 * Why the calling thread's last call failed.
 *
 * A host can show why OpenTQPod() or StartCapture() returned 0 without a trace
 * sink. The calls that can fail for a reason of their own clear it as they
 * start and set it on every failure, also those whose result cannot tell a
 * failure (ReadEEPROM(), StopCaptureMSO(), DecodeSPI()). Calls that only read
 * or set state (the counts and accessors, and the pattern edits SetData() to
 * LoggedDataSG(), whose one failure is an index past the buffer) leave it as
 * it was.
 *
 * \returns the reason as the trace line gives it (for instance
 *          "Capture length 262144 is past the end of the buffer (65536
 *          words)"), or "" when the last call succeeded. The text belongs to
 *          the calling thread and stays valid until its next call.
 */
TQLA_EXPORT const char* TQLA_API TqlaLastError(void);

/**
 * Routes the console text of the decoders and the packet engine to a sink.
 *
 * Without a sink they print on standard output: the packet engine's trace
 * lines and messages such as `"Error initializing RedodoRovodovoz: %s\nExiting.\n"`.
 * The sink is called on the thread that runs the decoder. Set it while no
 * decoder runs.
 *
 * \param[in] sink  receives each message, one per call; null restores standard
 *                  output.
 * \param[in] user  passed to every call of sink.
 */
TQLA_EXPORT void TQLA_API TqlaSetConsoleSink(TqlaTraceSink sink, void* user);

/** @} */

/**
 * \defgroup tqla_ext_buffer Extensions: sample buffer and trigger index
 * \brief A host's own array as the sample buffer, and the trigger index the
 * decoders' timestamps count from.
 * @{
 */

/**
 * Makes a host's own array the current sample buffer.
 *
 * All of it counts as captured, as a capture into it would leave it, so that
 * files, exports, screen traces and decoders work on it. The library does not
 * free it; it must stay allocated while it is current.
 *
 * \param[in] words   the array; null only with length 0 (no buffer).
 * \param[in] length  its length in words: the buffer length and the captured
 *                    length.
 * \returns 1; 0 for null with a length.
 */
TQLA_EXPORT int32_t TQLA_API TqlaUseBuffer(uint32_t* words, uint32_t length);

/**
 * Sets the buffer length alone, as the capture file readers do from a file.
 *
 * The buffer's storage stays what it was, and no call reads or writes past it.
 * The capture files store the buffer length as a count of bytes of samples
 * (\ref tqla_files), so a host that saves n words sets n * 4 here first.
 *
 * \param[in] length  the buffer length the calls take.
 * \returns 1.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSetBufferLength(uint32_t length);

/**
 * The current sample buffer.
 *
 * \param[out] length  its buffer length, when not null: its words, unless
 *                     TqlaSetBufferLength() or a file reader set another.
 * \returns the buffer; null when there is none.
 */
TQLA_EXPORT uint32_t* TQLA_API TqlaCurrentBuffer(uint32_t* length);

/**
 * The index of the trigger sample in the current buffer.
 *
 * The decoders' absolute timestamps count from it. A capture sets it when its
 * trigger is found and moves it with the ring's rotation at the stop
 * (CaptureStatus() reports the same value); StopCapture16() halves it.
 *
 * \returns the sample index; 0 when no capture has set one.
 */
TQLA_EXPORT uint32_t TQLA_API TqlaTriggerIndex(void);

/**
 * Sets the index of the trigger sample, for instance for a buffer read from a
 * file whose trigger the host knows.
 *
 * The decoders' timestamps and the trigger alignment of
 * ScaleScopeDataToScreenVeryNew() use it. A capture start sets it back to 0.
 *
 * \param[in] index  the sample index.
 */
TQLA_EXPORT void TQLA_API TqlaSetTriggerIndex(uint32_t index);

/** @} */

/**
 * \defgroup tqla_ext_records Extensions: record lines and decoder events
 * \brief Every record line of a decoder run handed to the host as it is
 * written, with the samples it spans, and every value and bus event as the
 * decoder recognises it.
 * @{
 */

/**
 * Receives one record line of a decoder run.
 *
 * Called on the thread that runs the decoder, as the line is written.
 *
 * \param firstSample  the sample the line's header timestamp names.
 * \param lastSample   the sample the decoder had reached when the line ended:
 *                     at least that of the line's last value or bus event, at
 *                     most the first sample of the next line (firstSample when
 *                     the line took none).
 * \param line         the line as the record file has it, without its line
 *                     end; valid for the call only.
 * \param user         the pointer given with the sink.
 */
typedef void (*TqlaRecordSink)(uint32_t firstSample, uint32_t lastSample, const char* line, void* user);

/**
 * Hands every record line of the decoders to a sink as well as to the record
 * file.
 *
 * Empty lines are not handed on. DecodeSPI() and USBDecode(), which keep their
 * text out of the record offsets, hand on nothing. Set it while no decoder
 * runs.
 *
 * \param[in] sink  receives each line; null (the default) none.
 * \param[in] user  passed to every call of sink.
 */
TQLA_EXPORT void TQLA_API TqlaSetRecordSink(TqlaRecordSink sink, void* user);

/**
 * Receives one value or bus event of a decoder run.
 *
 * Called on the thread that runs the decoder, as the decoder recognises it.
 * Which sample stands for a value is the decoder's: the last clock edge of an
 * I2C or SPI word, the start bit of a serial character. The buses that hand
 * the packet engine single bits (CAN, USB, I2S, synchronous serial) hand them
 * on as 1-bit values.
 *
 * \param sampleIndex  the sample the decoder recognised it at.
 * \param kind         0 for a decoded value, 1 for a control event.
 * \param value        a value: the whole word; a control event: its event code
 *                     (START, STOP, ACK, NACK, frame start and end, a signal
 *                     event, 127 at the end of the run).
 * \param bits         a value's width, 1 to 32; 0 for a control event.
 * \param channel      the packet engine's channel, 1 or 2 (SPI: 1 MISO, 2 MOSI).
 * \param user         the pointer given with the sink.
 */
typedef void (*TqlaEventSink)(uint32_t sampleIndex, int32_t kind, uint32_t value, int32_t bits, int32_t channel,
    void* user);

/**
 * Hands every value and control event of the decoders to a sink as they
 * recognise it, whether or not a protocol file is in use: what the packet
 * engine would get, with the sample it came at.
 *
 * DecodeSPI() hands on nothing. Set it while no decoder runs.
 *
 * \param[in] sink  receives each value and event; null (the default) none.
 * \param[in] user  passed to every call of sink.
 */
TQLA_EXPORT void TQLA_API TqlaSetEventSink(TqlaEventSink sink, void* user);

/** @} */

/**
 * \defgroup tqla_ext_devices Extensions: devices and firmware folder
 * \brief The open pod's two FX2, their port speed, the last control
 * transfer's result, and where real firmware images are read from.
 *
 * Real pods get real images, read as the image's name and ".bin" (8192 bytes,
 * such as Logic16Image.bin) from the first folder holding them: the folder set
 * with TqlaSetFirmwareDir(), $TQLA_FIRMWARE_DIR, $XDG_DATA_HOME/tqla/firmware,
 * each $XDG_DATA_DIRS/tqla/firmware, then the installed firmware folder. The
 * folder used is traced; when an image is found nowhere, every folder tried is
 * named in TqlaLastError(). Simulated pods run stand-in images built into the
 * library.
 * @{
 */

/**
 * The open pod's Digital FX2, for the raw-transfer and firmware calls.
 *
 * \returns the device; null before a pod has been opened and after
 *          ClosePod(). After a failed OpenTQPod() it is a closed device, on
 *          which every transfer fails.
 */
TQLA_EXPORT CCyUSBDevice* TQLA_API TqlaDigitalDevice(void);

/**
 * The open pod's Analog FX2.
 *
 * \returns the device; null before a pod has been opened and after
 *          ClosePod().
 */
TQLA_EXPORT CCyUSBDevice* TQLA_API TqlaAnalogDevice(void);

/**
 * Whether an FX2 sits on a high-speed port.
 *
 * A pod on a full-speed port (64-byte packets) cannot carry its sample rates.
 *
 * \param[in] device  an FX2, such as TqlaDigitalDevice() returns.
 * \returns 1 on a high-speed port, 0 on a full-speed one, -1 for a null or
 *          closed device.
 */
TQLA_EXPORT int32_t TQLA_API TqlaDeviceHighSpeed(CCyUSBDevice* device);

/**
 * The result of the most recent control transfer made by the firmware, EEPROM
 * and vendor-request calls.
 *
 * Tells whether ReadEEPROM() and WriteEEPROM(), which return 0 whatever
 * happened, moved their bytes. It is process-wide: a capture's stop, which
 * reads the calibration constants, sets it too.
 *
 * \returns 1 when it succeeded, else 0.
 */
TQLA_EXPORT int32_t TQLA_API TqlaLastTransferResult(void);

/**
 * Sets the folder searched first for real firmware images.
 *
 * Images read before are forgotten, so that the next download reads them from
 * the new folder.
 *
 * \param[in] path  the folder; null or "" clears it.
 * \returns 1.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSetFirmwareDir(const char* path);

/** @} */

/**
 * \defgroup tqla_ext_packets Extensions: protocol files, add-in and lookups
 * \brief A protocol definition file's model as text, the ADDIN decode step's
 * library, and packet-list lookups into buffers of any size.
 * @{
 */

/**
 * Parses a protocol definition file and describes the model it gives.
 *
 * One item per line: protocols, packet boundaries, lengths, decode steps,
 * lookup tables and fields. It uses the packet engine's model: not while a
 * decoder runs with a protocol file.
 *
 * \param[in]  protocolFile  the protocol definition file.
 * \param[out] text          at most size - 1 characters of the description and
 *                           a NUL; may be null with size 0.
 * \param[in]  size          bytes of text; 0 asks for the length only.
 * \param[out] errorText     #TQLA_ERROR_TEXT_SIZE (256) bytes: the parser's
 *                           message when the file does not parse.
 * \returns the description's whole length in characters (the size needed is
 *          one more); -1 when the file does not parse.
 */
TQLA_EXPORT int32_t TQLA_API TqlaDescribeProtocols(const char* protocolFile, char* text, uint32_t size,
    char* errorText);

/**
 * Loads the add-in library of the ADDIN decode step.
 *
 * The ADDIN step of a protocol definition file feeds each bit of a packet to
 * the function
 *     uint32_t APIDecode(char* protocolName, char bit, char* outputBits, char first)
 * of an add-in decoding library: with the protocol's name, the bit (0 or 1)
 * and a flag for the packet's first bit; it writes its output bits, one per
 * byte (nonzero is 1), into outputBits (256 bytes) and returns their count (a
 * count above 256 is taken as 256). Without an add-in, ADDIN passes bits
 * through unchanged.
 *
 * \param[in] path  the library; null or "" unloads the add-in.
 * \returns 1 when the library and its APIDecode were found, or on unloading;
 *          0 otherwise, and no add-in is loaded then.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSetAddinLibrary(const char* path);

/**
 * LookupLabel() for a buffer of any size.
 *
 * \param[in]  slot         0-3.
 * \param[out] text         at most size - 1 characters of the label and a NUL;
 *                          nothing when null or size is 0, and unchanged when
 *                          the label is absent.
 * \param[in]  size         bytes of text; 0 asks for the length only.
 * \param[in]  packetIndex  packet of the list.
 * \param[in]  pairIndex    pair of the packet, 0-63.
 * \returns the label's whole length in characters (the size needed is one
 *          more); -1 when the pair has no label, and for indexes outside the
 *          list.
 */
TQLA_EXPORT int32_t TQLA_API TqlaLookupLabelSized(char slot, char* text, uint32_t size, int32_t packetIndex,
    int32_t pairIndex);

/**
 * LookupValue() for a buffer of any size.
 *
 * \param[in]  slot         0-3.
 * \param[out] text         at most size - 1 characters of the value and a NUL;
 *                          nothing when null or size is 0, and unchanged when
 *                          the value is absent.
 * \param[in]  size         bytes of text; 0 asks for the length only.
 * \param[in]  packetIndex  packet of the list.
 * \param[in]  pairIndex    pair of the packet, 0-63.
 * \returns the value's whole length in characters; -1 when the pair has no
 *          value, and for indexes outside the list.
 */
TQLA_EXPORT int32_t TQLA_API TqlaLookupValueSized(char slot, char* text, uint32_t size, int32_t packetIndex,
    int32_t pairIndex);

/** @} */

/**
 * \defgroup tqla_ext_sim Extensions: the simulated pod
 * \brief A pod that behaves as a real one on the USB, for demonstrations,
 * tests and hosts without the hardware.
 *
 * A simulated pod shows two FX2 controllers (the Digital FX2 first) with the
 * pod's vendor and product ID and its pod ID as release number, listed after
 * any real device; the calls of tqla.h find, open and drive it as a real pod.
 * It samples its signal source at the true rate against the wall clock, or as
 * fast as the host takes the samples; it models the FX2's small FIFO, so a host
 * that falls behind loses blocks and sees the break counter grow. Pods are
 * named by the handle TqlaSimAddPod() returns. Settings take effect at the
 * pod's next GO command.
 * @{
 */

/** The Digital FX2 of a simulated pod. */
#define TQLA_SIM_DIGITAL 0
/** The Analog FX2 of a simulated pod. */
#define TQLA_SIM_ANALOG 1

/** Signal source: a 16-bit counter on the digital lines with ramps on CH1 and
 *  CH2. */
#define TQLA_SIM_SOURCE_COUNTER 1
/** Signal source: a sine on CH1 and a cosine on CH2. */
#define TQLA_SIM_SOURCE_SINE 2
/** Signal source: demonstration bus traffic, I2C on channels 0-1, SPI on 2-5,
 *  serial on 6 and a slow counter on 8-15, with the sine and cosine. */
#define TQLA_SIM_SOURCE_DEMO 3
/** Signal source: fieldbus traffic timed for a capture at 12 MHz, repeating
 *  every 262144 samples, with the sine and cosine: CAN at 500 kbit/s on
 *  channel 0 (an error frame among the data and remote frames), low-speed USB
 *  with D+ on channel 1 and D- on channel 2 (a keyboard's enumeration and key
 *  reports, keep-alives), a PS/2 keyboard with data on channel 3 and clock on
 *  channel 4 (key codes, a host command and its acknowledge). */
#define TQLA_SIM_SOURCE_FIELDBUS 4
/** Signal source: more demonstration traffic timed for a capture at 1 MHz,
 *  with the sine and cosine: 1-Wire on channel 0; I2S with clock 1, word
 *  select 2 and data 3 (16-bit stereo, the standard delay of one clock); a
 *  synchronous serial link with clock 4 (rising), data 5 and chip select 6
 *  (active low), frames of four 9-bit words most significant bit first; a
 *  parallel byte on 8-15 with a strobe on 7 that falls while the data is
 *  valid. */
#define TQLA_SIM_SOURCE_STREAMS 5
/** Signal source: the traffic of the shipped protocol definitions with the
 *  sine and cosine, timed for a capture at 24 MHz and repeating every 1048576
 *  samples: SMBus/PMBus at 100 kHz with SCL on channel 0 and SDA on 1 (a power
 *  supply at address 0x40), an SPI NOR flash at 1 MHz in mode 0 with clock 2,
 *  MOSI 3, MISO 4 and chip select 5, Modbus RTU at 115200 baud 8E1 on 6
 *  (servers 17 and 1, an energy meter), NMEA 0183 at 115200 baud 8N1 on 7 and
 *  CANopen at 500 kbit/s on 8. */
#define TQLA_SIM_SOURCE_PROTOCOLS 6

/** Fault: none; clears every fault below but an unplug. */
#define TQLA_SIM_FAULT_NONE 0
/** Fault: the status byte never reads 0x55. */
#define TQLA_SIM_FAULT_NO_READY_BYTE 1
/** Fault: after a control transfers succeed, the next b fail (b 0: one). */
#define TQLA_SIM_FAULT_CONTROL_FAIL 2
/** Fault: endpoint address b of FX2 a (#TQLA_SIM_DIGITAL or #TQLA_SIM_ANALOG)
 *  halts until its halt is cleared. */
#define TQLA_SIM_FAULT_STALL 3
/** Fault: each FX2 delivers at most a bytes per second (0: no limit). */
#define TQLA_SIM_FAULT_BANDWIDTH 4
/** Fault: the pod leaves the bus; its transfers fail. */
#define TQLA_SIM_FAULT_UNPLUG 5
/** Fault: the pod sits on a full-speed port (64-byte packets). */
#define TQLA_SIM_FAULT_FULL_SPEED 6
/** Fault: FX2 a ends its next sample transfer after b bytes (1-65535). */
#define TQLA_SIM_FAULT_SHORT_TRANSFER 7

/**
 * Removes every simulated device from the bus.
 */
TQLA_EXPORT void TQLA_API TqlaSimReset(void);

/**
 * Adds a simulated pod at the end of the bus.
 *
 * It plays #TQLA_SIM_SOURCE_DEMO until another source is set; its EEPROM
 * reads 0xFF but for calibration constants that leave the scope bytes as they
 * are.
 *
 * \param[in] id  its pod ID, 0-65535.
 * \returns its handle (1, 2, ... in the order added since TqlaSimReset()); 0
 *          for an ID past 65535.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimAddPod(uint32_t id);

/**
 * Adds a device that runs no program, such as another vendor's device between
 * the two FX2 of a pod.
 *
 * \param[in] vendorId   its vendor ID.
 * \param[in] productId  its product ID.
 * \param[in] release    its release number (bcdDevice).
 * \param[in] position   its place in bus order; negative (or past the end) at
 *                       the end.
 * \returns 1; 0 when the bus already holds 255 devices.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimAddDevice(uint16_t vendorId, uint16_t productId, uint16_t release,
    int32_t position);

/**
 * Makes a pod play sample words of the host's.
 *
 * \param[in] pod    the pod's handle.
 * \param[in] words  count sample words (digital bits 0-15, CH1 bits 16-23, CH2
 *                   bits 24-31), copied. Null or a count of 0 plays lines that
 *                   are low and scope inputs that read 0 V.
 * \param[in] count  words.
 * \param[in] loop   nonzero repeats the words; 0 holds the last one.
 * \returns 1; 0 for an unknown pod.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetSamples(int32_t pod, const uint32_t* words, uint32_t count,
    int32_t loop);

/**
 * Makes a pod play a built-in signal source.
 *
 * \param[in] pod     the pod's handle.
 * \param[in] source  #TQLA_SIM_SOURCE_COUNTER to #TQLA_SIM_SOURCE_STREAMS.
 * \returns 1; 0 for an unknown pod or source.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetSource(int32_t pod, int32_t source);

/**
 * Chooses how fast a pod's samples flow.
 *
 * \param[in] pod       the pod's handle.
 * \param[in] realTime  nonzero: at the true sample rate against the wall clock
 *                      (the default), so a host that falls behind loses data;
 *                      0: as fast as the host takes them, losing nothing.
 * \returns 1; 0 for an unknown pod.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetRealTime(int32_t pod, int32_t realTime);

/**
 * Wires the digital inputs of one pod to the output lines of another (or of
 * the same pod).
 *
 * The library drives one pod at a time, so a wired pod replays what the lines
 * did: from each GO (a capture, a stream, a pulse count), 65536 samples of the
 * level the lines had before the driving pod's last generation run, then that
 * run's samples in order at the capturing rate (a run at the same rate arrives
 * sample for sample; an underrun shows as the level held for its length), then
 * the level the lines hold now. A static read (GetSignals()) sees that level;
 * SetSignals() sets it. At most 16 M samples of a run are kept.
 *
 * \param[in] fromPod  the driving pod's handle; 0 unwires toPod.
 * \param[in] toPod    the wired pod's handle.
 * \returns 1; 0 for an unknown pod.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetLoopback(int32_t fromPod, int32_t toPod);

/**
 * Writes bytes of a pod's EEPROM (16384 bytes; the calibration constants at
 * 96-111, see #TQLA_EEPROM_CH1_GAIN).
 *
 * \param[in] pod      the pod's handle.
 * \param[in] address  address of the first byte.
 * \param[in] bytes    length bytes.
 * \param[in] length   bytes to write.
 * \returns 1; 0 for an unknown pod, null bytes with a length, or a range past
 *          the end of the EEPROM.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimSetEeprom(int32_t pod, uint32_t address, const uint8_t* bytes,
    uint32_t length);

/**
 * Reads bytes of a pod's EEPROM.
 *
 * \param[in]  pod      the pod's handle.
 * \param[in]  address  address of the first byte.
 * \param[out] bytes    length bytes.
 * \param[in]  length   bytes to read.
 * \returns 1; 0 for an unknown pod, null bytes with a length, or a range past
 *          the end of the EEPROM.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimGetEeprom(int32_t pod, uint32_t address, uint8_t* bytes, uint32_t length);

/**
 * Injects a fault into a pod.
 *
 * \param[in] pod    the pod's handle.
 * \param[in] fault  #TQLA_SIM_FAULT_NONE to #TQLA_SIM_FAULT_SHORT_TRANSFER.
 * \param[in] a      the fault's first argument, as its macro says.
 * \param[in] b      the fault's second argument.
 * \returns 1; 0 for an unknown pod or fault, or arguments the fault refuses
 *          (an FX2 other than 0 and 1, a short transfer of 0 or 65536 bytes
 *          and more).
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimInjectFault(int32_t pod, int32_t fault, uint32_t a, uint32_t b);

/**
 * Takes the bytes an FX2 of a pod received on an OUT endpoint, oldest first.
 *
 * Each endpoint keeps its last 32 MiB.
 *
 * \param[in]  pod       the pod's handle.
 * \param[in]  fx2       #TQLA_SIM_DIGITAL or #TQLA_SIM_ANALOG.
 * \param[in]  endpoint  OUT endpoint address: 0x01 commands, 0x02 patterns and
 *                       signal values, 0x04.
 * \param[out] buffer    up to length bytes; null takes nothing.
 * \param[in]  length    bytes to take at most.
 * \returns the bytes taken; with a null buffer, how many wait. 0 for an unknown
 *          pod, FX2 or endpoint.
 */
TQLA_EXPORT uint32_t TQLA_API TqlaSimReadOutput(int32_t pod, int32_t fx2, uint8_t endpoint, uint8_t* buffer,
    uint32_t length);

/**
 * The name of the image an FX2 of a pod runs.
 *
 * \param[in]  pod   the pod's handle.
 * \param[in]  fx2   #TQLA_SIM_DIGITAL or #TQLA_SIM_ANALOG.
 * \param[out] name  size bytes: the name (such as "Logic16Image"), cut to
 *                   size - 1 characters and ended with a NUL; "" when no image
 *                   runs.
 * \param[in]  size  bytes of name.
 * \returns 1; 0 for an unknown pod or FX2.
 */
TQLA_EXPORT int32_t TQLA_API TqlaSimProgram(int32_t pod, int32_t fx2, char* name, uint32_t size);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_EXT_H */
