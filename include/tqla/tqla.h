/*
 * tqla host API: drives the USB measurement pod (16 logic channels, two scope
 * channels, a 16-line pattern generator) and works on its captures.
 *
 * ABI: the API was laid out on a 32-bit data model. Its integer types are
 * spelled here with fixed widths: its int and unsigned int are int32_t and
 * uint32_t, its long and unsigned long TqlaLong and TqlaULong (32 bits too),
 * bytes are uint8_t, text stays char. Sample words are TqlaULong or uint32_t:
 * bits 0-15 digital channels 0-15, bits 16-23 CH1, bits 24-31 CH2 (offset
 * binary, volts = (byte - 128) * 0.078125).
 *
 * All state is process-wide; call the API from one host thread at a time.
 * No call throws; each reports failure through its documented result.
 */
#ifndef TQLA_TQLA_H
#define TQLA_TQLA_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TQLA_API __stdcall
#else
#define TQLA_API
#endif

/* On Windows the DLL's module-definition file, generated from this header,
 * names every export (under its plain and, on 32-bit Windows, its decorated
 * name); code linked with the library's static archive defines TQLA_STATIC. */
#if defined(_WIN32)
#if defined(TQLA_BUILDING_LIBRARY) || defined(TQLA_STATIC)
#define TQLA_EXPORT
#else
#define TQLA_EXPORT __declspec(dllimport)
#endif
#else
#define TQLA_EXPORT __attribute__((visibility("default")))
#endif

/* The API's long and unsigned long: 32 bits on every platform. They are
 * spelled apart from int32_t and uint32_t (the API's int and unsigned int)
 * because on 32-bit Windows each export's decorated name encodes which of
 * the two every argument is. */
typedef int32_t TqlaLong;
typedef uint32_t TqlaULong;

#ifdef __cplusplus
extern "C" {
#endif

/* One FX2 controller of a pod, as taken by the raw-transfer exports. */
typedef struct CCyUSBDevice CCyUSBDevice;

/* ---- Sample buffer and sample word ---- */
/* makes a buffer of size sample words (a multiple of 65536) and makes it current; null on failure */
TQLA_EXPORT TqlaULong* TQLA_API MakeBuffer(TqlaULong size);
/* frees a buffer made by MakeBuffer or MakeBufferSG; 0 for null or a block this library did not make.
 * A capture still writing into the block is ended first (its threads stop); 0, and nothing freed,
 * when they do not stop within 5 s. A later stop then rotates and calibrates nothing of it. */
TQLA_EXPORT int32_t TQLA_API DeleteBuffer(TqlaULong* buffer);
/* largest buffer in sample words that free physical memory suggests */
TQLA_EXPORT TqlaULong TQLA_API GetMaxBufferSize(void);
/* sets the variable-loop generator's length and rewinds its position; returns 1 */
TQLA_EXPORT int32_t TQLA_API ChangeBufferLength(TqlaULong length);
/* number of valid sample words in the current buffer */
TQLA_EXPORT TqlaLong TQLA_API GetActualCaptureLength(void);
/* fills the current buffer with a falling saw and marker words; returns 1 */
TQLA_EXPORT TqlaLong TQLA_API DemoData(void);
/* fills the current buffer with a counter, a sine on CH1 and a cosine on CH2; returns 1 */
TQLA_EXPORT TqlaLong TQLA_API DemoData16(void);

/* ---- Pod discovery, opening and closing ---- */
/* writes the pod IDs present into ids (room for two entries per pod); returns the pod count */
TQLA_EXPORT int32_t TQLA_API EnumerateTQPods(uint32_t* ids);
/* opens both FX2 controllers of pod id; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API OpenTQPod(uint32_t id);
/* builds the pin maps, opens pod id and prepares it for captures and generation; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API InitializeTQPod(uint32_t id);
/* as InitializeTQPod with the extractor's alternate settings; second is not read */
TQLA_EXPORT int32_t TQLA_API InitializeTQExtractor(uint32_t id, uint32_t second);
/* writes a self-test report to "tqlog.txt"; always 1 */
TQLA_EXPORT int32_t TQLA_API TestTQPod(uint32_t* ids);
/* devices on the driver, or 900 when no pod is open */
TQLA_EXPORT int32_t TQLA_API StillThere(void);
/* closes both FX2 controllers of the open pod; always 1 */
TQLA_EXPORT int32_t TQLA_API ClosePod(void);

/* ---- Firmware download and EEPROM ---- */
/* writes hold to the FX2 CPU control register (1 holds the 8051 in reset); 1 success, 4 failure */
TQLA_EXPORT int32_t TQLA_API Reset8051(CCyUSBDevice* device, char hold);
/* loads one 8192-byte firmware image and starts it; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API DownloadImage(CCyUSBDevice* device, uint8_t* image);
/* resets the FX2, loads a program file, releases it; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API DownloadFirmware(CCyUSBDevice* device, char* path);
/* DownloadFirmware on the pod's Digital FX2 */
TQLA_EXPORT int32_t TQLA_API DownloadFirmwareDigital(char* path);
/* writes the first 4096 bytes of a file from FX2 address 0 without reset; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API DownloadFile(CCyUSBDevice* device, char* path);
/* writes the first 8192 bytes of a file from address without reset; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API DownloadData(CCyUSBDevice* device, uint32_t address, char* path);
/* reset, DownloadData on the Digital FX2, release; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API DownloadDataDigital(uint32_t address, char* path);
/* reads length bytes of the pod EEPROM at address; always 0 */
TQLA_EXPORT int32_t TQLA_API ReadEEPROM(uint32_t address, uint32_t length, uint8_t* buffer);
/* writes length bytes of the pod EEPROM at address; always 0 */
TQLA_EXPORT int32_t TQLA_API WriteEEPROM(uint32_t address, uint32_t length, uint8_t* buffer);

/* ---- Raw transfers and modes ---- */
/* vendor control read of request (index before value); 1 or 0 */
TQLA_EXPORT int32_t TQLA_API ControlIn(CCyUSBDevice* device, uint8_t request, uint32_t index,
    uint32_t value, uint32_t length, uint8_t* buffer);
/* vendor control write to the Digital FX2 (index before value); 1 or 0 */
TQLA_EXPORT int32_t TQLA_API ControlOut(uint8_t request, uint32_t index, uint32_t value,
    uint32_t length, uint8_t* buffer);
/* vendor request 0xA2 read (value before index); 1 success, 4 failure */
TQLA_EXPORT int32_t TQLA_API VendorControlIn(CCyUSBDevice* device, uint32_t value,
    uint32_t index, uint32_t length, uint8_t* buffer);
/* vendor request 0xA2 write (value before index); 1 success, 4 failure */
TQLA_EXPORT int32_t TQLA_API VendorControlOut(CCyUSBDevice* device, uint32_t value,
    uint32_t index, uint32_t length, uint8_t* buffer);
/* reads length bytes from IN endpoint endpoint of device; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API BulkIn(CCyUSBDevice* device, uint8_t endpoint, uint32_t length,
    uint8_t* buffer);
/* writes length bytes to OUT endpoint endpoint of the Digital FX2; 1 or 0 */
TQLA_EXPORT int32_t TQLA_API BulkOut(uint8_t endpoint, uint32_t length, uint8_t* buffer);
/* loads the mode image for mode; 1 when the Digital FX2 then reports ready */
TQLA_EXPORT int32_t TQLA_API SetMode(int32_t mode);

/* ---- Buffered capture ---- */
/* starts a capture into buffer of length words; 1 when running, 0 when a download failed.
 * A buffer from MakeBuffer must hold length words from the pointer given (else 0); a host's own
 * array must hold them too and stay allocated until StopCapture (or ClosePod) has returned. */
TQLA_EXPORT int32_t TQLA_API StartCapture(uint32_t mode, uint32_t trigger, uint32_t channel,
    uint32_t level, uint32_t rate, uint32_t spare, TqlaULong* steps, int32_t stepCount,
    TqlaULong* buffer, TqlaULong length, TqlaULong post);
/* fills the seven status outputs; returns the break count: the FX2 break counters plus the
 * blocks the host dropped because a transfer ended part filled, or -1 when the run failed
 * (an FX2 stopped answering, or one FX2 fell a batch behind the other for 1 s) */
TQLA_EXPORT int32_t TQLA_API CaptureStatus(char* breaks, char* running, char* triggered,
    TqlaLong* start, TqlaLong* end, TqlaLong* triggerAt, char* percent);
/* the status byte of the Digital FX2 (0x55 once its firmware runs) */
TQLA_EXPORT int32_t TQLA_API SingleCaptureStatus(void);
/* ends the run, rotates the ring and calibrates the analog bytes */
TQLA_EXPORT int32_t TQLA_API StopCapture(void);
/* StopCapture that also fills the second sample array */
TQLA_EXPORT int32_t TQLA_API StopCapture16(void);
/* combined logic and scope stop; always 0 */
TQLA_EXPORT int32_t TQLA_API StopCaptureMSO(void);
/* a short capture reporting mean analog levels (1/100 V) and the digital lines */
TQLA_EXPORT TqlaULong TQLA_API GetAllSignals(TqlaLong* ch1, TqlaLong* ch2, TqlaULong* digital);

/* ---- Streaming capture ---- */
/* starts a stream with byte step pairs; 1 when started, 0 when the download failed */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture(uint32_t rate, uint32_t clockMode,
    uint8_t* steps, int32_t stepCount, uint8_t* buffer, TqlaULong length, TqlaULong post);
/* starts a stream with 32-bit step pairs and a word buffer */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture16(uint32_t rate, uint32_t clockMode,
    TqlaULong* steps, int32_t stepCount, TqlaULong* buffer, TqlaULong length, TqlaULong post);
/* copies the oldest filled 65536-byte block to destination and frees it; 1, or 0 when empty */
TQLA_EXPORT uint8_t TQLA_API GetNextStreamBuffer(uint8_t* destination);
/* filled blocks in the stream ring */
TQLA_EXPORT TqlaULong TQLA_API StreamBufferCount(void);
/* free blocks in the stream ring */
TQLA_EXPORT TqlaULong TQLA_API StreamBuffersLeft(void);
/* 1 when a block was lost since the last call (clears the mark), else 0: a full ring, or a
 * transfer that ended part filled (dropped: every block handed out is whole) */
TQLA_EXPORT char TQLA_API StreamBufferOverflow(void);
/* ends the stream; returns 1 */
TQLA_EXPORT int32_t TQLA_API StopStream(void);

/* ---- Analog channel support ---- */
/* corrects the analog bytes (20 fraction bits); 0 when done, -1 to be called again */
TQLA_EXPORT int32_t TQLA_API CalibrateScope(TqlaULong offset1, TqlaULong gain1, TqlaULong offset2,
    TqlaULong gain2);
/* analog byte of sample index: CH1 when channel is 1, else CH2 */
TQLA_EXPORT TqlaLong TQLA_API ScopeData(TqlaLong index, TqlaULong channel);
/* zeroes the second sample array; returns 1 */
TQLA_EXPORT TqlaLong TQLA_API ClearScopeData(void);
/* returns 123 */
TQLA_EXPORT int32_t TQLA_API GetGain(void);

/* ---- Diagnostics and trigger search ---- */
/* 5-second 8-channel capture at rate code rate; rate when nothing was lost, else 0 */
TQLA_EXPORT int32_t TQLA_API TestIt(uint8_t rate);
/* the highest rate code that passes TestIt, or 0 */
TQLA_EXPORT int32_t TQLA_API SpeedTest(void);
/* searches the sample buffer for (mask, value) byte steps; a sample index or -1 */
TQLA_EXPORT TqlaLong TQLA_API SearchForTrigger(uint8_t* steps, TqlaULong stepCount,
    TqlaULong position, TqlaULong forward);

/* ---- Generator buffer and pattern editing ---- */
/* makes a packed pattern buffer of samples 16-bit samples (a multiple of 65536); null on failure */
TQLA_EXPORT TqlaULong* TQLA_API MakeBufferSG(TqlaULong samples);
/* largest packed pattern in 16-bit samples that free physical memory suggests */
TQLA_EXPORT TqlaULong TQLA_API GetMaxBufferSizeSG(void);
/* stores word index (plain layout); 0 past the buffer */
TQLA_EXPORT TqlaLong TQLA_API SetData(TqlaULong index, TqlaULong value);
/* stores 16-bit sample index (packed layout); 0 past the buffer */
TQLA_EXPORT TqlaLong TQLA_API SetDataSG(TqlaULong index, TqlaULong value);
/* sets or clears bit channel over words first..last (plain layout, clamped) */
TQLA_EXPORT TqlaLong TQLA_API SetBlockData(TqlaLong first, TqlaLong last, uint8_t channel,
    uint8_t level);
/* sets or clears channel over samples first..last (packed layout, clamped) */
TQLA_EXPORT TqlaLong TQLA_API SetBlockDataSG(TqlaLong first, TqlaLong last, uint8_t channel,
    uint8_t level);
/* word index, or the last word past the end (plain layout) */
TQLA_EXPORT TqlaLong TQLA_API LoggedData(TqlaULong index);
/* 16-bit sample index, or the last sample past the end (packed layout) */
TQLA_EXPORT TqlaLong TQLA_API LoggedDataSG(TqlaULong index);
/* run-length encodes count bytes into (value << 12) + count vectors ending with 0 */
TQLA_EXPORT void TQLA_API CreateVectors(uint8_t* bytes, TqlaULong* vectors, TqlaULong count);

/* ---- Generation runs ----
 * Every start returns 1 once its output thread runs and the pod has its timing, 0 for a rate
 * code outside the table, a mode whose low seven bits pass 4, a null or empty pattern, a
 * length past the end of a buffer from MakeBuffer, no open pod, a failed download or a pod
 * that never greets (about 2 s). A start ends any capture, stream or run still going, as a
 * capture start does. A length that is not a whole number of 64 KiB blocks is padded with the
 * idle word; a loop goes on from the pattern's start in the middle of a block, without a seam.
 * A host's own pattern must stay allocated until the run has stopped. */
/* generates a plain-layout pattern of length words once */
TQLA_EXPORT int32_t TQLA_API StartGenerate(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length);
/* generates a packed pattern of length 16-bit samples once */
TQLA_EXPORT int32_t TQLA_API StartGenerateSG(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length);
/* generates a plain-layout pattern, looping when loop is set */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerate(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);
/* generates a packed pattern, looping when loop is set */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerateSG(TqlaULong width, uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);
/* sends the 32 queue slots again and again: they hold the pattern's first 2 MiB as 8-bit
 * samples (repeated when it is shorter) */
TQLA_EXPORT int32_t TQLA_API StartVariableLoopGenerate(uint32_t rate, uint8_t mode,
    TqlaULong* pattern, TqlaULong length, uint8_t loop);
/* pod status byte (the generator counts its underruns there: times it ran out of data and
 * held the lines), running and started flags and percent sent; returns the status byte */
TQLA_EXPORT int32_t TQLA_API GenerateStatus(char* podStatus, char* running, char* started,
    char* percent);
/* ends the generation run; returns 1 (at once when nothing runs), 0 when its thread does not
 * stop within 5 s */
TQLA_EXPORT int32_t TQLA_API StopGenerate(void);

/* ---- Digital I/O and pulse counting ---- */
/* drives the lines in mask with count values (at most 16,383; count 0 sends only a changed
 * mask); 1, or 0 for more values, null values, no open pod or a failed transfer */
TQLA_EXPORT int32_t TQLA_API SetSignals(TqlaULong mask, uint32_t count, TqlaULong* values);
/* reads count values of the lines (at most 32,768); 1, or 0 for more, null values, no open
 * pod, a failed command or read, or a reply shorter than asked */
TQLA_EXPORT int32_t TQLA_API GetSignals(TqlaULong mask, uint32_t count, TqlaULong* values);
/* starts counting edges at width 8 (any other width counts 16 channels) with a qualifier;
 * 0 for a rate code outside the table, no open pod, a failed download or no ready byte */
TQLA_EXPORT int32_t TQLA_API StartPulseCount(uint8_t width, uint32_t rate, TqlaULong qualifierMask,
    TqlaULong qualifierValue);
/* stores the sixteen edge counters; returns 0 */
TQLA_EXPORT TqlaLong TQLA_API GetPulseCount(TqlaLong* count0, TqlaLong* count1, TqlaLong* count2,
    TqlaLong* count3, TqlaLong* count4, TqlaLong* count5, TqlaLong* count6, TqlaLong* count7,
    TqlaLong* count8, TqlaLong* count9, TqlaLong* count10, TqlaLong* count11, TqlaLong* count12,
    TqlaLong* count13, TqlaLong* count14, TqlaLong* count15);
/* ends pulse counting; returns 1 (0 when its thread does not stop within 5 s) */
TQLA_EXPORT int32_t TQLA_API StopPulseCount(void);
/* counts edges in length bytes of raw pod samples into the counters; returns 0 */
TQLA_EXPORT TqlaLong TQLA_API CountEdges(uint8_t* bytes, uint32_t length);
/* counts level changes per channel over the sample buffer; returns 0 */
TQLA_EXPORT TqlaLong TQLA_API CountEdgesInBuffer(TqlaLong* count0, TqlaLong* count1,
    TqlaLong* count2, TqlaLong* count3, TqlaLong* count4, TqlaLong* count5, TqlaLong* count6,
    TqlaLong* count7, TqlaLong* count8, TqlaLong* count9, TqlaLong* count10, TqlaLong* count11,
    TqlaLong* count12, TqlaLong* count13, TqlaLong* count14, TqlaLong* count15);

/* ---- Capture files and sample sections ---- */
/* Every reader of files (here, the range files, protocol files and packet
 * lists) reads regular files only: a folder, a device such as /dev/zero or a
 * FIFO counts as a file that cannot be opened. Nothing is allocated by a
 * length a file states: OpenFileDataAndConfig16 grows the second sample
 * array only to what the file holds of its second block. */
/* writes the plain capture file; 1, or 0 when the file cannot be created or written (full disk) */
TQLA_EXPORT int32_t TQLA_API SaveFileData(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, const char* fileName);
/* reads a plain capture file; the data bytes read, 0 when it cannot be opened */
TQLA_EXPORT TqlaLong TQLA_API OpenFileData(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, const char* fileName);
/* writes the configuration capture file; 1, or 0 when it cannot be created or written */
TQLA_EXPORT int32_t TQLA_API SaveFileDataAndConfig(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, TqlaULong* storedLength, uint8_t* c1,
    uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7, uint8_t* c8,
    uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13, uint8_t* c14, uint8_t* c15,
    uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19, uint8_t* c20, uint8_t* c21,
    uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25, uint8_t* c26, uint8_t* c27,
    uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31, uint8_t* c32, uint8_t* c33,
    uint8_t* c34, uint8_t* c35, TqlaULong* w1, TqlaULong* w2, TqlaULong* w3, TqlaULong* w4,
    TqlaULong* w5, TqlaULong* w6, TqlaULong* w7, TqlaULong* w8, const char* fileName);
/* reads a configuration capture file; the data bytes read, 0 when it cannot be opened */
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
/* writes the configuration capture file with a second data block; 1, or 0 as above */
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
/* reads it back; the bytes read for the second block, 0 when it cannot be opened */
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
/* reads the stored length of a configuration file; 0 when it cannot be opened */
TQLA_EXPORT TqlaLong TQLA_API GetFileBufferSize(TqlaULong* storedLength, const char* fileName);
/* appends "[Samples]" and the whole sample buffer; words written, 0 when a write failed */
TQLA_EXPORT int32_t TQLA_API AppendSampleData(char* fileName);
/* appends "[Samples]" and count words from first; words written, 0 when a write failed */
TQLA_EXPORT int32_t TQLA_API AppendBetweenSampleData(char* fileName, TqlaULong first,
    TqlaULong count);
/* reads up to count words after the first "[Samples]" of a regular file; words read */
TQLA_EXPORT int32_t TQLA_API ExtractBufferFromFile(char* fileName, TqlaULong count);

/* ---- Edit operations and text export ---- */
/* writes the range file of words first..last; 1, or 0 when it cannot be created or written */
TQLA_EXPORT int32_t TQLA_API Copy(char* fileName, TqlaLong first, TqlaLong last);
/* writes the undo range file of words first..last; 1, or 0 as Copy */
TQLA_EXPORT int32_t TQLA_API SaveUndo(char* fileName, TqlaLong first, TqlaLong last);
/* stores a range file's words from index at, as many as fit; words read */
TQLA_EXPORT TqlaLong TQLA_API Paste(char* fileName, TqlaLong at);
/* stores a range file's words back at its own first index; words read */
TQLA_EXPORT TqlaLong TQLA_API Undo(char* fileName);
/* writes the text export of words first up to last (exclusive); always 1 */
TQLA_EXPORT int32_t TQLA_API OutputSampleData(char* fileName, TqlaULong first, TqlaULong last);

/* ---- Screen scaling of logic data ---- */
/* pixel codes 0/1/2 per channel and column, zoom as two integers */
TQLA_EXPORT void TQLA_API ScaleDataToScreen(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong samplesPerPixel,
    TqlaULong pixelsPerSample);
/* ScaleDataToScreen over the packed pattern layout */
TQLA_EXPORT void TQLA_API ScaleDataToScreenSG(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong samplesPerPixel,
    TqlaULong pixelsPerSample);
/* pixel codes with samples per column given in 1/1024 */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNew(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong scale);
/* ScaleDataToScreenNew over the packed pattern layout */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNewSG(TqlaULong* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4, uint8_t* channel5,
    uint8_t* channel6, uint8_t* channel7, uint8_t* channel8, uint8_t* channel9, uint8_t* channel10,
    uint8_t* channel11, uint8_t* channel12, uint8_t* channel13, uint8_t* channel14,
    uint8_t* channel15, TqlaLong start, TqlaULong width, TqlaULong scale);

/* ---- Screen scaling of scope data ---- */
/* per-column minimum and maximum of one analog channel (256: no sample), scale in 1/1024 */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenNew(TqlaULong* samples, TqlaULong channel,
    TqlaULong* minimum, TqlaULong* maximum, TqlaLong start, TqlaULong width, TqlaULong scale);
/* as above, scale in 1/3500, aligned to the trigger crossing */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenVeryNew(TqlaULong* samples, TqlaULong channel,
    TqlaULong triggerChannel, TqlaULong* minimum, TqlaULong* maximum, TqlaLong start,
    TqlaULong width, TqlaULong scale, TqlaLong* shift, TqlaLong interpolate);

/* ---- Decoder frame ---- */
/* Record files, packet record files and the merged files are written in
 * binary mode with CR LF line ends on every platform: the offsets in packet
 * records count each line end as two bytes, so a host can seek to them. */
/* sets the decoder name written into record headers; returns 0 */
TQLA_EXPORT int32_t TQLA_API DecodeSetName(char* name);
/* makes the next record timestamp the zero point; relative selects relative times; returns 0 */
TQLA_EXPORT int32_t TQLA_API StartTimestamp(char relative);
/* merges the sixteen per-channel record files of folder by timestamp; returns 0 */
TQLA_EXPORT int32_t TQLA_API CombineAndSort(uint8_t* folder);
/* merges the sixteen per-channel packet files of folder by timestamp; returns 0 */
TQLA_EXPORT int32_t TQLA_API CombineAndSortPP(uint8_t* folder);

/* ---- Bus decoders ---- */
/* A decoder whose record file cannot be written in full (a full disk) returns
 * 0 with "Can not write output file: <reason>"; one whose packet record file
 * cannot, 0 with "Error Closing RedodoRovodovoz". */
/* SPI with word sizes 1-32; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodeSPIVariable(TqlaULong* samples, uint8_t* recordFile,
    TqlaLong start, TqlaLong end, TqlaLong rate, TqlaULong ssChannel, TqlaULong sckChannel,
    TqlaULong mosiChannel, TqlaULong misoChannel, TqlaULong misoRisingEdge,
    TqlaULong mosiRisingEdge, TqlaULong delimiter, TqlaULong format, TqlaULong useChipSelect,
    TqlaLong wordsPerRecord, TqlaLong wordSize, char* protocolFile, char* packetFile,
    char* errorText);
/* SPI with 8-bit words in MOSI and MISO line texts; always 0 */
TQLA_EXPORT int32_t TQLA_API DecodeSPI(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong ssChannel, TqlaULong sckChannel, TqlaULong mosiChannel,
    TqlaULong misoChannel, TqlaULong misoRisingEdge, TqlaULong mosiRisingEdge, TqlaULong delimiter,
    TqlaULong format, TqlaULong useChipSelect, TqlaLong wordsPerRecord, char* unused1,
    char* unused2, char* unused3);
/* I2C; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodeI2C(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong sdaChannel, TqlaULong sclChannel, TqlaLong showAck,
    TqlaLong delimiter, TqlaLong showMarkers, TqlaLong hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);
/* asynchronous serial on the channels of channelMask; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodeASYNC(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channelMask, TqlaULong baud, TqlaULong parity,
    TqlaULong dataBits, TqlaULong delimiter, TqlaULong hexadecimal, TqlaULong character,
    TqlaLong charactersPerLine, char* protocolFile, char* packetFile, char* errorText);
/* CAN; 1, or 0 with errorText (also for a bit rate of 0 or under two samples a bit) */
TQLA_EXPORT int32_t TQLA_API DecodeCAN(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong channel, TqlaULong bitRate, TqlaULong highestId,
    TqlaULong lowestId, TqlaLong unused1, TqlaLong labels, TqlaLong unused2, char* protocolFile,
    char* packetFile, char* errorText);
/* USB low and full speed; 1, or 0 with errorText (also for under two samples a bit: full
 * speed needs 24 MHz, low speed 3 MHz). After a packet the search resumes one bit time past
 * the end of its SE0, so back-to-back packets all decode. */
TQLA_EXPORT int32_t TQLA_API DecodeUSB(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong sampleCount, TqlaLong endpointFilter, TqlaLong addressFilter,
    TqlaLong dPlusChannel, TqlaLong dMinusChannel, TqlaLong fullSpeed, TqlaLong rate,
    TqlaLong showSof, TqlaLong delimiter, TqlaLong text, TqlaLong hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);
/* USB from byte samples into "usb.txt" (CR LF lines) and a payload buffer; payload bytes stored */
TQLA_EXPORT int32_t TQLA_API USBDecode(uint8_t* samples, TqlaLong sampleCount,
    TqlaLong endpointFilter, TqlaLong addressFilter, uint8_t* payload, TqlaLong payloadSize,
    TqlaLong start, TqlaLong end, TqlaLong dPlusBit, TqlaLong dMinusBit, TqlaLong fullSpeed,
    TqlaLong rate, TqlaLong showSof);
/* PS/2; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodePS2(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong dataChannel, TqlaULong clockChannel, TqlaULong msbFirst,
    char* protocolFile, char* packetFile, char* errorText);
/* 1-Wire; 1, or 0 with errorText. A line already low at the start of the range
 * is not timed. */
TQLA_EXPORT int32_t TQLA_API Decode1Wire(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channel, TqlaLong delimiter, TqlaLong labels,
    TqlaLong hexadecimal, char* protocolFile, char* packetFile, char* errorText);
/* I2S; 1, or 0 with errorText ("Bits per word must be 1 to 32" before any file
 * is made). A negative delay is no delay; the first word always opens a line. */
TQLA_EXPORT int32_t TQLA_API DecodeI2S(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong dataChannel, TqlaLong delay, TqlaULong unused1,
    TqlaULong firstWordSelectLevel, TqlaULong wordSelectChannel, TqlaULong unused2,
    TqlaULong clockChannel, TqlaULong risingEdge, TqlaULong bitsPerWord, TqlaULong msbFirst,
    TqlaULong delimiter, TqlaULong hexadecimal, TqlaLong wordsPerLine, char* protocolFile,
    char* packetFile, char* errorText);
/* synchronous serial in pattern or frame mode; 1, or 0 with errorText ("Bits per
 * word must be 1 to 32", or in pattern mode "Sync pattern %X does not fit in %u
 * bits", before any file is made). */
TQLA_EXPORT int32_t TQLA_API DecodeSerial(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaULong rate, TqlaULong dataChannel, TqlaULong syncPattern,
    TqlaULong frameRisingEdge, TqlaULong frameChannel, TqlaULong frameMode, TqlaULong clockChannel,
    TqlaULong risingEdge, TqlaULong bitsPerWord, TqlaULong msbFirst, TqlaULong delimiter,
    TqlaULong unused, TqlaLong wordsPerLine, char* protocolFile, char* packetFile, char* errorText);
/* parallel bus on the channels of channelMask; 1, or 0 with errorText ("Empty
 * channel mask", "Channel mask %X names channels past 15", or with the clock in
 * use "Clock channel %u is on the bus", before any file is made). */
TQLA_EXPORT int32_t TQLA_API DecodeParallel(TqlaULong* samples, uint8_t* recordFile, TqlaLong start,
    TqlaLong end, TqlaLong rate, TqlaULong channelMask, TqlaULong clockChannel, TqlaULong useClock,
    TqlaLong clockEdge, TqlaULong delimiter, TqlaULong hexadecimal, TqlaLong valuesPerLine,
    char* protocolFile, char* packetFile, char* errorText);

/* ---- RedodoRovodovoz packet engine and packet lists ---- */
/* feeds one data value or bus event to protocol; returns 0 */
TQLA_EXPORT int32_t TQLA_API SendDataStream(int32_t protocol, TqlaULong sampleIndex, uint8_t value,
    char bitCount, char channel, char isEvent, TqlaLong fileOffset);
/* parses protocolFile and opens outputFile for packet records; 1, or 0 with errorText.
 * A field's value (times its gain, plus its offset) is truncated toward zero and kept to its
 * low 32 bits, so an unscaled 32-bit field shows every bit (a CRC-32 prints DEADBEEF in hex,
 * -559038737 in decimal). */
TQLA_EXPORT int32_t TQLA_API InitializeRedodoRovodovoz(char* protocolFile, char* outputFile,
    char* errorText);
/* flushes and closes the packet output; 1, or 0 when a packet record could not be written (full disk) */
TQLA_EXPORT int32_t TQLA_API CloseRedodoRovodovoz(void);
/* The text buffer hosts pass to LookupLabel and LookupValue must hold
 * TQLA_PACKET_TEXT_SIZE bytes: LoadPackets cuts every label and value it
 * loads to TQLA_PACKET_TEXT_SIZE - 1 characters, which no value text of the
 * packet engine exceeds. tqla_ext.h has lookups that take a buffer size. */
#define TQLA_PACKET_TEXT_SIZE 64000
/* loads a packet record file (a regular file; anything else loads nothing) into slot; the number of packets */
TQLA_EXPORT int32_t TQLA_API LoadPackets(char slot, char* fileName);
/* frees the packets of slot; returns 1 */
TQLA_EXPORT int32_t TQLA_API UnLoadPackets(char slot);
/* copies the label of pair pairIndex of packet packetIndex into text (TQLA_PACKET_TEXT_SIZE bytes); 1, or 0 if absent */
TQLA_EXPORT int32_t TQLA_API LookupLabel(char slot, char* text, TqlaLong packetIndex,
    TqlaLong pairIndex);
/* copies the value of pair pairIndex of packet packetIndex into text (TQLA_PACKET_TEXT_SIZE bytes); 1, or 0 if absent */
TQLA_EXPORT int32_t TQLA_API LookupValue(char slot, char* text, TqlaLong packetIndex,
    TqlaLong pairIndex);

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_H */
