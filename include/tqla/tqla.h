/**
 * \file tqla/tqla.h
 * \brief The host API: finds and opens the pod, captures, streams, generates
 * patterns, and works on the samples: files, screen traces, bus decoders and
 * packet lists.
 *
 * The pod is a USB measurement pod with 16 logic channels, two scope channels
 * (CH1 and CH2) and a 16-line pattern generator, built around two FX2 USB
 * controllers: the Digital FX2 (logic lines, pattern output, pacing) and the
 * Analog FX2 (the two scope converters). Neither runs a fixed program: the
 * library loads an 8192-byte firmware image into an FX2 before every capture,
 * stream, generation run, mode change or EEPROM access. Where no pod is
 * attached, a simulated pod (tqla_ext.h) answers the same calls.
 *
 * \par A session
 * EnumerateTQPods() lists the pods; InitializeTQPod() opens one; MakeBuffer()
 * makes the sample buffer; StartCapture(), CaptureStatus() and StopCapture()
 * fill it; the screen-scaling calls draw it, SaveFileDataAndConfig() keeps it,
 * a decoder such as DecodeI2C() turns it into records (and, given a protocol
 * definition file, into packets that LoadPackets() reads back); DeleteBuffer()
 * and ClosePod() end the session. The sections of this reference follow that
 * order.
 *
 * \par Types
 * The API was laid out on a 32-bit data model. Its integer types are spelled
 * here with fixed widths: its int and unsigned int are int32_t and uint32_t,
 * its long and unsigned long #TqlaLong and #TqlaULong (32 bits too, spelled
 * apart because a 32-bit Windows export's decorated name encodes which of the
 * two each argument is), bytes are uint8_t, text stays char. Sample words are
 * #TqlaULong or uint32_t (see \ref tqla_frame).
 *
 * \par Results
 * No call throws. Each reports failure through its documented result, most of
 * them 1 for success and 0 for failure; the exceptions are stated with each
 * call. TqlaLastError() (tqla_ext.h) tells the calling thread why its last
 * call failed.
 *
 * \par Threads and ordering
 * All state is process-wide: one pod, one run (a capture, stream, generation
 * run or pulse count) and one decoder at a time. Call the API from one host
 * thread at a time. A run's transfer threads work beside the host thread
 * until the run is stopped; every start ends a run still going first. The
 * status calls (CaptureStatus(), GetNextStreamBuffer() and the stream counts,
 * GenerateStatus(), GetPulseCount()) are made to be polled while those
 * threads work.
 *
 * \par Ownership
 * The host owns every buffer it receives (MakeBuffer(), MakeBufferSG()) and
 * every array it passes. A start keeps the buffer or pattern it is given until
 * the run has stopped, so that memory must stay allocated until then; nothing
 * else passed in is kept after a call returns.
 *
 * \par Files
 * Every reader of files (capture files, sample sections, range files, protocol
 * definition files, packet lists, the record merge, firmware images and
 * program files) reads regular files only: a folder, a device such as
 * /dev/zero or a FIFO counts as a file that cannot be opened. Nothing is
 * allocated by a length that a file states.
 */
#ifndef TQLA_TQLA_H
#define TQLA_TQLA_H

#include <stdint.h>

/**
 * \def TQLA_API
 * Calling convention of every export: __stdcall on 32-bit Windows, where the
 * callee removes its arguments, and the platform's C convention elsewhere.
 */
#if defined(_WIN32) && !defined(_WIN64)
#define TQLA_API __stdcall
#else
#define TQLA_API
#endif

/**
 * \def TQLA_EXPORT
 * Marks the exports: of default visibility in the ELF library, whose other
 * symbols are hidden; imported by hosts of the DLL on Windows, where the DLL's
 * module-definition file, generated from this header, names every export
 * (under its plain and, on 32-bit Windows, its decorated name). Code linked
 * with the library's static archive defines TQLA_STATIC.
 */
#if defined(_WIN32)
#if defined(TQLA_BUILDING_LIBRARY) || defined(TQLA_STATIC)
#define TQLA_EXPORT
#else
#define TQLA_EXPORT __declspec(dllimport)
#endif
#else
#define TQLA_EXPORT __attribute__((visibility("default")))
#endif

/** The API's long: 32 bits on every platform. */
typedef int32_t TqlaLong;
/** The API's unsigned long: 32 bits on every platform. */
typedef uint32_t TqlaULong;

#ifdef __cplusplus
extern "C" {
#endif

/**
 * One FX2 controller of a pod, as the raw-transfer and firmware calls take it.
 * Opaque: TqlaDigitalDevice() and TqlaAnalogDevice() (tqla_ext.h) give the
 * open pod's two.
 */
typedef struct CCyUSBDevice CCyUSBDevice;

/**
 * \defgroup tqla_frame Sample words, rate codes and the sample buffer
 * \brief The sample word, the rate codes every run and decoder takes, and the
 * one buffer of sample words that captures, files, screen traces and decoders
 * work on.
 *
 * A sample word holds one sample of every input: bits 0-15 are digital
 * channels 0-15 (bit n is channel n, 1 = high), bits 16-23 scope channel CH1
 * and bits 24-31 CH2. A scope byte is offset binary: volts = (byte - 128) *
 * 0.078125, so byte 0 reads -10.0 V, 128 reads 0 V and 255 reads +9.921875 V.
 *
 * The sample buffer is the current array of sample words with its length
 * (the buffer length, in words) and its captured length (the valid words from
 * its start, GetActualCaptureLength()). MakeBuffer() and MakeBufferSG() make a
 * buffer and make it current; StartCapture(), StartStreamingCapture16() and
 * the generation starts make the array they are given current; the capture
 * file readers set the lengths. Making a buffer never frees the one before:
 * the host frees each with DeleteBuffer().
 *
 * Beside the sample buffer the library keeps the second sample array, which
 * StopCapture16(), ClearScopeData() and the capture files with a second data
 * block use. It belongs to the library: made when first needed, as long as the
 * sample buffer, and zero where never written.
 *
 * \par Choices
 * Every read and write of the sample buffer stops at the words really
 * allocated behind it, whatever length a file or a host set; documented
 * lengths and results are kept wherever the storage allows.
 * @{
 */

/** Bits 0-15 of a sample word: digital channels 0-15, bit n is channel n. */
#define TQLA_DIGITAL_MASK 0xFFFFu
/** Position of scope channel CH1's byte (bits 16-23) in a sample word. */
#define TQLA_CH1_SHIFT 16
/** Position of scope channel CH2's byte (bits 24-31) in a sample word. */
#define TQLA_CH2_SHIFT 24
/** The scope byte that reads 0 V. */
#define TQLA_SCOPE_ZERO 128
/** Volts per step of a scope byte: volts = (byte - #TQLA_SCOPE_ZERO) * this. */
#define TQLA_VOLTS_PER_STEP 0.078125
/** Scope channel CH1, for the channel arguments that take 1 for CH1 and any
 *  other value for CH2 (StartCapture(), ScopeData(), the scope traces). */
#define TQLA_CH1 1
/** Scope channel CH2 (any channel argument but 1 selects it). */
#define TQLA_CH2 2
/** Sample buffers and capture lengths are whole multiples of this many words. */
#define TQLA_BLOCK_WORDS 65536u

/** Rate code of 1 MHz. A rate code is the sample rate in MHz times ten plus
 *  seven; captures, streams, generation runs, pulse counts and decoders take
 *  the nine codes #TQLA_RATE_1MHZ to #TQLA_RATE_24MHZ. */
#define TQLA_RATE_1MHZ 17
/** Rate code of 2 MHz. */
#define TQLA_RATE_2MHZ 27
/** Rate code of 3 MHz. */
#define TQLA_RATE_3MHZ 37
/** Rate code of 4 MHz. */
#define TQLA_RATE_4MHZ 47
/** Rate code of 6 MHz. */
#define TQLA_RATE_6MHZ 67
/** Rate code of 8 MHz. */
#define TQLA_RATE_8MHZ 87
/** Rate code of 12 MHz. */
#define TQLA_RATE_12MHZ 127
/** Rate code of 16 MHz. */
#define TQLA_RATE_16MHZ 167
/** Rate code of 24 MHz, the highest. */
#define TQLA_RATE_24MHZ 247
/** The sample rate in Hz of a rate code of the table (for instance 12000000
 *  for #TQLA_RATE_12MHZ); meaningless for other codes. */
#define TQLA_RATE_HZ(code) ((((uint32_t)(code) - 7u) / 10u) * 1000000u)
/** The rate code of a rate of mhz MHz, for the rates of the table. */
#define TQLA_RATE_CODE(mhz) ((uint32_t)(mhz) * 10u + 7u)

/**
 * Makes a sample buffer and makes it the current one.
 *
 * The usual first step after opening the pod: the buffer for StartCapture(),
 * the decoders and the screen traces. Every word reads 0xCCCCCCCC; the buffer
 * length and the captured length become size. The buffer that was current
 * before stays allocated and the host's.
 *
 * \param[in] size  length in sample words, a whole multiple of 65536
 *                  (#TQLA_BLOCK_WORDS); 0 makes an empty current buffer.
 * \returns the new block, the host's until DeleteBuffer(); null when size is
 *          not a multiple of 65536 or the machine's free memory cannot hold it
 *          (the current buffer then stays as it was).
 * \par Choice
 * A size beyond the machine's free physical memory is refused instead of
 * being granted by an overcommitting kernel that would end the host later.
 */
TQLA_EXPORT TqlaULong* TQLA_API MakeBuffer(TqlaULong size);

/**
 * Frees a buffer made by MakeBuffer() or MakeBufferSG().
 *
 * A capture still writing into the block is ended first (its threads stop),
 * and a stop that comes later rotates and calibrates nothing of it. Freeing
 * the current buffer leaves it the current one, as hosts expect, but no call
 * reads or writes through it any more: make or name another buffer before the
 * next call that uses the sample buffer.
 *
 * \param[in] buffer  a block that MakeBuffer() or MakeBufferSG() returned.
 * \returns 1 when the block was freed; 0 for null, for a pointer the library
 *          did not return (a host's own array, a place inside a block), for a
 *          block freed already, and when the threads of a capture writing into
 *          it do not stop within 5 s (nothing is freed then).
 */
TQLA_EXPORT int32_t TQLA_API DeleteBuffer(TqlaULong* buffer);

/**
 * The largest sample buffer, in words, that the machine's free memory suggests.
 *
 * The free physical memory in bytes, read as a 32-bit count and raised to at
 * least 38,000,000, less 32,000,000, with the bits outside 0x7FFF0000 cleared,
 * divided by the 4 bytes of a word.
 *
 * \returns a word count from 1,490,944 to 536,854,528, a multiple of 16384 but
 *          not always of 65536: round it down to a multiple of 65536 before
 *          passing it to MakeBuffer().
 */
TQLA_EXPORT TqlaULong TQLA_API GetMaxBufferSize(void);

/**
 * Sets the pattern length of the variable-loop generator and rewinds its
 * position to 0.
 *
 * StartVariableLoopGenerate() sets both itself; nothing else reads them.
 *
 * \param[in] length  pattern length in words.
 * \returns 1.
 */
TQLA_EXPORT int32_t TQLA_API ChangeBufferLength(TqlaULong length);

/**
 * The number of valid sample words from the start of the current buffer.
 *
 * MakeBuffer() and MakeBufferSG() set it to the buffer length, a capture start
 * to 0; while a capture runs it grows with every batch of words both FX2 have
 * filled, up to the buffer length; StopCapture16() halves it. The capture file
 * readers, the demonstration fills and the generation starts set it too. The
 * screen-scaling calls draw this many words.
 *
 * \returns the captured length in words. May be polled while a capture runs.
 */
TQLA_EXPORT TqlaLong TQLA_API GetActualCaptureLength(void);

/**
 * Fills the current buffer with a test pattern: a falling saw with marker
 * words.
 *
 * Lets a host try its display without a pod. With L the buffer length, word i
 * becomes (L - i) & 127 (channels 0-6; scope bytes 0), and with the step
 * s = (L >> 3) + 1 the words L - 1, L - 1 - s, L - 1 - 2s, ... above index 0
 * become 128 (channel 7 high, all else 0). The captured length becomes L.
 *
 * \returns 1 (with an empty buffer nothing is written and the captured length
 *          becomes 0).
 */
TQLA_EXPORT TqlaLong TQLA_API DemoData(void);

/**
 * Fills the current buffer with a 16-bit counter, a sine on CH1 and a cosine
 * on CH2.
 *
 * With L the buffer length, for v from L - 1 down to 1 word L - 1 - v becomes
 * (v & 0xFFFF) | (CH1 << 16) | (CH2 << 24), where CH1 and CH2 are the low bytes
 * of trunc(sin(v / 10) * 100 + 128) and trunc(cos(v / 10) * 100 + 128) in
 * double precision; then the marker words of DemoData() (value 128). The
 * captured length becomes L.
 *
 * \returns 1.
 */
TQLA_EXPORT TqlaLong TQLA_API DemoData16(void);

/** @} */

/**
 * \defgroup tqla_pods Pods: discovery, opening and closing
 * \brief Listing the pods on the USB, opening one and closing it.
 *
 * A pod shows up on the USB as two FX2 controllers with the pod's vendor and
 * product ID, both carrying the pod ID in their device release number
 * (bcdDevice). In bus order, the first FX2 with a pod ID is that pod's Digital
 * FX2 and the next one with the same ID its Analog FX2; other devices between
 * them do not matter. Real pods are listed first, simulated ones after them.
 *
 * InitializeTQPod() is the way to open a pod for captures, streams and
 * generation: besides opening it, it builds the pin maps through which every
 * run turns the FX2's port bits into channels (OpenTQPod() alone does not;
 * without the maps every received sample reads 0).
 * @{
 */

/** What StillThere() returns when no pod has been opened. */
#define TQLA_NO_POD 900

/**
 * Lists the pods on the USB by pod ID.
 *
 * \param[out] ids  room for one entry per pod FX2 on the bus, two per pod;
 *                  the pod IDs land in its first entries, one per pod in bus
 *                  order (the entries after them are scratch). Null only
 *                  counts the pods.
 * \returns the number of pods: the pod FX2s found, halved and rounded down (an
 *          FX2 without its partner is dropped); 0 when no device is on the bus
 *          (ids is then untouched).
 */
TQLA_EXPORT int32_t TQLA_API EnumerateTQPods(uint32_t* ids);

/**
 * Opens both FX2 of a pod as the pod's Digital and Analog FX2.
 *
 * A second open while a pod is open reuses the device objects. Use
 * InitializeTQPod() to prepare the pod for runs.
 *
 * \param[in] id  the pod ID, as EnumerateTQPods() lists it (0-65535).
 * \returns 1 when both FX2 are open; 0 when no device is on the bus, no FX2
 *          carries pod ID id, no second FX2 with that ID follows the first, or
 *          the device objects could not be made.
 * \par Choice
 * A failed open leaves neither FX2 open, not even on another device it tried.
 */
TQLA_EXPORT int32_t TQLA_API OpenTQPod(uint32_t id);

/**
 * Builds the pin maps, opens pod id and prepares it for captures, streams and
 * generation.
 *
 * Selects alternate setting 0 on both FX2 and fills the transfer buffers with
 * 0x69.
 *
 * \param[in] id  the pod ID (0-65535).
 * \returns 1, or 0 when OpenTQPod() fails (no buffer is touched then).
 */
TQLA_EXPORT int32_t TQLA_API InitializeTQPod(uint32_t id);

/**
 * As InitializeTQPod(), with the alternate settings of the extractor use.
 *
 * The Digital FX2 gets alternate setting 1 when it shows fewer than two
 * endpoints, the Analog FX2 setting 0 when it shows more than two; the
 * transfer buffers are filled with 0.
 *
 * \param[in] id      the pod ID (0-65535).
 * \param[in] second  not read.
 * \returns 1, or 0 when OpenTQPod() fails.
 */
TQLA_EXPORT int32_t TQLA_API InitializeTQExtractor(uint32_t id, uint32_t second);

/**
 * Writes a self-test report of the devices on the USB to "tqlog.txt".
 *
 * The file in the current folder is made anew; each line is the millisecond
 * tick, ": " and the entry. It names the devices on the bus with their vendor,
 * product and release IDs, each pod FX2's endpoint count and port speed
 * (a maximum packet size of endpoint 0x86 above 200 bytes is a high-speed
 * port), and a line "***TEST FAILED*** due to ..." for every fault: no device,
 * not exactly two devices, a wrong vendor or product ID, a full-speed port, no
 * endpoint 0x86.
 *
 * \param[in] ids  not read.
 * \returns 1, always: the verdict is in the file.
 */
TQLA_EXPORT int32_t TQLA_API TestTQPod(uint32_t* ids);

/**
 * The number of devices on the USB, for a host to learn whether the pod is
 * still attached.
 *
 * \returns 0-255 devices; #TQLA_NO_POD (900) when no OpenTQPod() has made the
 *          pod's device objects since the last ClosePod().
 */
TQLA_EXPORT int32_t TQLA_API StillThere(void);

/**
 * Closes the open pod.
 *
 * A run still going is ended first (its threads are waited for up to 5 s);
 * then both FX2 are closed and their device objects destroyed. StillThere()
 * returns 900 afterwards.
 *
 * \returns 1, always.
 */
TQLA_EXPORT int32_t TQLA_API ClosePod(void);

/** @} */

/**
 * \defgroup tqla_firmware Firmware download and EEPROM
 * \brief Loading program images and files into an FX2, and the pod's EEPROM.
 *
 * An FX2 loads a program into its RAM through its built-in firmware-load
 * request 0xA0 while its 8051 CPU is held in reset (CPU control register
 * 0xE600). The runs load their own images; these calls let a host load its
 * own. The EEPROM is reached through vendor request 0xA2 of the EEPROM image,
 * which every EEPROM access loads into the Digital FX2 first, ending whatever
 * program ran there (every start loads its own image again). The EEPROM holds
 * the scope calibration constants: four 32-bit little-endian words with 24
 * fraction bits at addresses #TQLA_EEPROM_CH1_GAIN to #TQLA_EEPROM_CH2_OFFSET.
 *
 * The device arguments are the open pod's FX2, from TqlaDigitalDevice() and
 * TqlaAnalogDevice() (tqla_ext.h). A null or closed device makes every
 * transfer fail.
 *
 * \par Choice
 * A real pod is never sent a stand-in image: when its real image is missing
 * from the firmware folder (tqla_ext.h), the download fails.
 * @{
 */

/** Bytes of a firmware image, as DownloadImage() loads it. */
#define TQLA_IMAGE_BYTES 8192
/** EEPROM address of CH1's gain (volts per raw step, 24 fraction bits). */
#define TQLA_EEPROM_CH1_GAIN 96
/** EEPROM address of CH2's gain. */
#define TQLA_EEPROM_CH2_GAIN 100
/** EEPROM address of CH1's offset (the raw byte that reads 0 V, 24 fraction bits). */
#define TQLA_EEPROM_CH1_OFFSET 104
/** EEPROM address of CH2's offset. */
#define TQLA_EEPROM_CH2_OFFSET 108
/** The failure result of Reset8051(), VendorControlIn() and VendorControlOut(). */
#define TQLA_REQUEST_FAILED 4

/**
 * Holds an FX2's 8051 CPU in reset, or lets it run.
 *
 * \param[in] device  an FX2 of the open pod.
 * \param[in] hold    1 holds the CPU in reset, 0 lets it run: the byte written
 *                    to the CPU control register 0xE600.
 * \returns 1 on success; #TQLA_REQUEST_FAILED (4) when the control transfer
 *          fails.
 */
TQLA_EXPORT int32_t TQLA_API Reset8051(CCyUSBDevice* device, char hold);

/**
 * Loads one firmware image into an FX2 and starts it.
 *
 * Holds the CPU in reset, writes the image in sixteen 512-byte blocks from
 * address 0 and lets the CPU run: 18 control writes in all. Only the last
 * block's result decides; an earlier block that failed goes unreported.
 *
 * \param[in] device  an FX2 of the open pod.
 * \param[in] image   #TQLA_IMAGE_BYTES (8192) bytes.
 * \returns 1; 0 for a null image, a reset that fails (nothing is sent), a last
 *          block that fails (the CPU then stays in reset), or a release that
 *          fails.
 */
TQLA_EXPORT int32_t TQLA_API DownloadImage(CCyUSBDevice* device, uint8_t* image);

/**
 * Holds an FX2 in reset, loads a program file and lets it run.
 *
 * \param[in] device  an FX2 of the open pod.
 * \param[in] path    the program file, whose first 4096 bytes are written as
 *                    DownloadFile() does.
 * \returns 1; 0 at the first step that fails (the CPU stays in reset when the
 *          download failed).
 */
TQLA_EXPORT int32_t TQLA_API DownloadFirmware(CCyUSBDevice* device, char* path);

/**
 * DownloadFirmware() on the open pod's Digital FX2.
 *
 * \param[in] path  the program file.
 * \returns 1; 0 as DownloadFirmware(), and when no pod is open.
 */
TQLA_EXPORT int32_t TQLA_API DownloadFirmwareDigital(char* path);

/**
 * Writes the first 4096 bytes of a file into an FX2 from address 0, without
 * a reset.
 *
 * The bytes go in 512-byte blocks; the last block is always sent whole, padded
 * with zeros past the end of the file.
 *
 * \param[in] device  an FX2 of the open pod.
 * \param[in] path    the file.
 * \returns 1 when the last block's transfer succeeded; 0 for a null path, a
 *          file that cannot be opened, or a last block that failed. An empty
 *          file sends nothing and returns whether the control transfer before
 *          it succeeded.
 */
TQLA_EXPORT int32_t TQLA_API DownloadFile(CCyUSBDevice* device, char* path);

/**
 * Writes the first 8192 bytes of a file into an FX2 from an address, without
 * a reset.
 *
 * As DownloadFile(), with block k written at address + 512 k.
 *
 * \param[in] device   an FX2 of the open pod.
 * \param[in] address  FX2 address of the first byte; it travels as the 16-bit
 *                     request value, so block addresses past 0xFFFF wrap.
 * \param[in] path     the file.
 * \returns 1; 0 as DownloadFile().
 */
TQLA_EXPORT int32_t TQLA_API DownloadData(CCyUSBDevice* device, uint32_t address, char* path);

/**
 * Holds the open pod's Digital FX2 in reset, runs DownloadData() on it and lets
 * it run.
 *
 * \param[in] address  FX2 address of the first byte (16 bits).
 * \param[in] path     the file.
 * \returns 1; 0 at the first step that fails, and when no pod is open.
 */
TQLA_EXPORT int32_t TQLA_API DownloadDataDigital(uint32_t address, char* path);

/**
 * Reads bytes of the pod's EEPROM.
 *
 * Loads the EEPROM image into the Digital FX2 (ending the program that ran
 * there), then reads with vendor request 0xA2.
 *
 * \param[in]  address  EEPROM address of the first byte (0-65535).
 * \param[in]  length   bytes to read (0-65535).
 * \param[out] buffer   length bytes; valid only when the read succeeded.
 * \returns 0, always: TqlaLastError() tells a failed read. Without an open pod
 *          nothing is sent and buffer is left as it is.
 */
TQLA_EXPORT int32_t TQLA_API ReadEEPROM(uint32_t address, uint32_t length, uint8_t* buffer);

/**
 * Writes bytes of the pod's EEPROM.
 *
 * Loads the EEPROM image into the Digital FX2 (ending the program that ran
 * there), then writes with vendor request 0xA2.
 *
 * \param[in] address  EEPROM address of the first byte (0-65535).
 * \param[in] length   bytes to write (0-65535).
 * \param[in] buffer   length bytes.
 * \returns 0, always: TqlaLastError() tells a failed write. Without an open pod
 *          nothing is sent.
 */
TQLA_EXPORT int32_t TQLA_API WriteEEPROM(uint32_t address, uint32_t length, uint8_t* buffer);

/** @} */

/**
 * \defgroup tqla_raw Raw transfers and mode images
 * \brief Direct access to an FX2 for hosts that speak to its firmware
 * themselves.
 *
 * Vendor control requests with any request code, the EEPROM request 0xA2,
 * bulk transfers on the numbered endpoints 1, 2, 4, 6 and 8 (IN addresses
 * 0x81-0x88, OUT addresses 0x01-0x08), and the thirteen mode images of
 * SetMode(), on which the static I/O of SetSignals() and GetSignals() runs.
 * Control transfers address the device (target 0) with the vendor request type
 * and carry at most 65535 bytes; their value and index are 16 bits.
 * @{
 */

/**
 * A vendor control request that reads from an FX2.
 *
 * Note the argument order: index before value (VendorControlIn() takes value
 * first).
 *
 * \param[in]  device   an FX2 of the open pod.
 * \param[in]  request  the request code.
 * \param[in]  index    the request's index (16 bits).
 * \param[in]  value    the request's value (16 bits).
 * \param[in]  length   bytes to read (0-65535).
 * \param[out] buffer   length bytes; what arrived, when the transfer succeeded.
 * \returns 1 when the transfer succeeded; 0 when it failed, for a length past
 *          65535, and for a null buffer with a length.
 */
TQLA_EXPORT int32_t TQLA_API ControlIn(CCyUSBDevice* device, uint8_t request, uint32_t index,
    uint32_t value, uint32_t length, uint8_t* buffer);

/**
 * A vendor control request that writes to the open pod's Digital FX2.
 *
 * \param[in] request  the request code.
 * \param[in] index    the request's index (16 bits).
 * \param[in] value    the request's value (16 bits).
 * \param[in] length   bytes to write (0-65535).
 * \param[in] buffer   length bytes.
 * \returns 1 when the transfer succeeded; 0 as ControlIn(), and when no pod is
 *          open.
 */
TQLA_EXPORT int32_t TQLA_API ControlOut(uint8_t request, uint32_t index, uint32_t value,
    uint32_t length, uint8_t* buffer);

/**
 * Vendor request 0xA2 (the EEPROM request of the EEPROM image), reading.
 *
 * Note the argument order: value before index.
 *
 * \param[in]  device  an FX2 of the open pod.
 * \param[in]  value   the request's value: for the EEPROM, the address.
 * \param[in]  index   the request's index.
 * \param[in]  length  bytes to read (0-65535).
 * \param[out] buffer  length bytes.
 * \returns 1 when the transfer succeeded; #TQLA_REQUEST_FAILED (4) otherwise.
 */
TQLA_EXPORT int32_t TQLA_API VendorControlIn(CCyUSBDevice* device, uint32_t value,
    uint32_t index, uint32_t length, uint8_t* buffer);

/**
 * Vendor request 0xA2 (the EEPROM request of the EEPROM image), writing.
 *
 * \param[in] device  an FX2 of the open pod.
 * \param[in] value   the request's value: for the EEPROM, the address.
 * \param[in] index   the request's index.
 * \param[in] length  bytes to write (0-65535).
 * \param[in] buffer  length bytes.
 * \returns 1 when the transfer succeeded; #TQLA_REQUEST_FAILED (4) otherwise.
 */
TQLA_EXPORT int32_t TQLA_API VendorControlOut(CCyUSBDevice* device, uint32_t value,
    uint32_t index, uint32_t length, uint8_t* buffer);

/**
 * Reads from a bulk IN endpoint of an FX2.
 *
 * Waits up to 1000 ms. How many bytes arrived is not reported.
 *
 * \param[in]  device    an FX2 of the open pod.
 * \param[in]  endpoint  endpoint number 1, 2, 4, 6 or 8 (address 0x80 | number).
 * \param[in]  length    bytes to read.
 * \param[out] buffer    length bytes.
 * \returns 1 when the transfer succeeded; 0 for another endpoint number, an
 *          endpoint the FX2 does not show, a failed or timed-out transfer, and a
 *          null buffer with a length.
 */
TQLA_EXPORT int32_t TQLA_API BulkIn(CCyUSBDevice* device, uint8_t endpoint, uint32_t length,
    uint8_t* buffer);

/**
 * Writes to a bulk OUT endpoint of the open pod's Digital FX2.
 *
 * Selects alternate setting 1 first when the FX2 is at setting 0. Waits up to
 * 1000 ms.
 *
 * \param[in] endpoint  endpoint number 1, 2, 4, 6 or 8.
 * \param[in] length    bytes to write.
 * \param[in] buffer    length bytes.
 * \returns 1 when the transfer succeeded; 0 for another endpoint number, no open
 *          pod, an endpoint the FX2 does not show, or a failed transfer.
 */
TQLA_EXPORT int32_t TQLA_API BulkOut(uint8_t endpoint, uint32_t length, uint8_t* buffer);

/**
 * Loads a mode image into the Digital FX2 and waits for it to report ready.
 *
 * Selects alternate setting 1, loads the image the mode bits name, then reads
 * the status byte of endpoint 0x81 up to twice (500 ms each). The static-I/O
 * mask is forgotten, so that the next SetSignals() sends its mask again.
 *
 * | Bit 0 | Bit 1 | Bits 2-4 (mode & 0x1C)   | Bit 7 | Image                         |
 * |-------|-------|--------------------------|-------|-------------------------------|
 * | 1     | 1     | 0, 4, 8, 12, 16          | any   | mode images 1 to 5            |
 * | 1     | 0     | 0, 4, 8, 12, 16          | any   | mode images 6 to 10           |
 * | 1     | any   | 20, 24, 28               | any   | none (the ready byte is still awaited) |
 * | 0     | any   | any                      | 1     | mode image 11                 |
 * | 0     | 1     | any                      | 0     | mode image 12                 |
 * | 0     | 0     | any                      | 0     | mode image 13                 |
 *
 * \param[in] mode  the mode bits of the table.
 * \returns 1 when the Digital FX2 then reads 0x55 (#TQLA_POD_READY); 0
 *          otherwise (a failed download shows as a missing ready byte), and
 *          when no pod is open.
 */
TQLA_EXPORT int32_t TQLA_API SetMode(int32_t mode);

/** @} */

/**
 * \defgroup tqla_capture Buffered capture
 * \brief Filling the sample buffer from both FX2 at once, with a trigger and a
 * post-trigger count.
 *
 * The buffer given to StartCapture() is a ring: the Digital FX2 delivers the
 * logic lines, the Analog FX2 the scope bytes, each as 65536-byte blocks, and
 * each block is combined into the sample words in place. A batch is what both
 * FX2 have filled since they last met: 65536 words when either side takes one
 * byte a sample (8 digital channels or 1 scope channel), else 32768. The
 * trigger search skips the first two batches, then looks at each batch as it
 * completes. Once the trigger is found, the capture goes on until the
 * post-trigger samples are stored and then ends by itself.
 *
 * A capture in four steps: StartCapture(); CaptureStatus() polled until it
 * reports not running (or until the host decides to stop); StopCapture(),
 * which rotates the ring so that word 0 is the oldest sample and calibrates
 * the scope bytes; CaptureStatus() once more for the trigger index in the
 * rotated buffer.
 *
 * The transfer threads ask for real-time priority and the process for a higher
 * one where the system grants them, and carry on at normal priority where it
 * does not; the process keeps its raised priority after the run.
 * @{
 */

/** Mode bits 0-1: 16 digital channels. A mode combines one digital and one
 *  scope value, for instance #TQLA_CAPTURE_DIGITAL_16 | #TQLA_CAPTURE_ANALOG_2. */
#define TQLA_CAPTURE_DIGITAL_16 3
/** Mode bits 0-1: 8 digital channels, 0-7 (bits 8-15 of each word keep their
 *  old content). */
#define TQLA_CAPTURE_DIGITAL_8 1
/** Mode bits 0-1: no digital channels; the Digital FX2 then paces the Analog
 *  FX2 at the rate. */
#define TQLA_CAPTURE_DIGITAL_NONE 0
/** Mode bits 2-3: both scope channels. */
#define TQLA_CAPTURE_ANALOG_2 12
/** Mode bits 2-3: scope channel CH1 alone (bits 24-31 of each word keep their
 *  old content). */
#define TQLA_CAPTURE_ANALOG_1 4
/** Mode bits 2-3: no scope channels. */
#define TQLA_CAPTURE_ANALOG_NONE 0
/** The digital bits of a mode (the value 2 there is no configuration). */
#define TQLA_CAPTURE_DIGITAL_MASK 3
/** The scope bits of a mode (the value 8 there is no configuration). */
#define TQLA_CAPTURE_ANALOG_MASK 12

/** Trigger mode: no condition. The trigger is the first word searched (the
 *  first word of the third batch); digital steps are not looked at. */
#define TQLA_TRIGGER_NONE 0
/** Trigger mode: a rising edge of the trigger channel through the level. The
 *  search is armed by a byte below level - 2; the first byte above level after
 *  that is the trigger. Given digital steps, the steps decide instead. */
#define TQLA_TRIGGER_RISING 1
/** Trigger mode: a falling edge through the level. Armed by a byte above
 *  level + 2; the first byte below level after that is the trigger (the modes
 *  4-63 work the same). Given digital steps, the steps decide instead. */
#define TQLA_TRIGGER_FALLING 2
/** Trigger mode: the digital steps decide; without steps the trigger is the
 *  word just before the first word searched. */
#define TQLA_TRIGGER_DIGITAL 3
/** The trigger mode bits (0-5) of StartCapture()'s trigger argument. */
#define TQLA_TRIGGER_MODE_MASK 63
/** Trigger argument bit 6: the scope spike filter. Over each channel's samples,
 *  a sample b after a with d = b - a becomes the sample c after it when
 *  d > 1 and d > c - a, or d < -1 and d < c - a. */
#define TQLA_TRIGGER_GLITCH_FILTER 64
/** The most digital trigger steps StartCapture() takes. */
#define TQLA_TRIGGER_MAX_STEPS 8
/** The status byte of the Digital FX2 once its firmware runs. */
#define TQLA_POD_READY 0x55

/**
 * Starts a buffered capture into a ring of sample words.
 *
 * Loads the capture images into the FX2 in use, waits for the Digital FX2's
 * ready byte, makes buffer the current sample buffer (captured length 0),
 * starts one transfer thread per FX2 in use and sends the Digital FX2 its GO
 * command with the rate. A run still going is ended first.
 *
 * \param[in] mode       channel configuration: one digital value
 *                       (#TQLA_CAPTURE_DIGITAL_16, #TQLA_CAPTURE_DIGITAL_8,
 *                       #TQLA_CAPTURE_DIGITAL_NONE) or'ed with one scope value
 *                       (#TQLA_CAPTURE_ANALOG_2, #TQLA_CAPTURE_ANALOG_1,
 *                       #TQLA_CAPTURE_ANALOG_NONE); at least one side in use.
 * \param[in] trigger    bits 0-5 the trigger mode (#TQLA_TRIGGER_NONE,
 *                       #TQLA_TRIGGER_RISING, #TQLA_TRIGGER_FALLING,
 *                       #TQLA_TRIGGER_DIGITAL), bit 6 #TQLA_TRIGGER_GLITCH_FILTER;
 *                       bit 7 is not read.
 * \param[in] channel    scope channel of an edge trigger: 1 (#TQLA_CH1) CH1,
 *                       any other value CH2.
 * \param[in] level      edge trigger level, a scope byte 0-255 (128 is 0 V).
 * \param[in] rate       rate code (\ref tqla_frame); a code outside the table
 *                       captures at 24 MHz, or with no digital channels at the
 *                       pacing rate last given to the pacing image.
 * \param[in] spare      not read.
 * \param[in] steps      stepCount pairs of words (mask, value): a word meets
 *                       step k when (word & mask) == value, compared over the
 *                       whole word. Steps are met in order, across batches;
 *                       while step k > 0 is sought, a word that no longer meets
 *                       step k - 1 starts the sequence over (that word is not
 *                       tried against step 0). The trigger is the word that
 *                       met the last step. Copied; may be null without steps.
 * \param[in] stepCount  0 to 8 steps; -1 turns the trigger engine off: the
 *                       capture then neither triggers nor ends by itself, and
 *                       its captured length is not counted.
 * \param[in] buffer     the ring; it becomes the current sample buffer. A
 *                       block from MakeBuffer() must hold length words from
 *                       this pointer; a host's own array must hold them too and
 *                       stay allocated until StopCapture() (or ClosePod()) has
 *                       returned.
 * \param[in] length     ring length in words, a nonzero multiple of 65536.
 * \param[in] post       post-trigger samples, rounded down to a multiple of
 *                       65536. The rest of the trigger's batch does not count
 *                       toward them. A trigger found before the ring is full
 *                       stretches them to fill the room left, less the batch.
 * \returns 1 when the run has started; 0, before anything is loaded, for mode
 *          bits 0-1 = 2 or 2-3 = 8, a mode without channels, stepCount below
 *          -1 or above 8, null steps with steps to copy, a null buffer, a
 *          length that is not a nonzero multiple of 65536, a length past the
 *          end of a block from MakeBuffer(), no open pod, or the threads of an
 *          earlier run that do not end within 5 s; 0 when a download fails or
 *          the Digital FX2 in use sends no ready byte within 2 s.
 */
TQLA_EXPORT int32_t TQLA_API StartCapture(uint32_t mode, uint32_t trigger, uint32_t channel,
    uint32_t level, uint32_t rate, uint32_t spare, TqlaULong* steps, int32_t stepCount,
    TqlaULong* buffer, TqlaULong length, TqlaULong post);

/**
 * The state of the capture, for a host to poll while it runs.
 *
 * Every output may be null, and is then skipped.
 *
 * \param[out] breaks     while running, the break counters the FX2 in use
 *                        report now (a counter of 252 reads as 0) plus the
 *                        blocks the host dropped, as a byte; after the run, the
 *                        low byte of the final count.
 * \param[out] running    1 while the transfer threads go on; 0 once the run has
 *                        completed, was stopped or failed.
 * \param[out] triggered  1 once the trigger has been found.
 * \param[out] start      ring index of the oldest valid sample.
 * \param[out] end        ring index just after the newest sample.
 * \param[out] triggerAt  index of the trigger sample: in the ring while the run
 *                        goes, in the rotated buffer after StopCapture().
 * \param[out] percent    the share of the post-trigger samples stored, 0-100; 0
 *                        before the trigger.
 * \returns the break count: while running the sum given in breaks as a signed
 *          byte, after the run the FX2 counters read at its end plus the
 *          dropped blocks; nonzero means samples were lost. -1 when the run
 *          failed: an FX2 stopped answering, or one FX2 fell a batch behind the
 *          other for 1 s (TqlaLastError() says which).
 */
TQLA_EXPORT int32_t TQLA_API CaptureStatus(char* breaks, char* running, char* triggered,
    TqlaLong* start, TqlaLong* end, TqlaLong* triggerAt, char* percent);

/**
 * Reads the status byte of the Digital FX2.
 *
 * #TQLA_POD_READY (0x55) once its firmware runs; otherwise the break counter
 * of the firmware. The call also marks a run as going: CaptureStatus() then
 * reports running until a stop.
 *
 * \returns the byte, 0-255; 0 when the read fails or no pod is open.
 */
TQLA_EXPORT int32_t TQLA_API SingleCaptureStatus(void);

/**
 * Ends the capture, rotates the ring and calibrates the scope bytes.
 *
 * Reads the final break counters, ends the run and waits up to 5 s for the
 * transfer threads; rotates the buffer so that word 0 holds the oldest sample
 * (the trigger index moves with it); then reads the calibration constants from
 * the EEPROM (which loads the EEPROM image into the Digital FX2) and corrects
 * the scope bytes of every word of the buffer with CalibrateScope(). When the
 * constants cannot be read, the scope bytes stay as captured. Call it also
 * after a capture that ended by itself. After a stream with a streaming image
 * it sends the stop command, waits 500 ms, then for the thread, and rotates
 * without calibrating.
 *
 * \returns 1; 0 when the threads do not stop within 5 s (the ring is then left
 *          as it is).
 */
TQLA_EXPORT int32_t TQLA_API StopCapture(void);

/**
 * Ends the capture, rotates the ring and splits it into two arrays of
 * alternate words.
 *
 * For i below half the buffer length, word i becomes word 2i and word i of the
 * second sample array word 2i + 1. The trigger index is halved, and lowered by
 * 5 (not below 0) when the trigger mode was not 0; the captured length is
 * halved. No calibration.
 *
 * \returns 1; 0 when the threads do not stop within 5 s (nothing is rotated or
 *          split), or when the second sample array cannot be made (the ring is
 *          rotated but not split).
 */
TQLA_EXPORT int32_t TQLA_API StopCapture16(void);

/**
 * StopCapture16() followed by the calibration of StopCapture().
 *
 * \returns 0, always: TqlaLastError() tells a failure.
 */
TQLA_EXPORT int32_t TQLA_API StopCaptureMSO(void);

/**
 * A short capture that reports the mean scope levels and the digital lines.
 *
 * Makes a buffer of 131072 words, captures 16 digital and both scope channels
 * at 1 MHz without a trigger condition until the run ends by itself, loses
 * data, fails or 10 s pass, stops it (with calibration), frees the buffer and
 * makes the host's previous buffer current again with its captured length.
 * A run still going is ended first.
 *
 * \param[out] ch1      CH1's mean level in hundredths of a volt:
 *                      trunc((mean byte - 128) * 0.078125 * 100).
 * \param[out] ch2      CH2's, the same way.
 * \param[out] digital  bits 0-15 of word 100.
 * \returns 1; 0, with the outputs untouched, when no capture could be started
 *          (no open pod, no memory).
 */
TQLA_EXPORT TqlaULong TQLA_API GetAllSignals(TqlaLong* ch1, TqlaLong* ch2, TqlaULong* digital);

/** @} */

/**
 * \defgroup tqla_stream Streaming capture
 * \brief The Digital FX2's samples handed to the host without end, as whole
 * 64 KiB blocks.
 *
 * Each 65536-byte block that arrives is mapped to channel order and put into a
 * ring of 200 blocks, from which the host takes whole blocks with
 * GetNextStreamBuffer() as fast as it can; one slot always stays empty, so at
 * most 199 blocks wait. There is no trigger and no scope data. Every byte of a
 * block is mapped as a sample of channels 0-7, with both starts: with the
 * 16-channel capture image (#TQLA_STREAM_CLOCK_INTERNAL of
 * StartStreamingCapture16()) the second byte of each pair is mapped the same
 * way, not as channels 8-15.
 *
 * One thread takes the blocks from the pod and the host thread takes them from
 * the ring, without a lock.
 *
 * \par Choice
 * The host gets whole blocks only: a transfer that ends part filled is
 * dropped, and shows as a lost block (StreamBufferOverflow()).
 * @{
 */

/** Bytes of a stream block. */
#define TQLA_STREAM_BLOCK_BYTES 65536
/** Slots of the stream ring; at most one less are filled at a time. */
#define TQLA_STREAM_SLOTS 200
/** Clock mode: the streaming image of mode 1, which takes the stop command. */
#define TQLA_STREAM_CLOCK_IMAGE1 1
/** Clock mode: the 8- or 16-channel capture image at the rate code's internal
 *  timing, whose thread is the capture's; it takes no stop command. */
#define TQLA_STREAM_CLOCK_INTERNAL 2
/** Clock modes 4 to 9 load the streaming images 4 to 9, one each, which take
 *  the stop command; this is the first of them. */
#define TQLA_STREAM_CLOCK_IMAGE_FIRST 4
/** The last of the clock modes with a streaming image of their own. */
#define TQLA_STREAM_CLOCK_IMAGE_LAST 9

/**
 * Starts a stream, 8-bit form.
 *
 * Empties the stream ring, loads the image of the clock mode into the Digital
 * FX2, waits for its ready byte, starts the transfer thread and sends GO with
 * the rate. A run still going is ended first.
 *
 * \param[in] rate       rate code (\ref tqla_frame); a code outside the table
 *                       streams at 24 MHz.
 * \param[in] clockMode  #TQLA_STREAM_CLOCK_IMAGE1, #TQLA_STREAM_CLOCK_INTERNAL
 *                       or 4 to 9.
 * \param[in] steps      stepCount pairs of bytes (mask, value); up to 8 pairs
 *                       are kept, and a stream never evaluates them. May be
 *                       null.
 * \param[in] stepCount  number of pairs.
 * \param[in] buffer     not read.
 * \param[in] length     becomes the current sample buffer's length (its
 *                       pointer stays as it is).
 * \param[in] post       kept as the post-trigger count, which a stream does not
 *                       use.
 * \returns 1 when the stream has started; 0 for a clock mode without an image
 *          (3, 0 and above 9), no open pod, an earlier run that does not end
 *          within 5 s, a failed download, or no ready byte within 2 s.
 * \par Choice
 * A clock mode that loads no image would stream with whatever program the FX2
 * ran last; it is refused.
 */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture(uint32_t rate, uint32_t clockMode,
    uint8_t* steps, int32_t stepCount, uint8_t* buffer, TqlaULong length, TqlaULong post);

/**
 * Starts a stream, 16-bit form: 32-bit step pairs and a word buffer.
 *
 * As StartStreamingCapture(); clock mode #TQLA_STREAM_CLOCK_INTERNAL loads
 * the 16-channel capture image.
 *
 * \param[in] rate       rate code; outside the table, 24 MHz.
 * \param[in] clockMode  #TQLA_STREAM_CLOCK_IMAGE1, #TQLA_STREAM_CLOCK_INTERNAL
 *                       or 4 to 9.
 * \param[in] steps      stepCount pairs of words (mask, value); up to 8 pairs
 *                       are kept and never evaluated. May be null.
 * \param[in] stepCount  number of pairs.
 * \param[in] buffer     becomes the current sample buffer, with length words;
 *                       the stream writes nothing into it.
 * \param[in] length     its length in words.
 * \param[in] post       kept as the post-trigger count, unused.
 * \returns 1 when the stream has started; 0 as StartStreamingCapture().
 */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture16(uint32_t rate, uint32_t clockMode,
    TqlaULong* steps, int32_t stepCount, TqlaULong* buffer, TqlaULong length, TqlaULong post);

/**
 * Takes the oldest filled block of the stream ring.
 *
 * Copies its 65536 bytes and frees its slot. Blocks left in the ring after
 * StopStream() stay readable until the next start.
 *
 * \param[out] destination  #TQLA_STREAM_BLOCK_BYTES (65536) bytes.
 * \returns 1 when a block was copied; 0 when none is filled or destination is
 *          null.
 */
TQLA_EXPORT uint8_t TQLA_API GetNextStreamBuffer(uint8_t* destination);

/**
 * The number of filled blocks waiting in the stream ring.
 *
 * \returns 0-199.
 */
TQLA_EXPORT TqlaULong TQLA_API StreamBufferCount(void);

/**
 * The number of free slots of the stream ring.
 *
 * \returns 0-199: 199 less the filled blocks.
 */
TQLA_EXPORT TqlaULong TQLA_API StreamBuffersLeft(void);

/**
 * Whether a block was lost since the last call, clearing the mark.
 *
 * A full ring loses the new block, never an old one; a transfer that ended
 * part filled is dropped too.
 *
 * \returns 1 when a block was lost; 0 otherwise.
 */
TQLA_EXPORT char TQLA_API StreamBufferOverflow(void);

/**
 * Ends the stream.
 *
 * With a streaming image (clock modes 1 and 4-9) sends the stop command and
 * waits 500 ms; then waits up to 5 s for the transfer thread.
 *
 * \returns 1; 0 when the thread does not stop within 5 s.
 */
TQLA_EXPORT int32_t TQLA_API StopStream(void);

/** @} */

/**
 * \defgroup tqla_scope Calibration and diagnostics
 * \brief Scope calibration, single scope values, the speed test and the
 * search of a finished buffer for a step sequence.
 * @{
 */

/**
 * Corrects the scope bytes of the current buffer with offset and gain
 * constants, in time slices.
 *
 * The stops call it with the constants of the pod's EEPROM; a host calls it
 * for data of its own. Each raw byte b of a channel becomes
 * trunc((b - offset) * gain / 0.078125 + 128), limited to 0-255, through a
 * table per channel built at the start of a pass. Every word of the buffer is
 * corrected, both channels, captured or not. Do not call it while a capture
 * writes into the buffer.
 *
 * \param[in] offset1  CH1's offset: the raw byte that reads 0 V, with 20
 *                     fraction bits (128 << 20 reads raw bytes as they are).
 * \param[in] gain1    CH1's gain: volts per raw step, with 20 fraction bits
 *                     (81920, 0.078125 * 2^20, keeps the scale). The EEPROM
 *                     words, with 24 fraction bits, are shifted right by 4.
 * \param[in] offset2  CH2's offset, as offset1.
 * \param[in] gain2    CH2's gain, as gain1.
 * \returns 0 when the whole buffer is done; -1 when the pass stopped because
 *          the millisecond tick changed (checked every 65536 words): call again
 *          with the same arguments until 0 comes. A pass's tables are built
 *          from the arguments of its first call.
 */
TQLA_EXPORT int32_t TQLA_API CalibrateScope(TqlaULong offset1, TqlaULong gain1, TqlaULong offset2,
    TqlaULong gain2);

/**
 * The scope byte of one sample of the current buffer.
 *
 * \param[in] index    sample index; one at or past the end reads the last word.
 * \param[in] channel  1 (#TQLA_CH1) for CH1, any other value for CH2.
 * \returns the byte, 0-255; 0 for an empty buffer or a negative index.
 */
TQLA_EXPORT TqlaLong TQLA_API ScopeData(TqlaLong index, TqlaULong channel);

/**
 * Sets the words of the second sample array to 0.
 *
 * \returns 1.
 * \par Choice
 * Only the words that exist are cleared (at most the buffer length): an array
 * never made reads as zeros already, and this call never allocates.
 */
TQLA_EXPORT TqlaLong TQLA_API ClearScopeData(void);

/**
 * A constant of the host API, kept for hosts that ask for it.
 *
 * \returns 123, always.
 */
TQLA_EXPORT int32_t TQLA_API GetGain(void);

/**
 * Measures whether the pod and the host's USB path capture 8 channels at a
 * rate without losing data.
 *
 * Runs a capture of 8 channels with the trigger engine off into a ring of its
 * own for 5 s and reads the break count. The host's current buffer is current
 * again afterwards. A run still going is ended first.
 *
 * \param[in] rate  rate code (\ref tqla_frame).
 * \returns rate when nothing was lost; 0 when data was lost, the capture could
 *          not start, or its threads did not stop.
 */
TQLA_EXPORT int32_t TQLA_API TestIt(uint8_t rate);

/**
 * The highest rate code at which the pod captures without losing data.
 *
 * Tries TestIt() with the rate codes from 247 down to 17, 5 s each (up to
 * 45 s).
 *
 * \returns the first code that passes; 0 when even 17 fails.
 */
TQLA_EXPORT int32_t TQLA_API SpeedTest(void);

/**
 * Searches the current buffer for a sequence of byte steps, so that a host can
 * jump to an occurrence.
 *
 * A word meets a step (mask, value) when (word & mask) == value; masks and
 * values are bytes, so only channels 0-7 count.
 *
 * \param[in] steps      stepCount pairs of bytes (mask, value).
 * \param[in] stepCount  number of steps.
 * \param[in] position   where the search starts (forward) or stops (backward).
 * \param[in] forward    nonzero: from position forward, each step in turn is
 *                       met by the first word at or after the current position,
 *                       which then moves past that word (a step with the
 *                       position at or past the end is passed over). 0: the
 *                       sequence is sought from word 0, again and again from
 *                       just after the last occurrence found, among the words
 *                       before position - 1 (the word at position - 1 is never
 *                       examined); the last occurrence found counts.
 * \returns the index just after the word that met the last step; -1 when a
 *          forward step is not found, when the backward search finds no whole
 *          occurrence, and for null steps with a count. A forward search
 *          without steps returns position.
 * \par Choices
 * The backward search without steps would never advance: it returns -1. Words
 * past the end of the buffer are never examined, whatever position says.
 */
TQLA_EXPORT TqlaLong TQLA_API SearchForTrigger(uint8_t* steps, TqlaULong stepCount,
    TqlaULong position, TqlaULong forward);

/** @} */

/**
 * \defgroup tqla_pattern Generator buffer and pattern editing
 * \brief Composing a pattern for the generator in the sample buffer, in the
 * plain or the packed layout.
 *
 * Plain layout: word i is pattern sample i; bits 0-15 drive channels 0-15.
 * Packed layout (the calls ending in SG): two 16-bit samples per word, sample
 * 2k in bits 16-31 of word k and sample 2k + 1 in bits 0-15, which halves the
 * memory of long patterns. Indexes of the packed calls count 16-bit samples,
 * so a packed buffer of L words holds 2L samples. Both layouts live in the
 * current sample buffer: make it with MakeBuffer() or MakeBufferSG(), edit it
 * here, and hand it to a generation start (\ref tqla_generate).
 * @{
 */

/** Shift of a vector's value (an input byte) in a CreateVectors() word. */
#define TQLA_VECTOR_VALUE_SHIFT 12
/** Bits of a vector's count in a CreateVectors() word (a count above 4095
 *  carries into the value). */
#define TQLA_VECTOR_COUNT_MASK 0xFFFu

/**
 * Makes a packed pattern buffer and makes it the current sample buffer.
 *
 * Every word reads 0xCCCCCCCC; the buffer length and the captured length
 * become samples / 2 words. The buffer before stays allocated and the host's.
 *
 * \param[in] samples  16-bit samples, a whole multiple of 65536.
 * \returns the new block, the host's until DeleteBuffer(); null when samples is
 *          not a multiple of 65536 or free memory cannot hold it (the current
 *          buffer then stays as it was).
 */
TQLA_EXPORT TqlaULong* TQLA_API MakeBufferSG(TqlaULong samples);

/**
 * The largest packed pattern, in 16-bit samples, that free memory suggests.
 *
 * The rule of GetMaxBufferSize(), divided by 2 bytes a sample instead of 4.
 *
 * \returns a sample count from 2,981,888 to 1,073,709,056.
 */
TQLA_EXPORT TqlaULong TQLA_API GetMaxBufferSizeSG(void);

/**
 * Stores one word of a plain-layout pattern.
 *
 * \param[in] index  word index.
 * \param[in] value  the word.
 * \returns 1; 0 when index is at or past the end of the buffer (or there is no
 *          buffer).
 */
TQLA_EXPORT TqlaLong TQLA_API SetData(TqlaULong index, TqlaULong value);

/**
 * Stores one 16-bit sample of a packed pattern.
 *
 * The other sample of the word is left as it is.
 *
 * \param[in] index  sample index.
 * \param[in] value  the sample in its low 16 bits.
 * \returns 1; 0 when index / 2 is at or past the end of the buffer.
 */
TQLA_EXPORT TqlaLong TQLA_API SetDataSG(TqlaULong index, TqlaULong value);

/**
 * Sets or clears one channel over a range of plain-layout words.
 *
 * first and last are each limited to 0 to the last word and swapped when out
 * of order; every word from first to last, both included, is changed.
 *
 * \param[in] first    first word index (may be negative or past the end).
 * \param[in] last     last word index.
 * \param[in] channel  bit of the word; its low five bits count, so 16-31 edit
 *                     the scope bytes.
 * \param[in] level    nonzero sets the bit, 0 clears it.
 * \returns 1; 0 for an empty buffer, which is left alone.
 */
TQLA_EXPORT TqlaLong TQLA_API SetBlockData(TqlaLong first, TqlaLong last, uint8_t channel,
    uint8_t level);

/**
 * Sets or clears one channel over a range of packed samples.
 *
 * A first or last whose half is at or past the buffer length becomes the last
 * sample, a negative one 0; they are swapped when out of order.
 *
 * \param[in] first    first sample index.
 * \param[in] last     last sample index, included.
 * \param[in] channel  channel 0-15 of each sample (low five bits count: the bit
 *                     changed is channel + 16 modulo 32 for even samples).
 * \param[in] level    nonzero sets, 0 clears.
 * \returns 1; 0 for an empty buffer, which is left alone.
 */
TQLA_EXPORT TqlaLong TQLA_API SetBlockDataSG(TqlaLong first, TqlaLong last, uint8_t channel,
    uint8_t level);

/**
 * Reads one word of a plain-layout pattern.
 *
 * \param[in] index  word index; one at or past the end reads the last word.
 * \returns the word's bits; 0 for an empty buffer.
 */
TQLA_EXPORT TqlaLong TQLA_API LoggedData(TqlaULong index);

/**
 * Reads one 16-bit sample of a packed pattern.
 *
 * \param[in] index  sample index; one at or past the end reads the last sample
 *                   (bits 0-15 of the last word).
 * \returns the sample, 0-65535; 0 for an empty buffer.
 */
TQLA_EXPORT TqlaLong TQLA_API LoggedDataSG(TqlaULong index);

/**
 * Run-length encodes bytes into value-and-count vectors.
 *
 * Each vector is (value << 12) + count, and a word 0 ends the list. A run's
 * count includes the byte that ended it: the bytes A A B B B C give (A, 3),
 * (B, 3), (C, 0), 0. All counts add up to count.
 *
 * \param[in]  bytes    count bytes.
 * \param[out] vectors  one word per run plus the final 0; the call does not
 *                      know its size.
 * \param[in]  count    bytes to encode.
 * \par Choices
 * With count 0 or null bytes only the final 0 is written; with null vectors
 * nothing is.
 */
TQLA_EXPORT void TQLA_API CreateVectors(uint8_t* bytes, TqlaULong* vectors, TqlaULong count);

/** @} */

/**
 * \defgroup tqla_generate Generation runs
 * \brief Playing a pattern out of the pod's digital lines at a rate, once or
 * in a loop.
 *
 * A start loads the generator image into the Digital FX2, waits for the pod's
 * greeting, makes the pattern the current sample buffer, starts an output
 * thread that keeps 32 transfers of 64 KiB queued, and sends the pod the
 * waveform that sets its output timing. The host polls GenerateStatus() and
 * ends the run with StopGenerate(); a run that plays its pattern once ends by
 * itself once the pattern's last block is confirmed.
 *
 * Every start returns 1 once its output thread runs and the pod has its
 * timing; 0 for a rate code outside the table, a mode whose low seven bits
 * pass 4, a null or empty pattern, a length past the end of a block from
 * MakeBuffer(), no open pod, an earlier run that does not end within 5 s, a
 * failed download, or a pod that does not greet within 2 s. A start ends any
 * capture, stream or run still going, as a capture start does. A pattern must
 * stay allocated until its run has stopped.
 *
 * Once a pattern played once is used up, the lines hold the idle word: the
 * pattern's last word (for StartGenerate(), its third-last). A pod that takes
 * no block at all within 5 s ends the run as failed.
 *
 * \par Choices
 * A length that is not a whole number of 64 KiB blocks is padded with the idle
 * word; a loop goes on from the pattern's start in the middle of a block,
 * without a seam.
 * @{
 */

/** Output width 8: channels 0-7, one byte a sample. Any other width outputs
 *  channels 0-15, two bytes a sample. */
#define TQLA_GENERATE_WIDTH_8 8
/** Output width 16: channels 0-15. */
#define TQLA_GENERATE_WIDTH_16 16
/** The mode bits (0-6) that pick one of the five waveforms, 0 to 4, of the
 *  Digital FX2's programmable interface; what each does on the lines is the
 *  generator firmware's. */
#define TQLA_GENERATE_WAVEFORM_MASK 0x7F
/** Number of waveforms a mode can pick. */
#define TQLA_GENERATE_WAVEFORMS 5
/** Mode bit 7: the waveforms' second set of control outputs. */
#define TQLA_GENERATE_OUTPUT_SET_2 0x80

/**
 * Plays a plain-layout pattern once.
 *
 * Rewrites the pattern's last two words with its third-last, which is also
 * the idle word (with fewer than three words, nothing is rewritten and the
 * idle word is the last).
 *
 * \param[in] width    #TQLA_GENERATE_WIDTH_8, or any other value for 16
 *                     channels.
 * \param[in] rate     rate code (\ref tqla_frame): the output sample rate.
 * \param[in] mode     waveform 0-4 (#TQLA_GENERATE_WAVEFORM_MASK), optionally
 *                     with #TQLA_GENERATE_OUTPUT_SET_2.
 * \param[in] pattern  length words; it becomes the current sample buffer.
 * \param[in] length   pattern length in words.
 * \returns 1 when the run has started; 0 as the group says.
 */
TQLA_EXPORT int32_t TQLA_API StartGenerate(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length);

/**
 * Plays a packed pattern once.
 *
 * \param[in] width    #TQLA_GENERATE_WIDTH_8, or any other value for 16
 *                     channels.
 * \param[in] rate     rate code.
 * \param[in] mode     waveform and output set, as StartGenerate().
 * \param[in] pattern  length / 2 words; it becomes the current sample buffer.
 * \param[in] length   pattern length in 16-bit samples (an odd last sample is
 *                     not played).
 * \returns 1 when the run has started; 0 as the group says.
 */
TQLA_EXPORT int32_t TQLA_API StartGenerateSG(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length);

/**
 * Plays a plain-layout pattern, once or in a loop.
 *
 * Leaves the pattern as it is; the idle word is its last word.
 *
 * \param[in] width    #TQLA_GENERATE_WIDTH_8, or any other value for 16
 *                     channels.
 * \param[in] rate     rate code.
 * \param[in] mode     waveform and output set, as StartGenerate().
 * \param[in] pattern  length words; it becomes the current sample buffer.
 * \param[in] length   pattern length in words.
 * \param[in] loop     nonzero repeats the pattern until StopGenerate(); 0 plays
 *                     it once.
 * \returns 1 when the run has started; 0 as the group says.
 */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerate(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);

/**
 * Plays a packed pattern, once or in a loop.
 *
 * \param[in] width    #TQLA_GENERATE_WIDTH_8, or any other value for 16
 *                     channels.
 * \param[in] rate     rate code.
 * \param[in] mode     waveform and output set, as StartGenerate().
 * \param[in] pattern  length / 2 words; it becomes the current sample buffer.
 * \param[in] length   pattern length in 16-bit samples.
 * \param[in] loop     nonzero repeats until StopGenerate(); 0 plays once.
 * \returns 1 when the run has started; 0 as the group says.
 */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerateSG(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);

/**
 * Plays the transfer queue's 32 blocks of 64 KiB again and again, as 8-bit
 * samples.
 *
 * Loads the 8-bit generator image (the output width of the last run stays),
 * sets the variable-loop length to length and its position to 0 as
 * ChangeBufferLength() does, and fills the 32 blocks with the pattern's
 * first 2 MiB of samples, channels 0-7 of each word (repeated when the pattern
 * is shorter). The blocks then go out as they stand.
 *
 * \param[in] rate     rate code.
 * \param[in] mode     waveform and output set, as StartGenerate().
 * \param[in] pattern  length words; it becomes the current sample buffer.
 * \param[in] length   pattern length in words.
 * \param[in] loop     nonzero goes on until StopGenerate(); 0 ends once length
 *                     samples, rounded up to whole blocks, have gone out.
 * \returns 1 when the run has started; 0 as the group says.
 */
TQLA_EXPORT int32_t TQLA_API StartVariableLoopGenerate(uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);

/**
 * The state of the generation run, for a host to poll while it plays.
 *
 * Every output may be null, and is then skipped.
 *
 * \param[out] podStatus  the Digital FX2's status byte (the second of two
 *                        reads): the generator counts there the times it ran
 *                        out of data and held the lines (underruns).
 * \param[out] running    1 while the output thread sends.
 * \param[out] started    1 once the pod has confirmed the first block.
 * \param[out] percent    the share of the pattern confirmed, 0-100, 0 before the
 *                        start; a loop starts over at 0 with every pass.
 * \returns the status byte, 0-255; 0 when it cannot be read (TqlaLastError()
 *          says so).
 */
TQLA_EXPORT int32_t TQLA_API GenerateStatus(char* podStatus, char* running, char* started,
    char* percent);

/**
 * Ends the generation run.
 *
 * \returns 1, at once when nothing runs; 0 when the output thread does not
 *          stop within 5 s.
 */
TQLA_EXPORT int32_t TQLA_API StopGenerate(void);

/** @} */

/**
 * \defgroup tqla_io Static I/O and pulse counting
 * \brief Driving and reading the lines directly, and counting their edges.
 *
 * SetSignals() and GetSignals() run on the firmware the host loaded with
 * SetMode() and load none themselves; their mask is applied by that firmware.
 * Values and masks are in channel order here and cross the wire in pin order,
 * two bytes a value.
 *
 * Pulse counting streams the lines with the capture images and counts the
 * level changes of every channel on a thread at normal priority. Every change
 * counts, rising and falling alike, so a whole pulse adds 2; a change counts
 * only when the sample that completes it qualifies: (sample & qualifierMask)
 * == qualifierValue. The counters wrap at 2^32 and keep their values after
 * the stop until the next start.
 * @{
 */

/** The most values SetSignals() sends at once. */
#define TQLA_SET_SIGNALS_MAX 16383
/** The most values GetSignals() reads at once (its reply's 64 KiB). */
#define TQLA_GET_SIGNALS_MAX 32768

/**
 * Drives a short sequence of values on the lines.
 *
 * When mask differs from the last mask sent, the mask command goes out first;
 * then the values, on endpoint 0x02 of the Digital FX2.
 *
 * \param[in] mask    the lines the firmware is to drive, bit n for channel n.
 * \param[in] count   values to send, 0 to 16,383 (#TQLA_SET_SIGNALS_MAX); 0
 *                    sends only a changed mask.
 * \param[in] values  count values, bits 0-15 one per channel.
 * \returns 1; 0 for more than 16,383 values, null values with a count, no open
 *          pod, a mask command that fails, or values not all sent.
 */
TQLA_EXPORT int32_t TQLA_API SetSignals(TqlaULong mask, uint32_t count, TqlaULong* values);

/**
 * Reads a short sequence of values of the lines.
 *
 * Sends the read command (mask and count) every time, then reads the reply
 * from endpoint 0x86, waiting up to 1000 ms.
 *
 * \param[in]  mask    the lines the firmware is to read.
 * \param[in]  count   values to read, 0 to 32,768 (#TQLA_GET_SIGNALS_MAX); 0
 *                     sends only the command.
 * \param[out] values  count values, bits 0-15 one per channel.
 * \returns 1; 0 for more than 32,768 values, null values with a count, no open
 *          pod, a command or read that fails, or a reply shorter than asked
 *          (values are then untouched).
 */
TQLA_EXPORT int32_t TQLA_API GetSignals(TqlaULong mask, uint32_t count, TqlaULong* values);

/**
 * Starts counting the edges of every channel.
 *
 * Loads the capture image of the width, waits for the ready byte, sets the
 * sixteen counters to 0, starts the counting thread and sends GO with the
 * rate. A run still going is ended first.
 *
 * \param[in] width           8 counts channels 0-7 (counters 8-15 stay 0); any
 *                            other value all sixteen.
 * \param[in] rate            rate code (\ref tqla_frame).
 * \param[in] qualifierMask   channels a sample must show qualifierValue on to
 *                            count; 0 with qualifierValue 0 counts every change.
 * \param[in] qualifierValue  their levels (a bit outside qualifierMask makes no
 *                            sample qualify).
 * \returns 1 when counting has started; 0 for a rate code outside the table, no
 *          open pod, an earlier run that does not end within 5 s, a failed
 *          download, or no ready byte within 2 s.
 */
TQLA_EXPORT int32_t TQLA_API StartPulseCount(uint8_t width, uint32_t rate, TqlaULong qualifierMask,
    TqlaULong qualifierValue);

/**
 * Stores the sixteen edge counters, channel 0 first.
 *
 * May be called while counting runs; every value read is one a counter held.
 * Every output may be null, and is then skipped.
 *
 * \param[out] count0,count1,count2,count3,count4,count5,count6,count7,count8,count9,count10,count11,count12,count13,count14,count15
 *             the counters of channels 0 to 15 (each wraps at 2^32).
 * \returns 0.
 */
TQLA_EXPORT TqlaLong TQLA_API GetPulseCount(TqlaLong* count0, TqlaLong* count1, TqlaLong* count2,
    TqlaLong* count3, TqlaLong* count4, TqlaLong* count5, TqlaLong* count6, TqlaLong* count7,
    TqlaLong* count8, TqlaLong* count9, TqlaLong* count10, TqlaLong* count11, TqlaLong* count12,
    TqlaLong* count13, TqlaLong* count14, TqlaLong* count15);

/**
 * Ends pulse counting.
 *
 * \returns 1, at once when nothing runs; 0 when the thread does not stop
 *          within 5 s.
 */
TQLA_EXPORT int32_t TQLA_API StopPulseCount(void);

/**
 * Counts the edges in bytes of raw pod samples into the counters.
 *
 * The counting rule of the counting thread, which calls it for every block:
 * samples in pin order as the pod sends them, one byte each at width 8, two
 * (bits 0-7, then 8-15) at width 16, at the width of the last
 * StartPulseCount() (16 before any). The first sample after StartPulseCount()
 * only sets the previous sample. Needs the pin maps of InitializeTQPod().
 *
 * \param[in] bytes   length bytes; an odd last byte at width 16 is left over.
 * \param[in] length  bytes.
 * \returns 0.
 */
TQLA_EXPORT TqlaLong TQLA_API CountEdges(uint8_t* bytes, uint32_t length);

/**
 * Counts the level changes of every channel over the current buffer.
 *
 * Result b is the number of successive word pairs, over the buffer length,
 * whose bit b differs; the first word never counts. The pulse counters are
 * neither read nor changed. Every output may be null, and is then skipped.
 *
 * \param[out] count0,count1,count2,count3,count4,count5,count6,count7,count8,count9,count10,count11,count12,count13,count14,count15
 *             the changes of channels 0 to 15; zeros for an empty buffer.
 * \returns 0.
 */
TQLA_EXPORT TqlaLong TQLA_API CountEdgesInBuffer(TqlaLong* count0, TqlaLong* count1,
    TqlaLong* count2, TqlaLong* count3, TqlaLong* count4, TqlaLong* count5, TqlaLong* count6,
    TqlaLong* count7, TqlaLong* count8, TqlaLong* count9, TqlaLong* count10, TqlaLong* count11,
    TqlaLong* count12, TqlaLong* count13, TqlaLong* count14, TqlaLong* count15);

/** @} */

/**
 * \defgroup tqla_files Capture files and sample sections
 * \brief Saving a capture with the host's settings and opening it again, and
 * sample sections appended to a host's own file.
 *
 * The capture files hold the host's settings as raw bytes of its own
 * variables, which the library copies without interpreting them, and the
 * samples. Three layouts, one per save and open pair; nothing in a file tells
 * its layout, so a host opens a file with the call that matches the one that
 * saved it. Multi-byte fields are 32-bit little-endian.
 *
 * | Offset        | Bytes | Content                                            |
 * |---------------|-------|----------------------------------------------------|
 * | 0             | 160   | t1 to t8: exactly 20 bytes of each host text, bytes after its NUL included |
 * | 160           | 1     | the header byte                                    |
 * | 161           | N     | plain layout (SaveFileData()): the data block      |
 * | 161           | 4     | configuration layouts: the stored length            |
 * | 165           | 35    | configuration bytes c1 to c35                      |
 * | 200           | 32    | SaveFileDataAndConfig(): words w1 to w8; data block at 232 |
 * | 200           | 52    | SaveFileDataAndConfig16(): words w1 to w13         |
 * | 252           | 1     | SaveFileDataAndConfig16(): the trailing byte       |
 * | 253           | N     | SaveFileDataAndConfig16(): first data block, from the sample buffer |
 * | 253 + N       | N     | SaveFileDataAndConfig16(): second data block, from the second sample array |
 *
 * A data block holds N bytes, N being the buffer length in words taken as a
 * byte count: the first N / 4 sample words (byte 4k is bits 0-7 of word k).
 * The configuration readers read the stored length, as bytes, for each block:
 * a file reads back right when the host stored the buffer length there. So a
 * plain file is 161 + N bytes long, a configuration file 232 + N, one with the
 * second block 253 + 2N.
 *
 * A sample section is the marker "[Samples]" (9 bytes, no terminator)
 * followed by sample words of 4 bytes each, appended to a file of any content;
 * a file may hold several, and the reader takes the first.
 *
 * Every call opens and closes its file within the call. A field pointer that
 * is null writes zeros and reads into nothing.
 *
 * \par Choices
 * Writes are checked: a save returns 0 when a write or the final close fails
 * (a full disk), leaving the file as far as it got. Data past the real storage
 * of a buffer is saved as zeros, and no read stores past it. A second sample
 * array that was never made is saved as zeros.
 * @{
 */

/**
 * Saves the current buffer in the plain layout.
 *
 * \param[in] t1,t2,t3,t4,t5,t6,t7,t8  host texts; 20 bytes of each are written.
 * \param[in] headerByte               the header byte.
 * \param[in] fileName                 the file, created or truncated.
 * \returns 1; 0 when the file cannot be created or a write or its close fails.
 */
TQLA_EXPORT int32_t TQLA_API SaveFileData(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, const char* fileName);

/**
 * Opens a plain-layout file into the host's variables and the sample buffer.
 *
 * Reads the head back (20 bytes into each text, no NUL added), then up to the
 * buffer length in bytes into the start of the sample buffer. The buffer length
 * becomes the number of bytes read; the captured length stays. Fields past the
 * end of a short file keep their old contents.
 *
 * \param[out] t1,t2,t3,t4,t5,t6,t7,t8  20 bytes each.
 * \param[out] headerByte               the header byte.
 * \param[in]  fileName                 the file.
 * \returns the data bytes read (at most what the buffer's storage holds); 0
 *          when the file cannot be opened.
 */
TQLA_EXPORT TqlaLong TQLA_API OpenFileData(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, const char* fileName);

/**
 * Saves the current buffer in the configuration layout.
 *
 * \param[in] t1,t2,t3,t4,t5,t6,t7,t8  host texts; 20 bytes of each.
 * \param[in] headerByte               the header byte.
 * \param[in] storedLength             the stored length: pass the buffer
 *                                     length, which the reader uses as the
 *                                     block's length.
 * \param[in] c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21,c22,c23,c24,c25,c26,c27,c28,c29,c30,c31,c32,c33,c34,c35
 *                                     configuration bytes, one byte each.
 * \param[in] w1,w2,w3,w4,w5,w6,w7,w8  configuration words, four bytes each.
 * \param[in] fileName                 the file, created or truncated.
 * \returns 1; 0 when the file cannot be created or a write or its close fails.
 */
TQLA_EXPORT int32_t TQLA_API SaveFileDataAndConfig(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, TqlaULong* storedLength, uint8_t* c1,
    uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7, uint8_t* c8,
    uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14, uint8_t* c15,
    uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21,
    uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27,
    uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31, uint8_t* c32, uint8_t* c33,
    uint8_t* c34, uint8_t* c35, TqlaULong* w1, TqlaULong* w2, TqlaULong* w3, TqlaULong* w4,
    TqlaULong* w5, TqlaULong* w6, TqlaULong* w7, TqlaULong* w8, const char* fileName);

/**
 * Opens a configuration-layout file into the host's variables and the sample
 * buffer.
 *
 * Reads every field back in the same order, then the stored length in bytes
 * into the start of the sample buffer. The captured length becomes the stored
 * length (at most the words the buffer holds); the buffer length stays.
 * GetFileBufferSize() tells the stored length first, to size the buffer.
 *
 * \param[out] t1,t2,t3,t4,t5,t6,t7,t8  20 bytes each.
 * \param[out] headerByte               the header byte.
 * \param[out] storedLength             the stored length.
 * \param[out] c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21,c22,c23,c24,c25,c26,c27,c28,c29,c30,c31,c32,c33,c34,c35
 *                                      one byte each.
 * \param[out] w1,w2,w3,w4,w5,w6,w7,w8  four bytes each.
 * \param[in]  fileName                 the file.
 * \returns the data bytes stored (at most what the buffer's storage holds); 0
 *          when the file cannot be opened.
 */
TQLA_EXPORT TqlaLong TQLA_API OpenFileDataAndConfig(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, TqlaULong* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20,
    uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26,
    uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31, uint8_t* c32,
    uint8_t* c33, uint8_t* c34, uint8_t* c35, TqlaULong* w1, TqlaULong* w2, TqlaULong* w3,
    TqlaULong* w4, TqlaULong* w5, TqlaULong* w6, TqlaULong* w7, TqlaULong* w8,
    const char* fileName);

/**
 * Saves the current buffer and the second sample array in the configuration
 * layout with a second data block.
 *
 * \param[in] t1,t2,t3,t4,t5,t6,t7,t8  host texts; 20 bytes of each.
 * \param[in] headerByte               the header byte.
 * \param[in] storedLength             the stored length: pass the buffer
 *                                     length (another value moves where a
 *                                     reader looks for the second block).
 * \param[in] c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21,c22,c23,c24,c25,c26,c27,c28,c29,c30,c31,c32,c33,c34,c35
 *                                     configuration bytes, one byte each.
 * \param[in] w1,w2,w3,w4,w5,w6,w7,w8,w9,w10,w11,w12,w13
 *                                     configuration words, four bytes each.
 * \param[in] trailingByte             the trailing configuration byte.
 * \param[in] fileName                 the file, created or truncated.
 * \returns 1; 0 when the file cannot be created or a write or its close fails.
 */
TQLA_EXPORT int32_t TQLA_API SaveFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, TqlaULong* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20,
    uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26,
    uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31, uint8_t* c32,
    uint8_t* c33, uint8_t* c34, uint8_t* c35, TqlaULong* w1, TqlaULong* w2, TqlaULong* w3,
    TqlaULong* w4, TqlaULong* w5, TqlaULong* w6, TqlaULong* w7, TqlaULong* w8, TqlaULong* w9,
    TqlaULong* w10, TqlaULong* w11, TqlaULong* w12, TqlaULong* w13, uint8_t* trailingByte,
    const char* fileName);

/**
 * Opens a file with a second data block into the host's variables, the sample
 * buffer and the second sample array.
 *
 * As OpenFileDataAndConfig(), then the second block into the second sample
 * array.
 *
 * \param[out] t1,t2,t3,t4,t5,t6,t7,t8  20 bytes each.
 * \param[out] headerByte               the header byte.
 * \param[out] storedLength             the stored length.
 * \param[out] c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12,c13,c14,c15,c16,c17,c18,c19,c20,c21,c22,c23,c24,c25,c26,c27,c28,c29,c30,c31,c32,c33,c34,c35
 *                                      one byte each.
 * \param[out] w1,w2,w3,w4,w5,w6,w7,w8,w9,w10,w11,w12,w13
 *                                      four bytes each.
 * \param[out] trailingByte             the trailing byte.
 * \param[in]  fileName                 the file.
 * \returns the bytes stored of the second block; 0 when the file cannot be
 *          opened or the second sample array cannot be allocated.
 * \par Choice
 * The second sample array grows to what the file holds of the second block,
 * never to the stored length itself, and never past the buffer length or free
 * memory.
 */
TQLA_EXPORT TqlaLong TQLA_API OpenFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, TqlaULong* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14,
    uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20,
    uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26,
    uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31, uint8_t* c32,
    uint8_t* c33, uint8_t* c34, uint8_t* c35, TqlaULong* w1, TqlaULong* w2, TqlaULong* w3,
    TqlaULong* w4, TqlaULong* w5, TqlaULong* w6, TqlaULong* w7, TqlaULong* w8, TqlaULong* w9,
    TqlaULong* w10, TqlaULong* w11, TqlaULong* w12, TqlaULong* w13, uint8_t* trailingByte,
    const char* fileName);

/**
 * Reads the stored length of a configuration file, to size the sample buffer
 * before opening it.
 *
 * \param[out] storedLength  the 4 bytes at offset 161 (null: only returned).
 *                           Bytes past the end of a short file leave those of
 *                           the variable as they were.
 * \param[in]  fileName      the file.
 * \returns the stored length (on a plain-layout file, its first four data
 *          bytes); 0 when the file cannot be opened.
 */
TQLA_EXPORT TqlaLong TQLA_API GetFileBufferSize(TqlaULong* storedLength, const char* fileName);

/**
 * Appends a sample section of the whole buffer to a file.
 *
 * Writes "[Samples]" and the buffer length's words (those that exist), 4 bytes
 * each in the machine's order, little-endian on every platform the library
 * builds for.
 *
 * \param[in] fileName  the file, opened for appending (created when absent).
 * \returns the words written; 0 when the file cannot be opened or a write or
 *          its close fails.
 */
TQLA_EXPORT int32_t TQLA_API AppendSampleData(char* fileName);

/**
 * Appends a sample section of some words to a file.
 *
 * \param[in] fileName  the file, opened for appending.
 * \param[in] first     index of the first word.
 * \param[in] count     words; the range is cut at the end of the buffer (past
 *                      it, only the marker is written).
 * \returns the words written; 0 as AppendSampleData().
 */
TQLA_EXPORT int32_t TQLA_API AppendBetweenSampleData(char* fileName, TqlaULong first,
    TqlaULong count);

/**
 * Reads the sample words of a file's first sample section into the sample
 * buffer.
 *
 * Finds the first "[Samples]" (reading byte by byte, without a limit), sets the
 * buffer length to count and reads up to count words after the marker into the
 * start of the buffer.
 *
 * \param[in] fileName  the file.
 * \param[in] count     words to read.
 * \returns the words stored (at most what the buffer's storage holds); 0 when
 *          the file cannot be opened or holds no marker.
 */
TQLA_EXPORT int32_t TQLA_API ExtractBufferFromFile(char* fileName, TqlaULong count);

/** @} */

/**
 * \defgroup tqla_edit Editing and text export
 * \brief Copy, paste and undo of sample ranges through range files, and the
 * sample text export.
 *
 * A range file holds the range's first and last word index (32-bit signed,
 * little-endian, first <= last) and then those words, 4 bytes each. Indexes
 * from the host are limited to the buffer (at or past its end becomes the last
 * word, then negative becomes 0) and put in order. With an empty buffer every
 * call but OutputSampleData() returns 0 and touches nothing.
 * @{
 */

/**
 * Writes the range file of words first to last.
 *
 * \param[in] fileName  the file, created or truncated.
 * \param[in] first     first word index.
 * \param[in] last      last word index, included.
 * \returns 1; 0 for an empty buffer (no file is written), a file that cannot be
 *          created, or a write or close that fails.
 */
TQLA_EXPORT int32_t TQLA_API Copy(char* fileName, TqlaLong first, TqlaLong last);

/**
 * Writes the undo file of words first to last: the same as Copy().
 *
 * \param[in] fileName  the file, created or truncated.
 * \param[in] first     first word index.
 * \param[in] last      last word index, included.
 * \returns 1; 0 as Copy().
 */
TQLA_EXPORT int32_t TQLA_API SaveUndo(char* fileName, TqlaLong first, TqlaLong last);

/**
 * Stores a range file's words into the buffer from an index, as many as fit.
 *
 * The count is the file's range (limited to the buffer), cut at the end of the
 * buffer; the words come from the start of the file's word block.
 *
 * \param[in] fileName  the range file.
 * \param[in] at        first word index to write (limited to the buffer).
 * \returns the words stored; 0 when the file cannot be opened or is too short
 *          to hold both indexes.
 */
TQLA_EXPORT TqlaLong TQLA_API Paste(char* fileName, TqlaLong at);

/**
 * Stores a range file's words back at the range's own first index.
 *
 * \param[in] fileName  the range file, as SaveUndo() wrote it.
 * \returns the words stored; 0 as Paste().
 */
TQLA_EXPORT TqlaLong TQLA_API Undo(char* fileName);

/**
 * Writes words first up to last, not included, as a text table.
 *
 * The header line "Digital0-F, CH1, CH2", then one line per word, formatted
 * `"0x%04X, %5.2f, %5.2f"`: the digital channels, then CH1 and CH2 in volts
 * ((byte - 128) * 0.078125, printed with two decimals: -10.00 to 9.92). The
 * file is written as text, with the platform's line ends.
 *
 * \param[in] fileName  the file, created or truncated.
 * \param[in] first     first word index (the two are swapped when out of order).
 * \param[in] last      index after the last word; cut at the end of the buffer.
 * \returns 1, also when the file cannot be created.
 */
TQLA_EXPORT int32_t TQLA_API OutputSampleData(char* fileName, TqlaULong first, TqlaULong last);

/** @} */

/**
 * \defgroup tqla_screen Screen scaling
 * \brief Reducing a window of samples to screen columns: a pixel code per
 * logic channel and column, or the lowest and highest scope byte per column.
 *
 * The extent of the data is the captured length (GetActualCaptureLength()),
 * read from the library's state: that many samples in the plain calls, twice
 * as many 16-bit samples in the packed calls (ending in SG), and that many
 * words for the scope traces. The sample array is normally the sample buffer;
 * a host's own array must hold the captured length's words.
 *
 * The window: start is the sample at column 0 (negative when the screen
 * begins before the data) and r the samples per column. Columns before sample
 * 0 and at or past the end of the data get the "no data" code; so do the last
 * two columns before the end of the data, whose windows would reach past it.
 *
 * \par Choices
 * A null sample array is a capture without data. A zoom of 0 (both integers 0,
 * or scale 0) leaves nothing to divide by: every column gets the "no data"
 * code. Samples past the captured length or past the sample buffer's storage
 * are absent, and a column without any sample gets the "no data" code. Null
 * output arrays make a call do nothing.
 * @{
 */

/** Pixel code: the channel is low in every sample the column covers. */
#define TQLA_PIXEL_LOW 0
/** Pixel code: the channel is high in every sample the column covers. */
#define TQLA_PIXEL_HIGH 1
/** Pixel code: the channel changes level within the column, or the column
 *  lies outside the data. */
#define TQLA_PIXEL_CHANGING 2
/** Minimum and maximum of a scope column without any sample. */
#define TQLA_SCOPE_NO_SAMPLE 256
/** Scale of one sample per column in ScaleDataToScreenNew(),
 *  ScaleDataToScreenNewSG() and ScaleScopeDataToScreenNew(). */
#define TQLA_SCALE_UNIT 1024
/** Scale of one sample per column in ScaleScopeDataToScreenVeryNew(). */
#define TQLA_SCALE_UNIT_VERYNEW 3500

/**
 * Pixel codes of the 16 logic channels, zoom given as two integers.
 *
 * Zoomed out (samplesPerPixel nonzero), column F (the first with data) covers
 * samplesPerPixel samples from the first sample read, and each following
 * column the next samplesPerPixel, without overlap: #TQLA_PIXEL_CHANGING where
 * a channel changes inside them. Zoomed in (pixelsPerSample nonzero), each
 * sample is drawn over pixelsPerSample columns with codes 0 and 1. With
 * s = start and D the extent: for s < 0 the first F = -s / samplesPerPixel
 * (or -s * pixelsPerSample) columns are empty and drawing starts at sample 0;
 * when s + span reaches the end of the data (span = (width + 1) *
 * samplesPerPixel, or width / pixelsPerSample), drawing ends at column
 * (D - s) / samplesPerPixel - 2 (or (D - s) * pixelsPerSample - 2).
 *
 * \param[in]  samples          the sample words.
 * \param[out] channel0,channel1,channel2,channel3,channel4,channel5,channel6,channel7,channel8,channel9,channel10,channel11,channel12,channel13,channel14,channel15
 *                              width pixel codes each, for channels 0 to 15.
 * \param[in]  start            sample at column 0; may be negative.
 * \param[in]  width            columns.
 * \param[in]  samplesPerPixel  samples per column when zoomed out, else 0.
 * \param[in]  pixelsPerSample  columns per sample when zoomed in, else 0.
 */
TQLA_EXPORT void TQLA_API ScaleDataToScreen(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong samplesPerPixel,
    TqlaULong pixelsPerSample);

/**
 * ScaleDataToScreen() over a packed pattern.
 *
 * Samples are taken in time order, word k's bits 16-31 (sample 2k), then its
 * bits 0-15 (sample 2k + 1); reading starts at word first / 2 with its high
 * half, so an odd first sample starts the drawing one sample earlier.
 *
 * \param[in]  samples          the packed words.
 * \param[out] channel0,channel1,channel2,channel3,channel4,channel5,channel6,channel7,channel8,channel9,channel10,channel11,channel12,channel13,channel14,channel15
 *                              width pixel codes each.
 * \param[in]  start            16-bit sample at column 0; may be negative.
 * \param[in]  width            columns.
 * \param[in]  samplesPerPixel  samples per column when zoomed out, else 0.
 * \param[in]  pixelsPerSample  columns per sample when zoomed in, else 0.
 */
TQLA_EXPORT void TQLA_API ScaleDataToScreenSG(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong samplesPerPixel,
    TqlaULong pixelsPerSample);

/**
 * Pixel codes of the 16 logic channels, zoom given in 1/1024 sample per column.
 *
 * A position P starts at the first sample read and grows by r = scale / 1024
 * after every column. A column covers the scale / 1024 + 1 samples (integer
 * division) from sample floor(P) - 2 (from 0 while P < 2): at a whole zoom
 * neighbouring columns share a sample, so no level change falls between two
 * columns. Zoomed in (r < 1) a column shows the single sample floor(P) - 2,
 * two samples behind its position. For start < 0 the first -start / r columns
 * are empty; the drawing ends at column (D - start) / r - 2 when the window
 * reaches the end of the data.
 *
 * \param[in]  samples   the sample words.
 * \param[out] channel0,channel1,channel2,channel3,channel4,channel5,channel6,channel7,channel8,channel9,channel10,channel11,channel12,channel13,channel14,channel15
 *                       width pixel codes each.
 * \param[in]  start     sample at column 0; may be negative.
 * \param[in]  width     columns.
 * \param[in]  scale     samples per column times 1024 (#TQLA_SCALE_UNIT is one).
 */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNew(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong scale);

/**
 * ScaleDataToScreenNew() over a packed pattern.
 *
 * From a scale of 1024 up, a column reads pairs of samples until it holds
 * scale / 1024 + 1 of them (an odd count rounds up to even); a pair that starts
 * at an odd sample takes bits 0-15 of one word and bits 16-31 of the next.
 * Zoomed in, a column shows sample floor(P) - 2 (sample floor(P) while P < 2).
 *
 * \param[in]  samples   the packed words.
 * \param[out] channel0,channel1,channel2,channel3,channel4,channel5,channel6,channel7,channel8,channel9,channel10,channel11,channel12,channel13,channel14,channel15
 *                       width pixel codes each.
 * \param[in]  start     16-bit sample at column 0; may be negative.
 * \param[in]  width     columns.
 * \param[in]  scale     samples per column times 1024.
 */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNewSG(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong scale);

/**
 * The lowest and highest byte of one scope channel per column, zoom in 1/1024
 * sample per column.
 *
 * With r = scale / 1024 and a position P that starts at the first sample read
 * and grows by r per column: zoomed out (scale of 1024 and up), a column
 * covers floor(r) + 1 samples from sample trunc(P - 0.5), so neighbouring
 * strokes share about one sample. Zoomed in, every
 * column shows sample floor(P) in both arrays, a sample repeating over about
 * 1 / r columns.
 *
 * \param[in]  samples  the sample words.
 * \param[in]  channel  1 (#TQLA_CH1) for CH1, any other value for CH2.
 * \param[out] minimum  width values: the column's lowest byte 0-255, or
 *                      #TQLA_SCOPE_NO_SAMPLE (256).
 * \param[out] maximum  width values: the column's highest byte, or 256.
 * \param[in]  start    sample at column 0; may be negative.
 * \param[in]  width    columns.
 * \param[in]  scale    samples per column times 1024.
 */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenNew(TqlaULong* samples, TqlaULong channel,
    TqlaULong* minimum, TqlaULong* maximum, TqlaLong start, TqlaULong width, TqlaULong scale);

/**
 * The lowest and highest byte of one scope channel per column, zoom in 1/3500
 * sample per column, the trace aligned to the trigger crossing.
 *
 * As ScaleScopeDataToScreenNew() with r = scale / 3500, except that zoomed in
 * only the first column of each sample shows it and the following columns get
 * 256. With interpolate nonzero and a trigger index from 11 to the buffer
 * length, the call for the trigger channel looks for the crossing of the
 * trigger level between the trigger sample and its neighbours (pairs at
 * distances 0, 1, -1, ... up to 5), finds it to a fraction of a sample and
 * moves the columns by the whole part of that offset; the call for the other
 * channel reuses the offset found. Call it for the trigger channel first.
 *
 * \param[in]  samples         the sample words.
 * \param[in]  channel         1 (#TQLA_CH1) for CH1, any other value for CH2.
 * \param[in]  triggerChannel  the channel the capture triggered on, 1 or 2.
 * \param[out] minimum         width values, as ScaleScopeDataToScreenNew().
 * \param[out] maximum         width values.
 * \param[in]  start           sample at column 0; may be negative.
 * \param[in]  width           columns.
 * \param[in]  scale           samples per column times 3500.
 * \param[out] shift           the whole columns the trace moved (may be null).
 * \param[in]  interpolate     nonzero aligns the trace to the crossing.
 * \par Choice
 * The crossing search reads up to six samples past the trigger sample, within
 * the buffer length and the storage; a pair reaching past them is passed over.
 */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenVeryNew(TqlaULong* samples, TqlaULong channel,
    TqlaULong triggerChannel, TqlaULong* minimum, TqlaULong* maximum, TqlaLong start,
    TqlaULong width, TqlaULong scale, TqlaLong* shift, TqlaLong interpolate);

/** @} */

/**
 * \defgroup tqla_decoder_frame Decoder frame
 * \brief What every bus decoder shares: arguments, records, timestamps, the
 * feed into the packet engine, and merging per-channel record files.
 *
 * A decoder is one call that walks a range of sample words, recognises one bus
 * on chosen digital channels, and writes what it finds as records, lines of
 * text, into a record file that the host names. Given a protocol definition
 * file, it also feeds every decoded value and bus event to the packet engine
 * (\ref tqla_packets), which writes packet records into a file of its own.
 * Decoders run on the caller's thread, one at a time; do not run one while a
 * capture writes into the buffer.
 *
 * \par Arguments
 * The record-writing decoders take, in this order: the sample words (normally
 * the sample buffer; the range is limited by the sample buffer's length, so a
 * host's own array must hold as many words); the record file's path; the start
 * sample index; the end sample index, not included; mostly the rate code
 * (\ref tqla_frame); the bus's own channels and options; the path of the
 * protocol definition file (null or "" runs without the packet engine); the
 * path of the packet record file; and an error text buffer of
 * #TQLA_ERROR_TEXT_SIZE bytes. An end below the start is swapped with it, a
 * negative start becomes 1, and an end at or past the buffer length becomes
 * the length - 2 (so the last sample decoded is length - 3). A channel
 * argument is a channel number 0-15.
 *
 * \par Records
 * The record file is made anew and written with CR LF line ends on every
 * platform. A record's header is the timestamp text of its first sample, a
 * blank, the decoder name (DecodeSetName()), a comma and a blank; records that
 * open with a line end leave an empty first line and no line end after the
 * last record. A timestamp counts from the trigger index (absolute mode), or
 * from the previous header, with a "+" before it (relative mode,
 * StartTimestamp()); it is printed by its size as `"%5.1fns,"` (below 1 us),
 * `"%5.1fus,"` (below 1 ms), `"%8.4fms,"` (below 1 s) or `"%11.7fs ,"`.
 * Values are followed by their delimiter; number formats are chosen by each
 * decoder's format argument. TqlaSetRecordSink() (tqla_ext.h) hands every
 * record line to the host as well, with the samples it spans.
 *
 * \par Offsets
 * Every value and event sent to the packet engine carries the byte offset of
 * the record text written so far, each line end counting as its two bytes, and
 * the packet records pass these offsets on: a host can seek to them in the
 * record file. The same holds for "usb.txt" (USBDecode()) and the merged files.
 *
 * \par Results
 * 1 on success; 0 with a text in the error buffer, which also becomes the
 * thread's TqlaLastError(): "No sample words to decode" for null samples,
 * `"Unknown sample rate code %d"`, the packet engine's own message when it
 * cannot start (with `"Error initializing RedodoRovodovoz: %s\nExiting.\n"` on
 * standard output), "Can not open output file" (the packet engine is closed
 * again), "Can not write output file" with ": " and the reason when the record
 * file could not be written in full (a full disk), and "Error Closing
 * RedodoRovodovoz" when the packet record file could not be (the record file
 * is complete then). Each decoder lists its own further texts.
 *
 * \par Choices
 * Channel numbers 16-31 read the scope bits of the word and larger ones a line
 * that is never high. A value wider than 16 bits reaches the packet engine in
 * pieces from its top, the first holding the bits above whole bytes, then one
 * byte each, so no entry holds more than 8 bits and every bit arrives.
 * @{
 */

/** Bytes of the error text buffer every decoder takes as its last argument;
 *  a failing decoder may write all of them, the NUL included. */
#define TQLA_ERROR_TEXT_SIZE 256
/** Bytes of a decoder name with its NUL (DecodeSetName() keeps 255 characters). */
#define TQLA_DECODER_NAME_SIZE 256
/** Delimiter: none, in DecodeASYNC(); the other decoders read it as the comma
 *  variant, DecodeUSB() as the blank one. */
#define TQLA_DELIMITER_NONE 0
/** Delimiter: each value followed by a comma (the comma variant of its
 *  format, `"%02X,"` and the like). Every decoder reads 1 so. */
#define TQLA_DELIMITER_COMMA 1
/** Delimiter: each value followed by a blank (the blank variant). Every
 *  decoder reads 2 so. */
#define TQLA_DELIMITER_BLANK 2
/** Number format: decimal. Every decoder's format or hexadecimal argument
 *  reads 0 so. */
#define TQLA_FORMAT_DECIMAL 0
/** Number format: hexadecimal. Every decoder's format or hexadecimal argument
 *  reads 1 so. */
#define TQLA_FORMAT_HEX 1
/** Number format: characters (`"%c"`), in DecodeSPIVariable() and DecodeSPI();
 *  decoders with a hexadecimal flag read 2 as hexadecimal. */
#define TQLA_FORMAT_CHARACTER 2
/** Clock or sampling edge: falling. Edge arguments read 0 so. */
#define TQLA_EDGE_FALLING 0
/** Clock or sampling edge: rising. Edge arguments read 1 (most of them any
 *  nonzero value) so. */
#define TQLA_EDGE_RISING 1
/** Bit order: least significant bit first. */
#define TQLA_LSB_FIRST 0
/** Bit order: most significant bit first. */
#define TQLA_MSB_FIRST 1

/**
 * Sets the decoder name written into every record header.
 *
 * Kept for the runs that follow until changed; empty until set.
 *
 * \param[in] name  the name; at most 255 characters are kept. Null empties it.
 * \returns 0.
 */
TQLA_EXPORT int32_t TQLA_API DecodeSetName(char* name);

/**
 * Chooses the timestamp mode and makes the next record's timestamp zero in
 * relative mode.
 *
 * In relative mode every header shows the time since the previous header.
 * Call it before a run whose first record is to show zero time; otherwise the
 * first record of a run counts from the last record of the run before.
 *
 * \param[in] relative  nonzero: relative timestamps ("+" and the time since the
 *                      previous header); 0: the time from the trigger index.
 * \returns 0.
 */
TQLA_EXPORT int32_t TQLA_API StartTimestamp(char relative);

/**
 * Merges the sixteen per-channel record files of a folder by timestamp.
 *
 * Reads "out0.txt" to "out15.txt" and writes "out.txt" (binary), taking the
 * line with the smallest timestamp each time; equal times go out in file
 * order. A line's time is its leading number (after blanks and a "+") with the
 * unit given by the first of n, u, m or s among its first 20 characters. Lines
 * are copied as they are, in pieces of 9999 characters when longer; one that
 * does not end in a line end gains CR LF.
 *
 * \param[in] folder  the folder's path, ending with its separator: the file
 *                    names are appended to it. Null merges nothing.
 * \returns 0.
 * \par Choices
 * A line without a readable timestamp (such as the empty first line of files
 * whose records open with a line end) goes out as soon as it is its file's
 * current line, ahead of lines with a time; a missing input file has no lines.
 * Every line is copied exactly once.
 */
TQLA_EXPORT int32_t TQLA_API CombineAndSort(uint8_t* folder);

/**
 * Merges the sixteen per-channel packet record files of a folder.
 *
 * As CombineAndSort() over "testout0.txt" to "testout15.txt" into
 * "testout.txt", with each line's key the decimal number between its first and
 * second comma (the sample index of a packet record), as an unsigned 32-bit
 * count.
 *
 * \param[in] folder  the folder's path, ending with its separator.
 * \returns 0.
 * \par Choice
 * A line without a second comma has no key and goes out first, as in
 * CombineAndSort().
 */
TQLA_EXPORT int32_t TQLA_API CombineAndSortPP(uint8_t* folder);

/** @} */

/**
 * \defgroup tqla_decoders Bus decoders
 * \brief One call per bus: SPI, I2C, asynchronous serial, CAN, USB, PS/2,
 * 1-Wire, I2S, synchronous serial and parallel.
 *
 * Each follows the \ref tqla_decoder_frame : its arguments, records, results
 * and events. The events each decoder sends to the packet engine are listed
 * with the event codes (\ref tqla_packets); every decoder that feeds the packet
 * engine ends with #TQLA_EVENT_END_OF_DATA, and all but DecodeSPI(),
 * DecodeCAN(), DecodeUSB() and USBDecode() also send signal events.
 * @{
 */

/** Parity of DecodeASYNC(): none. */
#define TQLA_PARITY_NONE 0
/** Parity of DecodeASYNC(): mark, the parity bit must be 1. */
#define TQLA_PARITY_MARK 1
/** Parity of DecodeASYNC(): space, the parity bit must be 0. */
#define TQLA_PARITY_SPACE 2
/** Parity of DecodeASYNC(): even. */
#define TQLA_PARITY_EVEN 3
/** Parity of DecodeASYNC(): odd. */
#define TQLA_PARITY_ODD 4
/** Endpoint or address filter of the USB decoders that lets every packet
 *  through. */
#define TQLA_USB_ALL 999

/**
 * Decodes SPI with words of 1 to 32 bits, one record line per group of words.
 *
 * A record opens on a new line with its header and "MISO,MOSI: ", then gives
 * each word's MISO value and MOSI value. The header's time is the first clock
 * cycle of the record's first word. Values: characters `"%c"`; decimal `"%d,"`
 * or `"%d "` (signed); hexadecimal with as many digits as the word needs
 * (`"%01X"` to `"%07X"`) followed by ", " or two blanks, and `"%08X  "` for 29
 * to 32 bits. Events: #TQLA_EVENT_START and #TQLA_EVENT_STOP when chip select
 * becomes active and is released (without chip select, one start at the first
 * sample), each MISO word as data on channel X and each MOSI word on channel Y.
 *
 * \param[in]  samples         the sample words.
 * \param[in]  recordFile      path of the record file.
 * \param[in]  start           first sample index.
 * \param[in]  end             sample index after the last.
 * \param[in]  rate            rate code.
 * \param[in]  ssChannel       chip-select channel (active low).
 * \param[in]  sckChannel      clock channel.
 * \param[in]  mosiChannel     MOSI channel.
 * \param[in]  misoChannel     MISO channel.
 * \param[in]  misoRisingEdge  nonzero samples MISO at the rising clock edge, 0 at
 *                             the falling one.
 * \param[in]  mosiRisingEdge  the same for MOSI.
 * \param[in]  delimiter       #TQLA_DELIMITER_BLANK, else the comma variant.
 * \param[in]  format          #TQLA_FORMAT_DECIMAL, #TQLA_FORMAT_CHARACTER,
 *                             any other value hexadecimal.
 * \param[in]  useChipSelect   nonzero: words count only while chip select is
 *                             low, each low period a frame (a word in progress
 *                             is dropped at its end); 0: chip select is ignored.
 * \param[in]  wordsPerRecord  words per record line; below 1, one.
 * \param[in]  wordSize        bits per word, 1-32; any other value means 8.
 * \param[in]  protocolFile    protocol definition file, or null or "".
 * \param[in]  packetFile      packet record file.
 * \param[out] errorText       #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says.
 */
TQLA_EXPORT int32_t TQLA_API DecodeSPIVariable(TqlaULong* samples, uint8_t* recordFile,
    TqlaLong start, TqlaLong end, TqlaLong rate, TqlaULong ssChannel, TqlaULong sckChannel,
    TqlaULong mosiChannel, TqlaULong misoChannel, TqlaULong misoRisingEdge,
    TqlaULong mosiRisingEdge, TqlaULong delimiter, TqlaULong format, TqlaULong useChipSelect,
    TqlaLong wordsPerRecord, TqlaLong wordSize, char* protocolFile, char* packetFile,
    char* errorText);

/**
 * Decodes SPI with 8-bit words, each record a MOSI line and a MISO line.
 *
 * A record is a header, "MOSI: " and the MOSI values, a line end, then a
 * second header of the same sample, "MISO: " and the MISO values, a line end.
 * Values are `"%02X, "` or `"%02X  "` (hexadecimal), `"%3d,"` or `"%3d "`
 * (decimal), or `"%c"`. With chip select a record is written at each frame end
 * (also for a frame without a whole word); without it every wordsPerRecord
 * words, and at the end of the range for words still waiting. No packet
 * engine.
 *
 * \param[in] samples         the sample words.
 * \param[in] recordFile      path of the record file.
 * \param[in] start           first sample index.
 * \param[in] end             sample index after the last.
 * \param[in] rate            rate code.
 * \param[in] ssChannel       chip-select channel (active low).
 * \param[in] sckChannel      clock channel.
 * \param[in] mosiChannel     MOSI channel.
 * \param[in] misoChannel     MISO channel.
 * \param[in] misoRisingEdge  nonzero samples MISO at the rising clock edge.
 * \param[in] mosiRisingEdge  the same for MOSI.
 * \param[in] delimiter       #TQLA_DELIMITER_BLANK, else the comma variant.
 * \param[in] format          #TQLA_FORMAT_HEX, #TQLA_FORMAT_CHARACTER, any
 *                            other value decimal.
 * \param[in] useChipSelect   nonzero: frames by chip select; 0: ignored.
 * \param[in] wordsPerRecord  words per record without chip select.
 * \param[in] unused1         not used.
 * \param[in] unused2         not used.
 * \param[in] unused3         not used.
 * \returns 0, always: a run that cannot start, or whose record file cannot be
 *          written in full, prints its reason on standard output
 *          (`"Unknown sample rate code %d"`, "Can not open output file", ...)
 *          and leaves it in TqlaLastError().
 * \par Choice
 * A frame longer than a line text holds (25000 values) is written as a record
 * when the text is full and goes on in a new record, with the time of the word
 * that did not fit.
 */
TQLA_EXPORT int32_t TQLA_API DecodeSPI(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong ssChannel, TqlaULong sckChannel, TqlaULong mosiChannel,
    TqlaULong misoChannel, TqlaULong misoRisingEdge, TqlaULong mosiRisingEdge, TqlaULong delimiter,
    TqlaULong format, TqlaULong useChipSelect, TqlaLong wordsPerRecord, char* unused1,
    char* unused2, char* unused3);

/**
 * Decodes I2C, one record per transaction.
 *
 * A START on an idle bus opens a record (a repeated START goes on in it). With
 * markers and acknowledge bits shown, a write of two bytes to address 0x50
 * reads: header, "[S] ", "A0,", "Write ", "ACK ", two values each followed by
 * "ACK ", "[P]" and a line end. Bytes are `"%02X,"` or `"%02X "`, or `"%03d,"`
 * or `"%03d "`, most significant bit first. Without markers no line end is
 * written, so transactions follow each other on one line, each with its own
 * header. Events: #TQLA_EVENT_START, #TQLA_EVENT_STOP, #TQLA_EVENT_ACK,
 * #TQLA_EVENT_NACK and every byte (the address byte too) as 8-bit data.
 *
 * \param[in]  samples       the sample words.
 * \param[in]  recordFile    path of the record file.
 * \param[in]  start         first sample index.
 * \param[in]  end           sample index after the last.
 * \param[in]  rate          rate code.
 * \param[in]  sdaChannel    data channel.
 * \param[in]  sclChannel    clock channel.
 * \param[in]  showAck      nonzero writes "ACK " and "NACK " (with markers only).
 * \param[in]  delimiter     #TQLA_DELIMITER_BLANK, else the comma variant.
 * \param[in]  showMarkers   nonzero writes "[S] ", "[P]" with a line end, and
 *                           "Read " or "Write " after the address byte.
 * \param[in]  hexadecimal   nonzero hexadecimal, 0 decimal.
 * \param[in]  protocolFile  protocol definition file, or null or "".
 * \param[in]  packetFile    packet record file.
 * \param[out] errorText     #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says.
 * \par Choice
 * The first sample of the range gives the previous SDA and SCL levels.
 */
TQLA_EXPORT int32_t TQLA_API DecodeI2C(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong sdaChannel, TqlaULong sclChannel, TqlaLong showAck,
    TqlaLong delimiter, TqlaLong showMarkers, TqlaLong hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);

/**
 * Decodes asynchronous serial lines, up to sixteen with one baud rate and
 * framing.
 *
 * Idle high, a start bit, data bits least significant first, an optional
 * parity bit, a stop bit; each bit is read at its middle counted from the start
 * edge. A record line holds characters of one channel: it opens on a new line
 * with the header and `"CH%d,"` (comma variant, no character mode) or `"CH%d "`,
 * and a character of another channel, or a full line, opens the next. Values
 * are `"%c"`, `"%02X"` or `"%3d"` followed by the delimiter. Events: every
 * character's low 8 bits as data, and #TQLA_EVENT_START for a parity error;
 * the lowest selected channel sends on channel X, the second-lowest on Y, the
 * others on the channel of the event before.
 *
 * \param[in]  samples            the sample words.
 * \param[in]  recordFile         path of the record file.
 * \param[in]  start              first sample index.
 * \param[in]  end                sample index after the last.
 * \param[in]  rate               rate code.
 * \param[in]  channelMask        bit n set decodes channel n.
 * \param[in]  baud               bits per second.
 * \param[in]  parity             #TQLA_PARITY_NONE to #TQLA_PARITY_ODD.
 * \param[in]  dataBits           data bits per character.
 * \param[in]  delimiter          #TQLA_DELIMITER_NONE, #TQLA_DELIMITER_COMMA or
 *                                #TQLA_DELIMITER_BLANK.
 * \param[in]  hexadecimal        nonzero hexadecimal, 0 decimal.
 * \param[in]  character          nonzero writes characters (over hexadecimal).
 * \param[in]  charactersPerLine  characters per record line; below 2, one.
 * \param[in]  protocolFile       protocol definition file, or null or "".
 * \param[in]  packetFile         packet record file.
 * \param[out] errorText          #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, or "Unsupported character
 *          framing" when data, parity and stop bits need more than 20 bit
 *          positions (more than 18 data bits, 17 with parity).
 * \par Choices
 * Baud rate 0 puts every bit position at the start edge. A parity code above 4
 * means no parity, a delimiter above 2 the comma variant. A character whose
 * stop bit lies past the end of the sample words is dropped: its bits cannot be
 * read. A line low at the start of the range gives no character until it has
 * been high.
 */
TQLA_EXPORT int32_t TQLA_API DecodeASYNC(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channelMask, TqlaULong baud, TqlaULong parity,
    TqlaULong dataBits, TqlaULong delimiter, TqlaULong hexadecimal, TqlaULong character,
    TqlaLong charactersPerLine, char* protocolFile, char* packetFile, char* errorText);

/**
 * Decodes CAN frames from one channel carrying the bus as logic (high
 * recessive, low dominant).
 *
 * Each bit is sampled at three quarters of its bit time, resynchronised on
 * recessive-to-dominant edges; stuff bits are removed; seven recessive bits end
 * a frame, seven dominant bits fail it. A record line per frame: the header,
 * then with labels `"29-bitID:%08X,RTR:%d,Control:%02X,"` or
 * `"11-bitID:%03X,RTR:%d,Control:%02X,"` (without, `"%08X,%d,%02X,"` or
 * `"%03X,%d,%02X,"`); when the data length is not 0, "Data:" (with labels) and
 * eight positions each `"%02X"` below the data length and a comma; then
 * `"CRC:%04X,ACK:%d"` (without labels `"%04X,%d"`) and a line end. A failed frame
 * writes "[Error]" (a recessive bit was seen in it) or "[Overload]" with labels,
 * nothing without. CRC and acknowledge are shown as read, not checked. Events:
 * #TQLA_EVENT_START at the start of frame, every de-stuffed bit as 1-bit data
 * (all at the start-of-frame sample), #TQLA_EVENT_STOP at the frame's end,
 * also for frames outside the identifier range, which write no line; none for
 * failed frames.
 *
 * \param[in]  samples       the sample words.
 * \param[in]  recordFile    path of the record file.
 * \param[in]  start         first sample index.
 * \param[in]  end           sample index after the last.
 * \param[in]  rate          rate code.
 * \param[in]  channel       the CAN channel.
 * \param[in]  bitRate       bits per second.
 * \param[in]  highestId     highest identifier written.
 * \param[in]  lowestId      lowest identifier written.
 * \param[in]  unused1       not used (records always use commas).
 * \param[in]  labels        nonzero writes the field names and the error and
 *                           overload lines.
 * \param[in]  unused2       not used.
 * \param[in]  protocolFile  protocol definition file, or null or "".
 * \param[in]  packetFile    packet record file.
 * \param[out] errorText     #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, or `"Unsupported bit rate %u"`
 *          for a bit rate of 0 or one that leaves fewer than two samples per bit.
 * \par Choices
 * Where the data length says more bytes than the frame carries (a remote frame,
 * or a length above 8), bits past the frame's end read as recessive. A frame
 * still going after 100000 bits is noise: it is dropped and the search goes on
 * from where it stopped. The frame end event carries the sample point of the
 * bit that completed the frame.
 */
TQLA_EXPORT int32_t TQLA_API DecodeCAN(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong channel, TqlaULong bitRate, TqlaULong highestId,
    TqlaULong lowestId, TqlaLong unused1, TqlaLong labels, TqlaLong unused2, char* protocolFile,
    char* packetFile, char* errorText);

/**
 * Decodes low-speed (1.5 Mbit/s) or full-speed (12 Mbit/s) USB from D+ and D-.
 *
 * Recovers the bits (NRZI, bit stuffing, SYNC, end of packet), the packet
 * identifiers, tokens, data payloads (without their CRC16), handshakes, bus
 * resets (SE0 longer than 100 samples, "USB RESET" and a line end) and the
 * standard device requests of SETUP data. With text on, a transaction is a
 * line: for a SETUP a line end, the header, `"SETUP "`, `" Add:%d "`,
 * `" EndPoint:%d "` (OUT and IN the same with `"OUT   "` and `"IN    "`); a request
 * text such as "GET DESCRIPTOR DEVICE Length:18"; "DATA0 " or "DATA1 " and the
 * bytes (`"%02X,"` or `"%3d,"`, blank variants `"%02X "` or `"%3d "`) and a
 * blank; "ACK ", "NAK " or "STALL " and a line end. SOF packets, when shown,
 * are the header, `"SOF   "` and the frame number. With text off only the
 * payloads are written, each on a line of its own. Events, all on channel X at
 * the sample after the packet, whatever the filters: SETUP, OUT and IN send
 * #TQLA_EVENT_ACK and #TQLA_EVENT_START and their first 32 bits as 1-bit data;
 * DATA0 and DATA1 all their bits; ACK, NAK and STALL their first 16 bits and
 * #TQLA_EVENT_STOP. SOF packets and resets send nothing.
 *
 * \param[in]  samples         the sample words.
 * \param[in]  recordFile      path of the record file.
 * \param[in]  start           first sample index.
 * \param[in]  end             sample index after the last.
 * \param[in]  sampleCount     samples in the buffer; the end is cut to it - 1.
 * \param[in]  endpointFilter  only packets of this endpoint are written;
 *                             #TQLA_USB_ALL writes all.
 * \param[in]  addressFilter   only packets of this device address are written;
 *                             #TQLA_USB_ALL writes all.
 * \param[in]  dPlusChannel    D+ channel.
 * \param[in]  dMinusChannel   D- channel.
 * \param[in]  fullSpeed       nonzero full speed, 0 low speed.
 * \param[in]  rate            rate code.
 * \param[in]  showSof         nonzero writes SOF packets.
 * \param[in]  delimiter       #TQLA_DELIMITER_COMMA, any other value the blank
 *                             variant.
 * \param[in]  text            nonzero writes tokens, requests, handshakes and
 *                             resets; 0 only the payloads.
 * \param[in]  hexadecimal     nonzero hexadecimal, 0 decimal.
 * \param[in]  protocolFile    protocol definition file, or null or "".
 * \param[in]  packetFile      packet record file.
 * \param[out] errorText       #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, or "Full speed needs a sample
 *          rate of 24 MHz" or "Low speed needs a sample rate of 3 MHz or more":
 *          fewer than two samples per bit cannot be decoded.
 * \par Choices
 * After a packet the search resumes one bit time past the end of its SE0
 * (a real SE0 lasts two bit times, and resuming inside it would swallow the
 * next packet), so back-to-back packets all decode. Packets whose SYNC is not
 * found are ignored like unknown identifiers. A SETUP always arms the request
 * text of the next data packet, shown or not; every data packet disarms it. A
 * single-ended one (both lines high) reads as a 1 bit. A stuffed bit that is
 * not the expected transition is dropped all the same. Setup payloads shorter
 * than eight bytes read 0 for the missing request bytes.
 */
TQLA_EXPORT int32_t TQLA_API DecodeUSB(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong sampleCount, TqlaLong endpointFilter, TqlaLong addressFilter,
    TqlaLong dPlusChannel, TqlaLong dMinusChannel, TqlaLong fullSpeed, TqlaLong rate,
    TqlaLong showSof, TqlaLong delimiter, TqlaLong text, TqlaLong hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);

/**
 * Decodes USB from one byte per sample into "usb.txt" and a payload buffer.
 *
 * The older USB decoder: bit recovery as DecodeUSB(), the packet identifier
 * known by its four type bits. "usb.txt" in the current folder is made anew
 * (CR LF line ends); its first line is "Showing all address" or
 * `"Showing only device address %d"`. A packet's time is the whole milliseconds
 * from sample 0, `"%010d "`. Tokens are written as a line end (SETUP) or a
 * blank (OUT, IN, SOF), the time, the label and `" Add:%d "` `" EndPoint:%d "`
 * (SOF its frame number); data as "DATA0 " or "DATA1 " and `"%02X "` bytes;
 * handshakes "ACK ", "NAK ", "STALL " and a line end; other identifiers
 * "Invalid Token " and a line end. No packet engine, no decoder name, no
 * timestamp mode.
 *
 * \param[in]  samples         sampleCount sample bytes, bit n = channel n (0-7).
 * \param[in]  sampleCount     samples; the end is cut to this - 1.
 * \param[in]  endpointFilter  endpoint shown, #TQLA_USB_ALL for all.
 * \param[in]  addressFilter   device address shown, #TQLA_USB_ALL for all.
 * \param[out] payload         receives, for each data packet shown, its time in
 *                             milliseconds (4 bytes, least significant first)
 *                             and its payload bytes, while it has room.
 * \param[in]  payloadSize     bytes of payload.
 * \param[in]  start           first sample index (a negative one becomes 0).
 * \param[in]  end             sample index after the last (the two are put in
 *                             order).
 * \param[in]  dPlusBit        D+ bit, 0-7.
 * \param[in]  dMinusBit       D- bit, 0-7.
 * \param[in]  fullSpeed       nonzero full speed, 0 low speed.
 * \param[in]  rate            rate code.
 * \param[in]  showSof         nonzero writes SOF packets.
 * \returns the bytes stored in payload; 0, without touching "usb.txt", for
 *          null samples, a sample count below 1, a rate code outside the table
 *          or one too slow for the speed (3 MHz at low speed, 24 MHz at full
 *          speed); 0 also when "usb.txt" cannot be made.
 * \par Choices
 * D+ and D- bits outside 0-7 read as a line that is never high. The payload
 * buffer receives every payload byte of a data packet shown, also of packets
 * too long to show their bytes. The offsets count the bytes of "usb.txt" as
 * they do a record file's.
 */
TQLA_EXPORT int32_t TQLA_API USBDecode(uint8_t* samples, TqlaLong sampleCount,
    TqlaLong endpointFilter, TqlaLong addressFilter, uint8_t* payload, TqlaLong payloadSize,
    TqlaLong start, TqlaLong end, TqlaLong dPlusBit, TqlaLong dMinusBit, TqlaLong fullSpeed,
    TqlaLong rate, TqlaLong showSof);

/**
 * Decodes a PS/2 keyboard or mouse link, one record line per byte.
 *
 * A device-to-host frame is read at the falling clock edges, a host-to-device
 * frame (data pulled low while the clock is held low) at the rising ones. A
 * record line: the header, `"Host:   "` or `"Device: "`, the byte as `"%02X "`,
 * then as they apply ", Start Bit Error", ", Parity Bit Error = 1",
 * ", Parity Bit Error = 0" (odd parity), ", Stop Bit Error", ", ACK Bit Error",
 * and a line end. Events, at the clock edge after the frame's last bit:
 * #TQLA_EVENT_START on channel X and the byte on X for a device frame,
 * #TQLA_EVENT_STOP on channel Y and the byte on Y for a host frame; signal
 * events only while a frame is sought.
 *
 * \param[in]  samples       the sample words.
 * \param[in]  recordFile    path of the record file.
 * \param[in]  start         first sample index.
 * \param[in]  end           sample index after the last.
 * \param[in]  rate          rate code.
 * \param[in]  dataChannel   data channel.
 * \param[in]  clockChannel  clock channel.
 * \param[in]  msbFirst      #TQLA_LSB_FIRST (0, the PS/2 order), nonzero most
 *                           significant bit first.
 * \param[in]  protocolFile  protocol definition file, or null or "".
 * \param[in]  packetFile    packet record file.
 * \param[out] errorText     #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says.
 * \par Choices
 * The range's first sample stands in for the sample before it. Data falling in
 * the same sample as the clock rises after a held-low clock is a host's request
 * to send, its start bit read in that sample. A frame cut by the range's end
 * writes and sends nothing.
 */
TQLA_EXPORT int32_t TQLA_API DecodePS2(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong dataChannel, TqlaULong clockChannel, TqlaULong msbFirst,
    char* protocolFile, char* packetFile, char* errorText);

/**
 * Decodes a 1-Wire bus: reset and presence pulses and the bytes that follow.
 *
 * Everything is decided by the length of low pulses in samples: longer than
 * rate / 2083 (480 us) is a reset, then longer than rate / 12500 (80 us) a
 * presence pulse; after it each falling edge opens a time slot read at
 * rate / 66667 samples (15 us), bits least significant first. At 24 MHz:
 * 11521, 1920 and 359 samples. With labels a reset writes a line "Reset Pulse ",
 * a presence pulse opens a line "Presence Pulse " (without labels just the
 * header) which the bytes follow as `"%02X,"`, `"%02X "`, `"%3d,"` or
 * `"%3d "`. Events: #TQLA_EVENT_START for a reset, #TQLA_EVENT_STOP for a
 * presence pulse, every byte as 8-bit data.
 *
 * \param[in]  samples       the sample words.
 * \param[in]  recordFile    path of the record file.
 * \param[in]  start         first sample index.
 * \param[in]  end           sample index after the last.
 * \param[in]  rate          rate code.
 * \param[in]  channel       the 1-Wire channel.
 * \param[in]  delimiter     #TQLA_DELIMITER_BLANK, else the comma variant.
 * \param[in]  labels        nonzero writes "Reset Pulse " and "Presence Pulse ".
 * \param[in]  hexadecimal   nonzero hexadecimal, 0 decimal.
 * \param[in]  protocolFile  protocol definition file, or null or "".
 * \param[in]  packetFile    packet record file.
 * \param[out] errorText     #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says.
 * \par Choice
 * A line already low at the start of the range is not timed: its rise ends no
 * pulse.
 */
TQLA_EXPORT int32_t TQLA_API Decode1Wire(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channel, TqlaLong delimiter, TqlaLong labels,
    TqlaLong hexadecimal, char* protocolFile, char* packetFile, char* errorText);

/**
 * Decodes an I2S-style audio link (word select, bit clock, data): every
 * word-select change starts a word.
 *
 * After the first change of word select to the chosen level, every change
 * starts a word, whose bits are read at the clock edges that follow it, after
 * delay edges. Record lines of wordsPerLine words open on a new line with the
 * header (of the word's start). Values: hexadecimal with (bitsPerWord - 1) / 4
 * + 1 digits, or decimal `"%d"` (a word with its top bit set is negative),
 * followed by a comma or a blank. Events: every bit as 1-bit data on channel X.
 *
 * \param[in]  samples               the sample words.
 * \param[in]  recordFile            path of the record file.
 * \param[in]  start                 first sample index.
 * \param[in]  end                   sample index after the last.
 * \param[in]  rate                  rate code.
 * \param[in]  dataChannel           data channel.
 * \param[in]  delay                 clock edges let pass before the word: its
 *                                   first bit is read at edge delay + 1 after
 *                                   the word-select change (standard I2S: 1); a
 *                                   negative delay counts as 0.
 * \param[in]  unused1               not used.
 * \param[in]  firstWordSelectLevel  decoding starts at the first word-select
 *                                   change to high (nonzero) or low (0).
 * \param[in]  wordSelectChannel     word-select channel.
 * \param[in]  unused2               not used.
 * \param[in]  clockChannel          bit clock channel.
 * \param[in]  risingEdge            nonzero reads bits at rising clock edges, 0
 *                                   at falling ones.
 * \param[in]  bitsPerWord           1-32.
 * \param[in]  msbFirst              nonzero most significant bit first.
 * \param[in]  delimiter             #TQLA_DELIMITER_BLANK, else comma.
 * \param[in]  hexadecimal           nonzero hexadecimal, 0 signed decimal.
 * \param[in]  wordsPerLine          words per record line.
 * \param[in]  protocolFile          protocol definition file, or null or "".
 * \param[in]  packetFile            packet record file.
 * \param[out] errorText             #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, or "Bits per word must be 1
 *          to 32" before any file is made.
 * \par Choice
 * The first word always opens a record line, however many words a line takes.
 */
TQLA_EXPORT int32_t TQLA_API DecodeI2S(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong dataChannel, TqlaLong delay, TqlaULong unused1,
    TqlaULong firstWordSelectLevel, TqlaULong wordSelectChannel, TqlaULong unused2,
    TqlaULong clockChannel, TqlaULong risingEdge, TqlaULong bitsPerWord, TqlaULong msbFirst,
    TqlaULong delimiter, TqlaULong hexadecimal, TqlaLong wordsPerLine, char* protocolFile,
    char* packetFile, char* errorText);

/**
 * Decodes a clocked serial stream cut into words of a fixed width.
 *
 * Word alignment comes once, from the first active edge of a frame line
 * (frame mode) or the first time the last bits received equal the sync pattern
 * (pattern mode); the words then follow each other without gaps. The aligning
 * edge or sync word opens the first record line (in pattern mode the sync word
 * is its first value); lines of wordsPerLine words follow. Values are
 * hexadecimal with (bitsPerWord - 1) / 4 + 1 digits and a comma or a blank.
 * Events: every bit as 1-bit data on channel X, aligned or not.
 *
 * \param[in]  samples          the sample words.
 * \param[in]  recordFile       path of the record file.
 * \param[in]  start            first sample index.
 * \param[in]  end              sample index after the last.
 * \param[in]  rate             rate code.
 * \param[in]  dataChannel      data channel.
 * \param[in]  syncPattern      the sync word (pattern mode).
 * \param[in]  frameRisingEdge  frame mode: nonzero aligns at the frame line's
 *                              rise, 0 at its fall.
 * \param[in]  frameChannel     frame channel.
 * \param[in]  frameMode        nonzero frame mode, 0 pattern mode.
 * \param[in]  clockChannel     clock channel.
 * \param[in]  risingEdge       nonzero reads bits at rising clock edges.
 * \param[in]  bitsPerWord      1-32.
 * \param[in]  msbFirst         nonzero most significant bit first.
 * \param[in]  delimiter        #TQLA_DELIMITER_BLANK, else comma.
 * \param[in]  unused           not used.
 * \param[in]  wordsPerLine     words per record line.
 * \param[in]  protocolFile     protocol definition file, or null or "".
 * \param[in]  packetFile       packet record file.
 * \param[out] errorText        #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, and before any file is made
 *          with "Bits per word must be 1 to 32", or in pattern mode
 *          `"Sync pattern %X does not fit in %u bits"` for a pattern no word
 *          could ever equal.
 */
TQLA_EXPORT int32_t TQLA_API DecodeSerial(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong dataChannel, TqlaULong syncPattern,
    TqlaULong frameRisingEdge, TqlaULong frameChannel, TqlaULong frameMode, TqlaULong clockChannel,
    TqlaULong risingEdge, TqlaULong bitsPerWord, TqlaULong msbFirst, TqlaULong delimiter,
    TqlaULong unused, TqlaLong wordsPerLine, char* protocolFile, char* packetFile, char* errorText);

/**
 * Decodes a parallel bus of any set of the 16 channels.
 *
 * The selected channels of a sample form one value, the lowest channel in bit
 * 0. A value is taken at each chosen clock edge, or at every sample without
 * the clock. The first value opens a line with the header, later ones a new
 * line after valuesPerLine values. Formats by width (bits set in the mask):
 * 1-4 `"%01X"` or `"%1d"`, 5-8 `"%02X"` or `"%2d"`, 9-12 `"%03X"` or `"%4d"`,
 * 13-16 `"%04X"` or `"%5d"`, each followed by a comma or a blank. Events:
 * every value as data of its width on channel X.
 *
 * \param[in]  samples        the sample words.
 * \param[in]  recordFile     path of the record file.
 * \param[in]  start          first sample index.
 * \param[in]  end            sample index after the last.
 * \param[in]  rate           rate code.
 * \param[in]  channelMask    bit n set puts channel n on the bus.
 * \param[in]  clockChannel   clock channel.
 * \param[in]  useClock       nonzero takes values at the clock edge; 0 at every
 *                            sample.
 * \param[in]  clockEdge      #TQLA_EDGE_RISING or #TQLA_EDGE_FALLING; any other
 *                            value takes no value at all.
 * \param[in]  delimiter      #TQLA_DELIMITER_BLANK, else comma.
 * \param[in]  hexadecimal    nonzero hexadecimal, 0 decimal.
 * \param[in]  valuesPerLine  values per record line.
 * \param[in]  protocolFile   protocol definition file, or null or "".
 * \param[in]  packetFile     packet record file.
 * \param[out] errorText      #TQLA_ERROR_TEXT_SIZE bytes.
 * \returns 1; 0 with errorText as the frame says, and before any file is made
 *          with "Empty channel mask", `"Channel mask %X names channels past 15"`
 *          or, with the clock in use, `"Clock channel %u is on the bus"`.
 */
TQLA_EXPORT int32_t TQLA_API DecodeParallel(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channelMask, TqlaULong clockChannel, TqlaULong useClock,
    TqlaLong clockEdge, TqlaULong delimiter, TqlaULong hexadecimal, TqlaLong valuesPerLine,
    char* protocolFile, char* packetFile, char* errorText);

/** @} */

/**
 * \defgroup tqla_packets Packet engine and packet lists
 * \brief Cutting a decoder's values and events into user-defined packets, and
 * reading the packet records back.
 *
 * A protocol definition file describes up to seven protocols (layers), each
 * with a start and an end condition, optional bit-level decode steps, lookup
 * tables and lines of fields. A decoder given such a file starts the packet
 * engine with InitializeRedodoRovodovoz(), feeds it through SendDataStream()
 * and closes it with CloseRedodoRovodovoz(); the engine writes one packet
 * record per packet and passes fields named after another protocol to that
 * protocol as a new stream. LoadPackets() reads a packet record file back into
 * one of four slots, and LookupLabel() and LookupValue() read its texts.
 *
 * A packet record is one line, CR LF ended: the protocol name and the sample
 * index of the packet's first entry; a label and a value text per field shown
 * (a text-only field has the label " "); "EoP", " "; and the byte offsets in
 * the record file of the packet's first entry and of the record text written
 * when the packet ended, all separated by commas. Read back, a record's pairs
 * are (name, sample index), (label, value) per field, ("EoP", absent) and
 * (start offset, end offset).
 *
 * Events the decoders send (kind 1, bit count 0):
 * | Code | Sent by |
 * |------|---------|
 * | #TQLA_EVENT_START (1) | SPI: chip select active; I2C: START; asynchronous serial: parity error; CAN: start of frame; USB: every token, after code 4; PS/2: a device-to-host byte; 1-Wire: reset pulse |
 * | #TQLA_EVENT_STOP (2) | SPI: chip select released; I2C: STOP; CAN: frame end; USB: after every handshake; PS/2: a host-to-device byte; 1-Wire: presence pulse |
 * | #TQLA_EVENT_ACK (4) | I2C: acknowledge; USB: every token, before code 1 |
 * | #TQLA_EVENT_NACK (8) | I2C: no acknowledge |
 * | #TQLA_EVENT_END_OF_DATA (127) | every decoder, once after its last sample; the engine also ends every field it passes to a higher layer with it |
 * | #TQLA_EVENT_SIGNAL (channel * 16 + level) | a line reaching a level that a protocol's start or end condition names |
 *
 * A decoder sends a data value of up to 8 bits as one entry; a wider one in
 * pieces, the high part first (\ref tqla_decoder_frame). The engine's trace
 * lines go to standard output.
 *
 * \par Choices
 * A field's value (times its gain, plus its offset) is truncated toward zero
 * and kept to its low 32 bits, so an unscaled 32-bit field shows every bit (a
 * CRC-32 prints DEADBEEF in hex, -559038737 in decimal). The limits of the
 * engine (protocols, field lines, lookup tables, entries, substitution bytes)
 * are refused with a parser message naming the limit.
 * @{
 */

/** Event code: a frame or transfer starts (see the table of the group). */
#define TQLA_EVENT_START 1
/** Event code: a frame or transfer ends. */
#define TQLA_EVENT_STOP 2
/** Event code: an acknowledge (I2C), or a USB token before its start. */
#define TQLA_EVENT_ACK 4
/** Event code: no acknowledge (I2C). */
#define TQLA_EVENT_NACK 8
/** Event code: the end of a decoded stream, or of a field passed to a layer. */
#define TQLA_EVENT_END_OF_DATA 127
/** Event code of a signal event: channel (1-15) reaching level (0 or 1). */
#define TQLA_EVENT_SIGNAL(channel, level) ((channel) * 16 + (level))
/** Data channel X of the packet engine (CHANNELX of a protocol file). */
#define TQLA_PACKET_CHANNEL_X 1
/** Data channel Y of the packet engine (CHANNELY). */
#define TQLA_PACKET_CHANNEL_Y 2
/** Protocols a protocol definition file can describe (indexes 0-6). */
#define TQLA_PACKET_PROTOCOLS 7
/** Slots of packet lists (0-3). */
#define TQLA_PACKET_SLOTS 4

/**
 * Feeds one data value or bus event to a protocol of the packet engine.
 *
 * The decoders call it for protocol 0 between InitializeRedodoRovodovoz() and
 * CloseRedodoRovodovoz(); the engine calls it for the protocols that fields
 * are named after (the higher layers), on the same thread. A host may feed the
 * engine itself the same way. When the entry completes a packet, the packet is
 * decoded and written, and its layers fed, within this call.
 *
 * \param[in] protocol     index of a protocol of the file, 0-6.
 * \param[in] sampleIndex  sample index of the value or event.
 * \param[in] value        the data bits (the low bitCount bits, most
 *                         significant first in time), or the event code.
 * \param[in] bitCount     data bits in value, 0-8; 0 for events.
 * \param[in] channel      #TQLA_PACKET_CHANNEL_X or #TQLA_PACKET_CHANNEL_Y.
 * \param[in] isEvent      1 for an event, 0 for data.
 * \param[in] fileOffset   byte offset of the record text written so far, which
 *                         the packet records carry.
 * \returns 0.
 * \par Choices
 * Protocols outside 0-6, and every call before the first
 * InitializeRedodoRovodovoz(), are ignored. A bit count outside 0-8 is taken as
 * the nearest of them: an entry holds one byte. A full ring (65535 entries)
 * drops the new entry.
 */
TQLA_EXPORT int32_t TQLA_API SendDataStream(int32_t protocol, TqlaULong sampleIndex, uint8_t value,
    char bitCount, char channel, char isEvent, TqlaLong fileOffset);

/**
 * Starts the packet engine: opens the packet record file and parses a protocol
 * definition file.
 *
 * Resets the protocol model and every protocol's entries first.
 *
 * \param[in]  protocolFile  the protocol definition file (at most 100000
 *                           bytes are read).
 * \param[in]  outputFile    the packet record file, created or truncated.
 * \param[out] errorText     receives the parser's message on a parse failure,
 *                           at most 256 bytes with the NUL (such as
 *                           `"Can not open file %s"` or
 *                           `"Unknown keyword %s in START section"`).
 * \returns 1 when the output file is open and the protocol file parsed; 0 when
 *          the output file cannot be opened (`"Cant Open output file %s\n"` is
 *          printed on standard output and errorText is not written), or when
 *          the protocol file fails (errorText holds why; the output file stays
 *          open and empty until CloseRedodoRovodovoz()).
 * \par Choices
 * A second start while the output file is open closes that file first. An
 * output path of 2004 characters or more, or none, is refused as a file that
 * cannot be opened.
 */
TQLA_EXPORT int32_t TQLA_API InitializeRedodoRovodovoz(char* protocolFile, char* outputFile,
    char* errorText);

/**
 * Closes the packet record file.
 *
 * \returns 1, also when nothing is open; 0 when a packet record could not be
 *          written in full or the close failed (a full disk), after printing
 *          `"Cant write output file %s\n"` with the path.
 */
TQLA_EXPORT int32_t TQLA_API CloseRedodoRovodovoz(void);

/** Bytes of the text buffer that LookupLabel() and LookupValue() fill: they
 *  copy at most this many with the NUL. LoadPackets() cuts every label and
 *  value it loads to #TQLA_PACKET_TEXT_SIZE - 1 characters, which no value
 *  text of the packet engine exceeds; tqla_ext.h has lookups that take a
 *  buffer size. */
#define TQLA_PACKET_TEXT_SIZE 64000

/**
 * Loads a packet record file into a slot as a packet list.
 *
 * The file is cut into texts at commas, line feeds and carriage returns (a
 * blank is part of a text, and an empty field gives no text); each "EoP" ends a
 * packet, its absent value and the two offsets after it belonging to the
 * packet. A line without "EoP" at the end of the file is not a packet.
 *
 * \param[in] slot      0-3.
 * \param[in] fileName  a packet record file.
 * \returns the number of packets loaded; 0 for a slot outside 0-3 or a file
 *          that cannot be read.
 * \par Choices
 * Loading into a loaded slot replaces its list. Texts past the 128 of a
 * packet (64 pairs) are dropped; labels and values are cut to
 * #TQLA_PACKET_TEXT_SIZE - 1 characters.
 */
TQLA_EXPORT int32_t TQLA_API LoadPackets(char slot, char* fileName);

/**
 * Frees the packet list of a slot.
 *
 * Every lookup in the slot finds nothing afterwards; unloading an empty slot
 * leaves it empty.
 *
 * \param[in] slot  0-3.
 * \returns 1; 0 for a slot outside 0-3.
 */
TQLA_EXPORT int32_t TQLA_API UnLoadPackets(char slot);

/**
 * Copies the label of one pair of a packet.
 *
 * \param[in]  slot         0-3.
 * \param[out] text         #TQLA_PACKET_TEXT_SIZE bytes; unchanged when the
 *                          label is absent.
 * \param[in]  packetIndex  packet, from 0 to the count LoadPackets() returned
 *                          less one.
 * \param[in]  pairIndex    pair, 0-63 (pair 0 holds the protocol name).
 * \returns 1 when copied; 0 when absent, and for indexes outside the list.
 */
TQLA_EXPORT int32_t TQLA_API LookupLabel(char slot, char* text, TqlaLong packetIndex,
    TqlaLong pairIndex);

/**
 * Copies the value of one pair of a packet.
 *
 * \param[in]  slot         0-3.
 * \param[out] text         #TQLA_PACKET_TEXT_SIZE bytes; unchanged when the
 *                          value is absent.
 * \param[in]  packetIndex  packet, from 0 to the count LoadPackets() returned
 *                          less one.
 * \param[in]  pairIndex    pair, 0-63 (pair 0 holds the sample index).
 * \returns 1 when copied; 0 when absent (such as the value of the "EoP" pair),
 *          and for indexes outside the list.
 */
TQLA_EXPORT int32_t TQLA_API LookupValue(char slot, char* text, TqlaLong packetIndex,
    TqlaLong pairIndex);

/** @} */

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_H */
