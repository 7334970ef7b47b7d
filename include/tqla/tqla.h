/*
 * tqla host API: drives the USB measurement pod (16 logic channels, two scope
 * channels, a 16-line pattern generator) and works on its captures.
 *
 * ABI: the API was laid out on a 32-bit data model. Its integer types are
 * spelled here with fixed widths: 32-bit counts and flags are int32_t or
 * uint32_t, bytes are uint8_t, text stays char. Sample words are uint32_t:
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

#if defined(_WIN32)
#if defined(TQLA_BUILDING_LIBRARY)
#define TQLA_EXPORT __declspec(dllexport)
#else
#define TQLA_EXPORT __declspec(dllimport)
#endif
#else
#define TQLA_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One FX2 controller of a pod, as taken by the raw-transfer exports. */
typedef struct CCyUSBDevice CCyUSBDevice;

/* ---- Sample buffer and sample word ---- */
/* makes a buffer of size sample words (a multiple of 65536) and makes it current; null on failure */
TQLA_EXPORT uint32_t* TQLA_API MakeBuffer(uint32_t size);
/* frees a buffer made by MakeBuffer or MakeBufferSG; 0 for null or a block this library did not make.
 * A capture still writing into the block is ended first (its threads stop); 0, and nothing freed,
 * when they do not stop within 5 s. A later stop then rotates and calibrates nothing of it. */
TQLA_EXPORT int32_t TQLA_API DeleteBuffer(uint32_t* buffer);
/* largest buffer in sample words that free physical memory suggests */
TQLA_EXPORT uint32_t TQLA_API GetMaxBufferSize(void);
/* sets the variable-loop generator's length and rewinds its position; returns 1 */
TQLA_EXPORT int32_t TQLA_API ChangeBufferLength(uint32_t length);
/* number of valid sample words in the current buffer */
TQLA_EXPORT int32_t TQLA_API GetActualCaptureLength(void);
/* fills the current buffer with a falling saw and marker words; returns 1 */
TQLA_EXPORT int32_t TQLA_API DemoData(void);
/* fills the current buffer with a counter, a sine on CH1 and a cosine on CH2; returns 1 */
TQLA_EXPORT int32_t TQLA_API DemoData16(void);

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
    uint32_t level, uint32_t rate, uint32_t spare, uint32_t* steps, int32_t stepCount,
    uint32_t* buffer, uint32_t length, uint32_t post);
/* fills the seven status outputs; returns the break count: the FX2 break counters plus the
 * blocks the host dropped because a transfer ended part filled, or -1 when the run failed
 * (an FX2 stopped answering, or one FX2 fell a batch behind the other for 1 s) */
TQLA_EXPORT int32_t TQLA_API CaptureStatus(char* breaks, char* running, char* triggered,
    int32_t* start, int32_t* end, int32_t* triggerAt, char* percent);
/* the status byte of the Digital FX2 (0x55 once its firmware runs) */
TQLA_EXPORT int32_t TQLA_API SingleCaptureStatus(void);
/* ends the run, rotates the ring and calibrates the analog bytes */
TQLA_EXPORT int32_t TQLA_API StopCapture(void);
/* StopCapture that also fills the second sample array */
TQLA_EXPORT int32_t TQLA_API StopCapture16(void);
/* combined logic and scope stop; always 0 */
TQLA_EXPORT int32_t TQLA_API StopCaptureMSO(void);
/* a short capture reporting mean analog levels (1/100 V) and the digital lines */
TQLA_EXPORT uint32_t TQLA_API GetAllSignals(int32_t* ch1, int32_t* ch2, uint32_t* digital);

/* ---- Streaming capture ---- */
/* starts a stream with byte step pairs; 1 when started, 0 when the download failed */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture(uint32_t rate, uint32_t clockMode,
    uint8_t* steps, int32_t stepCount, uint8_t* buffer, uint32_t length, uint32_t post);
/* starts a stream with 32-bit step pairs and a word buffer */
TQLA_EXPORT int32_t TQLA_API StartStreamingCapture16(uint32_t rate, uint32_t clockMode,
    uint32_t* steps, int32_t stepCount, uint32_t* buffer, uint32_t length, uint32_t post);
/* copies the oldest filled 65536-byte block to destination and frees it; 1, or 0 when empty */
TQLA_EXPORT uint8_t TQLA_API GetNextStreamBuffer(uint8_t* destination);
/* filled blocks in the stream ring */
TQLA_EXPORT uint32_t TQLA_API StreamBufferCount(void);
/* free blocks in the stream ring */
TQLA_EXPORT uint32_t TQLA_API StreamBuffersLeft(void);
/* 1 when a block was lost since the last call (clears the mark), else 0: a full ring, or a
 * transfer that ended part filled (dropped: every block handed out is whole) */
TQLA_EXPORT char TQLA_API StreamBufferOverflow(void);
/* ends the stream; returns 1 */
TQLA_EXPORT int32_t TQLA_API StopStream(void);

/* ---- Analog channel support ---- */
/* corrects the analog bytes (20 fraction bits); 0 when done, -1 to be called again */
TQLA_EXPORT int32_t TQLA_API CalibrateScope(uint32_t offset1, uint32_t gain1, uint32_t offset2,
    uint32_t gain2);
/* analog byte of sample index: CH1 when channel is 1, else CH2 */
TQLA_EXPORT int32_t TQLA_API ScopeData(int32_t index, uint32_t channel);
/* zeroes the second sample array; returns 1 */
TQLA_EXPORT int32_t TQLA_API ClearScopeData(void);
/* returns 123 */
TQLA_EXPORT int32_t TQLA_API GetGain(void);

/* ---- Diagnostics and trigger search ---- */
/* 5-second 8-channel capture at rate code rate; rate when nothing was lost, else 0 */
TQLA_EXPORT int32_t TQLA_API TestIt(uint8_t rate);
/* the highest rate code that passes TestIt, or 0 */
TQLA_EXPORT int32_t TQLA_API SpeedTest(void);
/* searches the sample buffer for (mask, value) byte steps; a sample index or -1 */
TQLA_EXPORT int32_t TQLA_API SearchForTrigger(uint8_t* steps, uint32_t stepCount,
    uint32_t position, uint32_t forward);

/* ---- Generator buffer and pattern editing ---- */
/* makes a packed pattern buffer of samples 16-bit samples (a multiple of 65536); null on failure */
TQLA_EXPORT uint32_t* TQLA_API MakeBufferSG(uint32_t samples);
/* largest packed pattern in 16-bit samples that free physical memory suggests */
TQLA_EXPORT uint32_t TQLA_API GetMaxBufferSizeSG(void);
/* stores word index (plain layout); 0 past the buffer */
TQLA_EXPORT int32_t TQLA_API SetData(uint32_t index, uint32_t value);
/* stores 16-bit sample index (packed layout); 0 past the buffer */
TQLA_EXPORT int32_t TQLA_API SetDataSG(uint32_t index, uint32_t value);
/* sets or clears bit channel over words first..last (plain layout, clamped) */
TQLA_EXPORT int32_t TQLA_API SetBlockData(int32_t first, int32_t last, uint8_t channel,
    uint8_t level);
/* sets or clears channel over samples first..last (packed layout, clamped) */
TQLA_EXPORT int32_t TQLA_API SetBlockDataSG(int32_t first, int32_t last, uint8_t channel,
    uint8_t level);
/* word index, or the last word past the end (plain layout) */
TQLA_EXPORT int32_t TQLA_API LoggedData(uint32_t index);
/* 16-bit sample index, or the last sample past the end (packed layout) */
TQLA_EXPORT int32_t TQLA_API LoggedDataSG(uint32_t index);
/* run-length encodes count bytes into (value << 12) + count vectors ending with 0 */
TQLA_EXPORT void TQLA_API CreateVectors(uint8_t* bytes, uint32_t* vectors, uint32_t count);

/* ---- Generation runs ----
 * Every start returns 1 once its output thread runs and the pod has its timing, 0 for a rate
 * code outside the table, a mode whose low seven bits pass 4, a null or empty pattern, a
 * length past the end of a buffer from MakeBuffer, no open pod, a failed download or a pod
 * that never greets (about 2 s). A start ends any capture, stream or run still going, as a
 * capture start does. A length that is not a whole number of 64 KiB blocks is padded with the
 * idle word; a loop goes on from the pattern's start in the middle of a block, without a seam.
 * A host's own pattern must stay allocated until the run has stopped. */
/* generates a plain-layout pattern of length words once */
TQLA_EXPORT int32_t TQLA_API StartGenerate(uint32_t width, uint32_t rate, uint8_t mode,
    uint32_t* pattern, uint32_t length);
/* generates a packed pattern of length 16-bit samples once */
TQLA_EXPORT int32_t TQLA_API StartGenerateSG(uint32_t width, uint32_t rate, uint8_t mode,
    uint32_t* pattern, uint32_t length);
/* generates a plain-layout pattern, looping when loop is set */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerate(uint32_t width, uint32_t rate, uint8_t mode,
    uint32_t* pattern, uint32_t length, uint8_t loop);
/* generates a packed pattern, looping when loop is set */
TQLA_EXPORT int32_t TQLA_API StartLoopGenerateSG(uint32_t width, uint32_t rate, uint8_t mode,
    uint32_t* pattern, uint32_t length, uint8_t loop);
/* sends the 32 queue slots again and again: they hold the pattern's first 2 MiB as 8-bit
 * samples (repeated when it is shorter) */
TQLA_EXPORT int32_t TQLA_API StartVariableLoopGenerate(uint32_t rate, uint8_t mode,
    uint32_t* pattern, uint32_t length, uint8_t loop);
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
TQLA_EXPORT int32_t TQLA_API SetSignals(uint32_t mask, uint32_t count, uint32_t* values);
/* reads count values of the lines (at most 32,768); 1, or 0 for more, null values, no open
 * pod, a failed command or read, or a reply shorter than asked */
TQLA_EXPORT int32_t TQLA_API GetSignals(uint32_t mask, uint32_t count, uint32_t* values);
/* starts counting edges at width 8 (any other width counts 16 channels) with a qualifier;
 * 0 for a rate code outside the table, no open pod, a failed download or no ready byte */
TQLA_EXPORT int32_t TQLA_API StartPulseCount(uint8_t width, uint32_t rate,
    uint32_t qualifierMask, uint32_t qualifierValue);
/* stores the sixteen edge counters; returns 0 */
TQLA_EXPORT int32_t TQLA_API GetPulseCount(int32_t* count0, int32_t* count1, int32_t* count2,
    int32_t* count3, int32_t* count4, int32_t* count5, int32_t* count6, int32_t* count7,
    int32_t* count8, int32_t* count9, int32_t* count10, int32_t* count11, int32_t* count12,
    int32_t* count13, int32_t* count14, int32_t* count15);
/* ends pulse counting; returns 1 (0 when its thread does not stop within 5 s) */
TQLA_EXPORT int32_t TQLA_API StopPulseCount(void);
/* counts edges in length bytes of raw pod samples into the counters; returns 0 */
TQLA_EXPORT int32_t TQLA_API CountEdges(uint8_t* bytes, uint32_t length);
/* counts level changes per channel over the sample buffer; returns 0 */
TQLA_EXPORT int32_t TQLA_API CountEdgesInBuffer(int32_t* count0, int32_t* count1,
    int32_t* count2, int32_t* count3, int32_t* count4, int32_t* count5, int32_t* count6,
    int32_t* count7, int32_t* count8, int32_t* count9, int32_t* count10, int32_t* count11,
    int32_t* count12, int32_t* count13, int32_t* count14, int32_t* count15);

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
TQLA_EXPORT int32_t TQLA_API OpenFileData(char* t1, char* t2, char* t3, char* t4, char* t5,
    char* t6, char* t7, char* t8, uint8_t* headerByte, const char* fileName);
/* writes the configuration capture file; 1, or 0 when it cannot be created or written */
TQLA_EXPORT int32_t TQLA_API SaveFileDataAndConfig(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, uint32_t* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13,
    uint8_t* c14, uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19,
    uint8_t* c20, uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25,
    uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31,
    uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2,
    uint32_t* w3, uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8,
    const char* fileName);
/* reads a configuration capture file; the data bytes read, 0 when it cannot be opened */
TQLA_EXPORT int32_t TQLA_API OpenFileDataAndConfig(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, uint32_t* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13,
    uint8_t* c14, uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19,
    uint8_t* c20, uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25,
    uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31,
    uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2,
    uint32_t* w3, uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8,
    const char* fileName);
/* writes the configuration capture file with a second data block; 1, or 0 as above */
TQLA_EXPORT int32_t TQLA_API SaveFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, uint32_t* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13,
    uint8_t* c14, uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19,
    uint8_t* c20, uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25,
    uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31,
    uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2,
    uint32_t* w3, uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8,
    uint32_t* w9, uint32_t* w10, uint32_t* w11, uint32_t* w12, uint32_t* w13,
    uint8_t* trailingByte, const char* fileName);
/* reads it back; the bytes read for the second block, 0 when it cannot be opened */
TQLA_EXPORT int32_t TQLA_API OpenFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4,
    char* t5, char* t6, char* t7, char* t8, uint8_t* headerByte, uint32_t* storedLength,
    uint8_t* c1, uint8_t* c2, uint8_t* c3, uint8_t* c4, uint8_t* c5, uint8_t* c6, uint8_t* c7,
    uint8_t* c8, uint8_t* c9, uint8_t* c10, uint8_t* c11, uint8_t* c12, uint8_t* c13,
    uint8_t* c14, uint8_t* c15, uint8_t* c16, uint8_t* c17, uint8_t* c18, uint8_t* c19,
    uint8_t* c20, uint8_t* c21, uint8_t* c22, uint8_t* c23, uint8_t* c24, uint8_t* c25,
    uint8_t* c26, uint8_t* c27, uint8_t* c28, uint8_t* c29, uint8_t* c30, uint8_t* c31,
    uint8_t* c32, uint8_t* c33, uint8_t* c34, uint8_t* c35, uint32_t* w1, uint32_t* w2,
    uint32_t* w3, uint32_t* w4, uint32_t* w5, uint32_t* w6, uint32_t* w7, uint32_t* w8,
    uint32_t* w9, uint32_t* w10, uint32_t* w11, uint32_t* w12, uint32_t* w13,
    uint8_t* trailingByte, const char* fileName);
/* reads the stored length of a configuration file; 0 when it cannot be opened */
TQLA_EXPORT int32_t TQLA_API GetFileBufferSize(uint32_t* storedLength, const char* fileName);
/* appends "[Samples]" and the whole sample buffer; words written, 0 when a write failed */
TQLA_EXPORT int32_t TQLA_API AppendSampleData(char* fileName);
/* appends "[Samples]" and count words from first; words written, 0 when a write failed */
TQLA_EXPORT int32_t TQLA_API AppendBetweenSampleData(char* fileName, uint32_t first,
    uint32_t count);
/* reads up to count words after the first "[Samples]" of a regular file; words read */
TQLA_EXPORT int32_t TQLA_API ExtractBufferFromFile(char* fileName, uint32_t count);

/* ---- Edit operations and text export ---- */
/* writes the range file of words first..last; 1, or 0 when it cannot be created or written */
TQLA_EXPORT int32_t TQLA_API Copy(char* fileName, int32_t first, int32_t last);
/* writes the undo range file of words first..last; 1, or 0 as Copy */
TQLA_EXPORT int32_t TQLA_API SaveUndo(char* fileName, int32_t first, int32_t last);
/* stores a range file's words from index at, as many as fit; words read */
TQLA_EXPORT int32_t TQLA_API Paste(char* fileName, int32_t at);
/* stores a range file's words back at its own first index; words read */
TQLA_EXPORT int32_t TQLA_API Undo(char* fileName);
/* writes the text export of words first up to last (exclusive); always 1 */
TQLA_EXPORT int32_t TQLA_API OutputSampleData(char* fileName, uint32_t first, uint32_t last);

/* ---- Screen scaling of logic data ---- */
/* pixel codes 0/1/2 per channel and column, zoom as two integers */
TQLA_EXPORT void TQLA_API ScaleDataToScreen(uint32_t* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
    uint8_t* channel5, uint8_t* channel6, uint8_t* channel7, uint8_t* channel8,
    uint8_t* channel9, uint8_t* channel10, uint8_t* channel11, uint8_t* channel12,
    uint8_t* channel13, uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
    uint32_t samplesPerPixel, uint32_t pixelsPerSample);
/* ScaleDataToScreen over the packed pattern layout */
TQLA_EXPORT void TQLA_API ScaleDataToScreenSG(uint32_t* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
    uint8_t* channel5, uint8_t* channel6, uint8_t* channel7, uint8_t* channel8,
    uint8_t* channel9, uint8_t* channel10, uint8_t* channel11, uint8_t* channel12,
    uint8_t* channel13, uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
    uint32_t samplesPerPixel, uint32_t pixelsPerSample);
/* pixel codes with samples per column given in 1/1024 */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNew(uint32_t* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
    uint8_t* channel5, uint8_t* channel6, uint8_t* channel7, uint8_t* channel8,
    uint8_t* channel9, uint8_t* channel10, uint8_t* channel11, uint8_t* channel12,
    uint8_t* channel13, uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
    uint32_t scale);
/* ScaleDataToScreenNew over the packed pattern layout */
TQLA_EXPORT void TQLA_API ScaleDataToScreenNewSG(uint32_t* samples, uint8_t* channel0,
    uint8_t* channel1, uint8_t* channel2, uint8_t* channel3, uint8_t* channel4,
    uint8_t* channel5, uint8_t* channel6, uint8_t* channel7, uint8_t* channel8,
    uint8_t* channel9, uint8_t* channel10, uint8_t* channel11, uint8_t* channel12,
    uint8_t* channel13, uint8_t* channel14, uint8_t* channel15, int32_t start, uint32_t width,
    uint32_t scale);

/* ---- Screen scaling of scope data ---- */
/* per-column minimum and maximum of one analog channel (256: no sample), scale in 1/1024 */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenNew(uint32_t* samples, uint32_t channel,
    uint32_t* minimum, uint32_t* maximum, int32_t start, uint32_t width, uint32_t scale);
/* as above, scale in 1/3500, aligned to the trigger crossing */
TQLA_EXPORT void TQLA_API ScaleScopeDataToScreenVeryNew(uint32_t* samples, uint32_t channel,
    uint32_t triggerChannel, uint32_t* minimum, uint32_t* maximum, int32_t start, uint32_t width,
    uint32_t scale, int32_t* shift, int32_t interpolate);

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
TQLA_EXPORT int32_t TQLA_API DecodeSPIVariable(uint32_t* samples, uint8_t* recordFile,
    int32_t start, int32_t end, int32_t rate, uint32_t ssChannel, uint32_t sckChannel,
    uint32_t mosiChannel, uint32_t misoChannel, uint32_t misoRisingEdge, uint32_t mosiRisingEdge,
    uint32_t delimiter, uint32_t format, uint32_t useChipSelect, int32_t wordsPerRecord,
    int32_t wordSize, char* protocolFile, char* packetFile, char* errorText);
/* SPI with 8-bit words in MOSI and MISO line texts; always 0 */
TQLA_EXPORT int32_t TQLA_API DecodeSPI(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t rate, uint32_t ssChannel, uint32_t sckChannel, uint32_t mosiChannel,
    uint32_t misoChannel, uint32_t misoRisingEdge, uint32_t mosiRisingEdge, uint32_t delimiter,
    uint32_t format, uint32_t useChipSelect, int32_t wordsPerRecord, char* unused1,
    char* unused2, char* unused3);
/* I2C; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodeI2C(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t rate, uint32_t sdaChannel, uint32_t sclChannel, int32_t showAck,
    int32_t delimiter, int32_t showMarkers, int32_t hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);
/* asynchronous serial on the channels of channelMask; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodeASYNC(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t rate, uint32_t channelMask, uint32_t baud, uint32_t parity,
    uint32_t dataBits, uint32_t delimiter, uint32_t hexadecimal, uint32_t character,
    int32_t charactersPerLine, char* protocolFile, char* packetFile, char* errorText);
/* CAN; 1, or 0 with errorText (also for a bit rate of 0 or under two samples a bit) */
TQLA_EXPORT int32_t TQLA_API DecodeCAN(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, uint32_t rate, uint32_t channel, uint32_t bitRate, uint32_t highestId,
    uint32_t lowestId, int32_t unused1, int32_t labels, int32_t unused2, char* protocolFile,
    char* packetFile, char* errorText);
/* USB low and full speed; 1, or 0 with errorText (also for under two samples a bit: full
 * speed needs 24 MHz, low speed 3 MHz). After a packet the search resumes one bit time past
 * the end of its SE0, so back-to-back packets all decode. */
TQLA_EXPORT int32_t TQLA_API DecodeUSB(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t sampleCount, int32_t endpointFilter, int32_t addressFilter,
    int32_t dPlusChannel, int32_t dMinusChannel, int32_t fullSpeed, int32_t rate,
    int32_t showSof, int32_t delimiter, int32_t text, int32_t hexadecimal, char* protocolFile,
    char* packetFile, char* errorText);
/* USB from byte samples into "usb.txt" (CR LF lines) and a payload buffer; payload bytes stored */
TQLA_EXPORT int32_t TQLA_API USBDecode(uint8_t* samples, int32_t sampleCount,
    int32_t endpointFilter, int32_t addressFilter, uint8_t* payload, int32_t payloadSize,
    int32_t start, int32_t end, int32_t dPlusBit, int32_t dMinusBit, int32_t fullSpeed,
    int32_t rate, int32_t showSof);
/* PS/2; 1, or 0 with errorText */
TQLA_EXPORT int32_t TQLA_API DecodePS2(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t rate, uint32_t dataChannel, uint32_t clockChannel, uint32_t msbFirst,
    char* protocolFile, char* packetFile, char* errorText);
/* 1-Wire; 1, or 0 with errorText. A line already low at the start of the range
 * is not timed. */
TQLA_EXPORT int32_t TQLA_API Decode1Wire(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, int32_t rate, uint32_t channel, int32_t delimiter, int32_t labels,
    int32_t hexadecimal, char* protocolFile, char* packetFile, char* errorText);
/* I2S; 1, or 0 with errorText ("Bits per word must be 1 to 32" before any file
 * is made). A negative delay is no delay; the first word always opens a line. */
TQLA_EXPORT int32_t TQLA_API DecodeI2S(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, uint32_t rate, uint32_t dataChannel, int32_t delay, uint32_t unused1,
    uint32_t firstWordSelectLevel, uint32_t wordSelectChannel, uint32_t unused2,
    uint32_t clockChannel, uint32_t risingEdge, uint32_t bitsPerWord, uint32_t msbFirst,
    uint32_t delimiter, uint32_t hexadecimal, int32_t wordsPerLine, char* protocolFile,
    char* packetFile, char* errorText);
/* synchronous serial in pattern or frame mode; 1, or 0 with errorText ("Bits per
 * word must be 1 to 32", or in pattern mode "Sync pattern %X does not fit in %u
 * bits", before any file is made). */
TQLA_EXPORT int32_t TQLA_API DecodeSerial(uint32_t* samples, uint8_t* recordFile, int32_t start,
    int32_t end, uint32_t rate, uint32_t dataChannel, uint32_t syncPattern,
    uint32_t frameRisingEdge, uint32_t frameChannel, uint32_t frameMode, uint32_t clockChannel,
    uint32_t risingEdge, uint32_t bitsPerWord, uint32_t msbFirst, uint32_t delimiter,
    uint32_t unused, int32_t wordsPerLine, char* protocolFile, char* packetFile,
    char* errorText);
/* parallel bus on the channels of channelMask; 1, or 0 with errorText ("Empty
 * channel mask", "Channel mask %X names channels past 15", or with the clock in
 * use "Clock channel %u is on the bus", before any file is made). */
TQLA_EXPORT int32_t TQLA_API DecodeParallel(uint32_t* samples, uint8_t* recordFile,
    int32_t start, int32_t end, int32_t rate, uint32_t channelMask, uint32_t clockChannel,
    uint32_t useClock, int32_t clockEdge, uint32_t delimiter, uint32_t hexadecimal,
    int32_t valuesPerLine, char* protocolFile, char* packetFile, char* errorText);

/* ---- RedodoRovodovoz packet engine and packet lists ---- */
/* feeds one data value or bus event to protocol; returns 0 */
TQLA_EXPORT int32_t TQLA_API SendDataStream(int32_t protocol, uint32_t sampleIndex,
    uint8_t value, char bitCount, char channel, char isEvent, int32_t fileOffset);
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
TQLA_EXPORT int32_t TQLA_API LookupLabel(char slot, char* text, int32_t packetIndex,
    int32_t pairIndex);
/* copies the value of pair pairIndex of packet packetIndex into text (TQLA_PACKET_TEXT_SIZE bytes); 1, or 0 if absent */
TQLA_EXPORT int32_t TQLA_API LookupValue(char slot, char* text, int32_t packetIndex,
    int32_t pairIndex);

#ifdef __cplusplus
}
#endif

#endif /* TQLA_TQLA_H */
