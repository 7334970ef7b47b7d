// The host API as the hosts declare it: every export with the types its
// description gives, on the 32-bit Windows data model (long and unsigned long
// are 32 bits). The ABI check compiles this file with clang for the MSVC ABI
// of 32-bit Windows and compares the names clang decorates with the DLL's
// export table; it is written apart from include/tqla/tqla.h on purpose, so
// that a wrong type there cannot agree with itself.
//
// Built twice: as C++ (the decorated names "?Name@@YG...@Z") and, with
// TQLA_ABI_C_NAMES, with C linkage (the "_Name@N" stdcall names, whose N is
// the byte count the callee removes from the stack).
//
// Where the description gives no result type (DecodeSetName, StartTimestamp,
// CombineAndSort, CombineAndSortPP, USBDecode) it is int, as for the decoders.

#define API __stdcall

class CCyUSBDevice;

#ifdef TQLA_ABI_C_NAMES
extern "C" {
#endif

unsigned long* API MakeBuffer(unsigned long size);
int API DeleteBuffer(unsigned long* buffer);
unsigned long API GetMaxBufferSize(void);
int API ChangeBufferLength(unsigned long length);
long API GetActualCaptureLength(void);
long API DemoData(void);
long API DemoData16(void);
int API EnumerateTQPods(unsigned int* ids);
int API OpenTQPod(unsigned int id);
int API InitializeTQPod(unsigned int id);
int API InitializeTQExtractor(unsigned int id, unsigned int second);
int API TestTQPod(unsigned int* ids);
int API StillThere(void);
int API ClosePod(void);
int API Reset8051(CCyUSBDevice* device, char hold);
int API DownloadImage(CCyUSBDevice* device, unsigned char* image);
int API DownloadFirmware(CCyUSBDevice* device, char* path);
int API DownloadFirmwareDigital(char* path);
int API DownloadFile(CCyUSBDevice* device, char* path);
int API DownloadData(CCyUSBDevice* device, unsigned int address, char* path);
int API DownloadDataDigital(unsigned int address, char* path);
int API ReadEEPROM(unsigned int address, unsigned int length, unsigned char* buffer);
int API WriteEEPROM(unsigned int address, unsigned int length, unsigned char* buffer);
int API ControlIn(CCyUSBDevice* device, unsigned char request, unsigned int index, unsigned int value,
    unsigned int length, unsigned char* buffer);
int API ControlOut(unsigned char request, unsigned int index, unsigned int value, unsigned int length,
    unsigned char* buffer);
int API VendorControlIn(CCyUSBDevice* device, unsigned int value, unsigned int index, unsigned int length,
    unsigned char* buffer);
int API VendorControlOut(CCyUSBDevice* device, unsigned int value, unsigned int index, unsigned int length,
    unsigned char* buffer);
int API BulkIn(CCyUSBDevice* device, unsigned char endpoint, unsigned int length, unsigned char* buffer);
int API BulkOut(unsigned char endpoint, unsigned int length, unsigned char* buffer);
int API SetMode(int mode);
int API StartCapture(unsigned int mode, unsigned int trigger, unsigned int channel, unsigned int level,
    unsigned int rate, unsigned int spare, unsigned long* steps, int stepCount, unsigned long* buffer,
    unsigned long length, unsigned long post);
int API CaptureStatus(char* breaks, char* running, char* triggered, long* start, long* end, long* triggerAt,
    char* percent);
int API SingleCaptureStatus(void);
int API StopCapture(void);
int API StopCapture16(void);
int API StopCaptureMSO(void);
unsigned long API GetAllSignals(long* ch1, long* ch2, unsigned long* digital);
int API StartStreamingCapture(unsigned int rate, unsigned int clockMode, unsigned char* steps, int stepCount,
    unsigned char* buffer, unsigned long length, unsigned long post);
int API StartStreamingCapture16(unsigned int rate, unsigned int clockMode, unsigned long* steps, int
    stepCount, unsigned long* buffer, unsigned long length, unsigned long post);
unsigned char API GetNextStreamBuffer(unsigned char* destination);
unsigned long API StreamBufferCount(void);
unsigned long API StreamBuffersLeft(void);
char API StreamBufferOverflow(void);
int API StopStream(void);
int API CalibrateScope(unsigned long offset1, unsigned long gain1, unsigned long offset2, unsigned long
    gain2);
long API ScopeData(long index, unsigned long channel);
long API ClearScopeData(void);
int API GetGain(void);
int API TestIt(unsigned char rate);
int API SpeedTest(void);
long API SearchForTrigger(unsigned char* steps, unsigned long stepCount, unsigned long position, unsigned long
    forward);
unsigned long* API MakeBufferSG(unsigned long samples);
unsigned long API GetMaxBufferSizeSG(void);
long API SetData(unsigned long index, unsigned long value);
long API SetDataSG(unsigned long index, unsigned long value);
long API SetBlockData(long first, long last, unsigned char channel, unsigned char level);
long API SetBlockDataSG(long first, long last, unsigned char channel, unsigned char level);
long API LoggedData(unsigned long index);
long API LoggedDataSG(unsigned long index);
void API CreateVectors(unsigned char* bytes, unsigned long* vectors, unsigned long count);
int API StartGenerate(unsigned long width, unsigned int rate, unsigned char mode, unsigned long* pattern,
    unsigned long length);
int API StartGenerateSG(unsigned long width, unsigned int rate, unsigned char mode, unsigned long* pattern,
    unsigned long length);
int API StartLoopGenerate(unsigned long width, unsigned int rate, unsigned char mode, unsigned long* pattern,
    unsigned long length, unsigned char loop);
int API StartLoopGenerateSG(unsigned long width, unsigned int rate, unsigned char mode, unsigned long*
    pattern, unsigned long length, unsigned char loop);
int API StartVariableLoopGenerate(unsigned int rate, unsigned char mode, unsigned long* pattern, unsigned long
    length, unsigned char loop);
int API GenerateStatus(char* podStatus, char* running, char* started, char* percent);
int API StopGenerate(void);
int API SetSignals(unsigned long mask, unsigned int count, unsigned long* values);
int API GetSignals(unsigned long mask, unsigned int count, unsigned long* values);
int API StartPulseCount(unsigned char width, unsigned int rate, unsigned long qualifierMask, unsigned long
    qualifierValue);
long API GetPulseCount(long* count0, long* count1, long* count2, long* count3, long* count4, long* count5,
    long* count6, long* count7, long* count8, long* count9, long* count10, long* count11, long* count12, long*
    count13, long* count14, long* count15);
int API StopPulseCount(void);
long API CountEdges(unsigned char* bytes, unsigned int length);
long API CountEdgesInBuffer(long* count0, long* count1, long* count2, long* count3, long* count4, long*
    count5, long* count6, long* count7, long* count8, long* count9, long* count10, long* count11, long*
    count12, long* count13, long* count14, long* count15);
int API SaveFileData(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, unsigned
    char* headerByte, const char* fileName);
long API OpenFileData(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8, unsigned
    char* headerByte, const char* fileName);
int API SaveFileDataAndConfig(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8,
    unsigned char* headerByte, unsigned long* storedLength, unsigned char* c1, unsigned char* c2, unsigned
    char* c3, unsigned char* c4, unsigned char* c5, unsigned char* c6, unsigned char* c7, unsigned char* c8,
    unsigned char* c9, unsigned char* c10, unsigned char* c11, unsigned char* c12, unsigned char* c13,
    unsigned char* c14, unsigned char* c15, unsigned char* c16, unsigned char* c17, unsigned char* c18,
    unsigned char* c19, unsigned char* c20, unsigned char* c21, unsigned char* c22, unsigned char* c23,
    unsigned char* c24, unsigned char* c25, unsigned char* c26, unsigned char* c27, unsigned char* c28,
    unsigned char* c29, unsigned char* c30, unsigned char* c31, unsigned char* c32, unsigned char* c33,
    unsigned char* c34, unsigned char* c35, unsigned long* w1, unsigned long* w2, unsigned long* w3, unsigned
    long* w4, unsigned long* w5, unsigned long* w6, unsigned long* w7, unsigned long* w8, const char*
    fileName);
long API OpenFileDataAndConfig(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char* t8,
    unsigned char* headerByte, unsigned long* storedLength, unsigned char* c1, unsigned char* c2, unsigned
    char* c3, unsigned char* c4, unsigned char* c5, unsigned char* c6, unsigned char* c7, unsigned char* c8,
    unsigned char* c9, unsigned char* c10, unsigned char* c11, unsigned char* c12, unsigned char* c13,
    unsigned char* c14, unsigned char* c15, unsigned char* c16, unsigned char* c17, unsigned char* c18,
    unsigned char* c19, unsigned char* c20, unsigned char* c21, unsigned char* c22, unsigned char* c23,
    unsigned char* c24, unsigned char* c25, unsigned char* c26, unsigned char* c27, unsigned char* c28,
    unsigned char* c29, unsigned char* c30, unsigned char* c31, unsigned char* c32, unsigned char* c33,
    unsigned char* c34, unsigned char* c35, unsigned long* w1, unsigned long* w2, unsigned long* w3, unsigned
    long* w4, unsigned long* w5, unsigned long* w6, unsigned long* w7, unsigned long* w8, const char*
    fileName);
int API SaveFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char*
    t8, unsigned char* headerByte, unsigned long* storedLength, unsigned char* c1, unsigned char* c2, unsigned
    char* c3, unsigned char* c4, unsigned char* c5, unsigned char* c6, unsigned char* c7, unsigned char* c8,
    unsigned char* c9, unsigned char* c10, unsigned char* c11, unsigned char* c12, unsigned char* c13,
    unsigned char* c14, unsigned char* c15, unsigned char* c16, unsigned char* c17, unsigned char* c18,
    unsigned char* c19, unsigned char* c20, unsigned char* c21, unsigned char* c22, unsigned char* c23,
    unsigned char* c24, unsigned char* c25, unsigned char* c26, unsigned char* c27, unsigned char* c28,
    unsigned char* c29, unsigned char* c30, unsigned char* c31, unsigned char* c32, unsigned char* c33,
    unsigned char* c34, unsigned char* c35, unsigned long* w1, unsigned long* w2, unsigned long* w3, unsigned
    long* w4, unsigned long* w5, unsigned long* w6, unsigned long* w7, unsigned long* w8, unsigned long* w9,
    unsigned long* w10, unsigned long* w11, unsigned long* w12, unsigned long* w13, unsigned char*
    trailingByte, const char* fileName);
long API OpenFileDataAndConfig16(char* t1, char* t2, char* t3, char* t4, char* t5, char* t6, char* t7, char*
    t8, unsigned char* headerByte, unsigned long* storedLength, unsigned char* c1, unsigned char* c2, unsigned
    char* c3, unsigned char* c4, unsigned char* c5, unsigned char* c6, unsigned char* c7, unsigned char* c8,
    unsigned char* c9, unsigned char* c10, unsigned char* c11, unsigned char* c12, unsigned char* c13,
    unsigned char* c14, unsigned char* c15, unsigned char* c16, unsigned char* c17, unsigned char* c18,
    unsigned char* c19, unsigned char* c20, unsigned char* c21, unsigned char* c22, unsigned char* c23,
    unsigned char* c24, unsigned char* c25, unsigned char* c26, unsigned char* c27, unsigned char* c28,
    unsigned char* c29, unsigned char* c30, unsigned char* c31, unsigned char* c32, unsigned char* c33,
    unsigned char* c34, unsigned char* c35, unsigned long* w1, unsigned long* w2, unsigned long* w3, unsigned
    long* w4, unsigned long* w5, unsigned long* w6, unsigned long* w7, unsigned long* w8, unsigned long* w9,
    unsigned long* w10, unsigned long* w11, unsigned long* w12, unsigned long* w13, unsigned char*
    trailingByte, const char* fileName);
long API GetFileBufferSize(unsigned long* storedLength, const char* fileName);
int API AppendSampleData(char* fileName);
int API AppendBetweenSampleData(char* fileName, unsigned long first, unsigned long count);
int API ExtractBufferFromFile(char* fileName, unsigned long count);
int API Copy(char* fileName, long first, long last);
int API SaveUndo(char* fileName, long first, long last);
long API Paste(char* fileName, long at);
long API Undo(char* fileName);
int API OutputSampleData(char* fileName, unsigned long first, unsigned long last);
void API ScaleDataToScreen(unsigned long* samples, unsigned char* channel0, unsigned char* channel1, unsigned
    char* channel2, unsigned char* channel3, unsigned char* channel4, unsigned char* channel5, unsigned char*
    channel6, unsigned char* channel7, unsigned char* channel8, unsigned char* channel9, unsigned char*
    channel10, unsigned char* channel11, unsigned char* channel12, unsigned char* channel13, unsigned char*
    channel14, unsigned char* channel15, long start, unsigned long width, unsigned long samplesPerPixel,
    unsigned long pixelsPerSample);
void API ScaleDataToScreenSG(unsigned long* samples, unsigned char* channel0, unsigned char* channel1,
    unsigned char* channel2, unsigned char* channel3, unsigned char* channel4, unsigned char* channel5,
    unsigned char* channel6, unsigned char* channel7, unsigned char* channel8, unsigned char* channel9,
    unsigned char* channel10, unsigned char* channel11, unsigned char* channel12, unsigned char* channel13,
    unsigned char* channel14, unsigned char* channel15, long start, unsigned long width, unsigned long
    samplesPerPixel, unsigned long pixelsPerSample);
void API ScaleDataToScreenNew(unsigned long* samples, unsigned char* channel0, unsigned char* channel1,
    unsigned char* channel2, unsigned char* channel3, unsigned char* channel4, unsigned char* channel5,
    unsigned char* channel6, unsigned char* channel7, unsigned char* channel8, unsigned char* channel9,
    unsigned char* channel10, unsigned char* channel11, unsigned char* channel12, unsigned char* channel13,
    unsigned char* channel14, unsigned char* channel15, long start, unsigned long width, unsigned long scale);
void API ScaleDataToScreenNewSG(unsigned long* samples, unsigned char* channel0, unsigned char* channel1,
    unsigned char* channel2, unsigned char* channel3, unsigned char* channel4, unsigned char* channel5,
    unsigned char* channel6, unsigned char* channel7, unsigned char* channel8, unsigned char* channel9,
    unsigned char* channel10, unsigned char* channel11, unsigned char* channel12, unsigned char* channel13,
    unsigned char* channel14, unsigned char* channel15, long start, unsigned long width, unsigned long scale);
void API ScaleScopeDataToScreenNew(unsigned long* samples, unsigned long channel, unsigned long* minimum,
    unsigned long* maximum, long start, unsigned long width, unsigned long scale);
void API ScaleScopeDataToScreenVeryNew(unsigned long* samples, unsigned long channel, unsigned long
    triggerChannel, unsigned long* minimum, unsigned long* maximum, long start, unsigned long width, unsigned
    long scale, long* shift, long interpolate);
int API DecodeSetName(char* name);
int API StartTimestamp(char relative);
int API CombineAndSort(unsigned char* folder);
int API CombineAndSortPP(unsigned char* folder);
int API DecodeSPIVariable(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate,
    unsigned long ssChannel, unsigned long sckChannel, unsigned long mosiChannel, unsigned long misoChannel,
    unsigned long misoRisingEdge, unsigned long mosiRisingEdge, unsigned long delimiter, unsigned long format,
    unsigned long useChipSelect, long wordsPerRecord, long wordSize, char* protocolFile, char* packetFile,
    char* errorText);
int API DecodeSPI(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate, unsigned
    long ssChannel, unsigned long sckChannel, unsigned long mosiChannel, unsigned long misoChannel, unsigned
    long misoRisingEdge, unsigned long mosiRisingEdge, unsigned long delimiter, unsigned long format, unsigned
    long useChipSelect, long wordsPerRecord, char* unused1, char* unused2, char* unused3);
int API DecodeI2C(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate, unsigned
    long sdaChannel, unsigned long sclChannel, long showAck, long delimiter, long showMarkers, long
    hexadecimal, char* protocolFile, char* packetFile, char* errorText);
int API DecodeASYNC(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate,
    unsigned long channelMask, unsigned long baud, unsigned long parity, unsigned long dataBits, unsigned long
    delimiter, unsigned long hexadecimal, unsigned long character, long charactersPerLine, char* protocolFile,
    char* packetFile, char* errorText);
int API DecodeCAN(unsigned long* samples, unsigned char* recordFile, long start, long end, unsigned long rate,
    unsigned long channel, unsigned long bitRate, unsigned long highestId, unsigned long lowestId, long
    unused1, long labels, long unused2, char* protocolFile, char* packetFile, char* errorText);
int API DecodeUSB(unsigned long* samples, unsigned char* recordFile, long start, long end, long sampleCount,
    long endpointFilter, long addressFilter, long dPlusChannel, long dMinusChannel, long fullSpeed, long rate,
    long showSof, long delimiter, long text, long hexadecimal, char* protocolFile, char* packetFile, char*
    errorText);
int API USBDecode(unsigned char* samples, long sampleCount, long endpointFilter, long addressFilter, unsigned
    char* payload, long payloadSize, long start, long end, long dPlusBit, long dMinusBit, long fullSpeed, long
    rate, long showSof);
int API DecodePS2(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate, unsigned
    long dataChannel, unsigned long clockChannel, unsigned long msbFirst, char* protocolFile, char*
    packetFile, char* errorText);
int API Decode1Wire(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate,
    unsigned long channel, long delimiter, long labels, long hexadecimal, char* protocolFile, char*
    packetFile, char* errorText);
int API DecodeI2S(unsigned long* samples, unsigned char* recordFile, long start, long end, unsigned long rate,
    unsigned long dataChannel, long delay, unsigned long unused1, unsigned long firstWordSelectLevel, unsigned
    long wordSelectChannel, unsigned long unused2, unsigned long clockChannel, unsigned long risingEdge,
    unsigned long bitsPerWord, unsigned long msbFirst, unsigned long delimiter, unsigned long hexadecimal,
    long wordsPerLine, char* protocolFile, char* packetFile, char* errorText);
int API DecodeSerial(unsigned long* samples, unsigned char* recordFile, long start, long end, unsigned long
    rate, unsigned long dataChannel, unsigned long syncPattern, unsigned long frameRisingEdge, unsigned long
    frameChannel, unsigned long frameMode, unsigned long clockChannel, unsigned long risingEdge, unsigned long
    bitsPerWord, unsigned long msbFirst, unsigned long delimiter, unsigned long unused, long wordsPerLine,
    char* protocolFile, char* packetFile, char* errorText);
int API DecodeParallel(unsigned long* samples, unsigned char* recordFile, long start, long end, long rate,
    unsigned long channelMask, unsigned long clockChannel, unsigned long useClock, long clockEdge, unsigned
    long delimiter, unsigned long hexadecimal, long valuesPerLine, char* protocolFile, char* packetFile, char*
    errorText);
int API SendDataStream(int protocol, unsigned long sampleIndex, unsigned char value, char bitCount, char
    channel, char isEvent, long fileOffset);
int API InitializeRedodoRovodovoz(char* protocolFile, char* outputFile, char* errorText);
int API CloseRedodoRovodovoz(void);
int API LoadPackets(char slot, char* fileName);
int API UnLoadPackets(char slot);
int API LookupLabel(char slot, char* text, long packetIndex, long pairIndex);
int API LookupValue(char slot, char* text, long packetIndex, long pairIndex);

#ifdef TQLA_ABI_C_NAMES
}
#endif

// Taking every address makes the compiler emit each name as a reference.
void* kExports[] = {
    reinterpret_cast<void*>(&MakeBuffer),
    reinterpret_cast<void*>(&DeleteBuffer),
    reinterpret_cast<void*>(&GetMaxBufferSize),
    reinterpret_cast<void*>(&ChangeBufferLength),
    reinterpret_cast<void*>(&GetActualCaptureLength),
    reinterpret_cast<void*>(&DemoData),
    reinterpret_cast<void*>(&DemoData16),
    reinterpret_cast<void*>(&EnumerateTQPods),
    reinterpret_cast<void*>(&OpenTQPod),
    reinterpret_cast<void*>(&InitializeTQPod),
    reinterpret_cast<void*>(&InitializeTQExtractor),
    reinterpret_cast<void*>(&TestTQPod),
    reinterpret_cast<void*>(&StillThere),
    reinterpret_cast<void*>(&ClosePod),
    reinterpret_cast<void*>(&Reset8051),
    reinterpret_cast<void*>(&DownloadImage),
    reinterpret_cast<void*>(&DownloadFirmware),
    reinterpret_cast<void*>(&DownloadFirmwareDigital),
    reinterpret_cast<void*>(&DownloadFile),
    reinterpret_cast<void*>(&DownloadData),
    reinterpret_cast<void*>(&DownloadDataDigital),
    reinterpret_cast<void*>(&ReadEEPROM),
    reinterpret_cast<void*>(&WriteEEPROM),
    reinterpret_cast<void*>(&ControlIn),
    reinterpret_cast<void*>(&ControlOut),
    reinterpret_cast<void*>(&VendorControlIn),
    reinterpret_cast<void*>(&VendorControlOut),
    reinterpret_cast<void*>(&BulkIn),
    reinterpret_cast<void*>(&BulkOut),
    reinterpret_cast<void*>(&SetMode),
    reinterpret_cast<void*>(&StartCapture),
    reinterpret_cast<void*>(&CaptureStatus),
    reinterpret_cast<void*>(&SingleCaptureStatus),
    reinterpret_cast<void*>(&StopCapture),
    reinterpret_cast<void*>(&StopCapture16),
    reinterpret_cast<void*>(&StopCaptureMSO),
    reinterpret_cast<void*>(&GetAllSignals),
    reinterpret_cast<void*>(&StartStreamingCapture),
    reinterpret_cast<void*>(&StartStreamingCapture16),
    reinterpret_cast<void*>(&GetNextStreamBuffer),
    reinterpret_cast<void*>(&StreamBufferCount),
    reinterpret_cast<void*>(&StreamBuffersLeft),
    reinterpret_cast<void*>(&StreamBufferOverflow),
    reinterpret_cast<void*>(&StopStream),
    reinterpret_cast<void*>(&CalibrateScope),
    reinterpret_cast<void*>(&ScopeData),
    reinterpret_cast<void*>(&ClearScopeData),
    reinterpret_cast<void*>(&GetGain),
    reinterpret_cast<void*>(&TestIt),
    reinterpret_cast<void*>(&SpeedTest),
    reinterpret_cast<void*>(&SearchForTrigger),
    reinterpret_cast<void*>(&MakeBufferSG),
    reinterpret_cast<void*>(&GetMaxBufferSizeSG),
    reinterpret_cast<void*>(&SetData),
    reinterpret_cast<void*>(&SetDataSG),
    reinterpret_cast<void*>(&SetBlockData),
    reinterpret_cast<void*>(&SetBlockDataSG),
    reinterpret_cast<void*>(&LoggedData),
    reinterpret_cast<void*>(&LoggedDataSG),
    reinterpret_cast<void*>(&CreateVectors),
    reinterpret_cast<void*>(&StartGenerate),
    reinterpret_cast<void*>(&StartGenerateSG),
    reinterpret_cast<void*>(&StartLoopGenerate),
    reinterpret_cast<void*>(&StartLoopGenerateSG),
    reinterpret_cast<void*>(&StartVariableLoopGenerate),
    reinterpret_cast<void*>(&GenerateStatus),
    reinterpret_cast<void*>(&StopGenerate),
    reinterpret_cast<void*>(&SetSignals),
    reinterpret_cast<void*>(&GetSignals),
    reinterpret_cast<void*>(&StartPulseCount),
    reinterpret_cast<void*>(&GetPulseCount),
    reinterpret_cast<void*>(&StopPulseCount),
    reinterpret_cast<void*>(&CountEdges),
    reinterpret_cast<void*>(&CountEdgesInBuffer),
    reinterpret_cast<void*>(&SaveFileData),
    reinterpret_cast<void*>(&OpenFileData),
    reinterpret_cast<void*>(&SaveFileDataAndConfig),
    reinterpret_cast<void*>(&OpenFileDataAndConfig),
    reinterpret_cast<void*>(&SaveFileDataAndConfig16),
    reinterpret_cast<void*>(&OpenFileDataAndConfig16),
    reinterpret_cast<void*>(&GetFileBufferSize),
    reinterpret_cast<void*>(&AppendSampleData),
    reinterpret_cast<void*>(&AppendBetweenSampleData),
    reinterpret_cast<void*>(&ExtractBufferFromFile),
    reinterpret_cast<void*>(&Copy),
    reinterpret_cast<void*>(&SaveUndo),
    reinterpret_cast<void*>(&Paste),
    reinterpret_cast<void*>(&Undo),
    reinterpret_cast<void*>(&OutputSampleData),
    reinterpret_cast<void*>(&ScaleDataToScreen),
    reinterpret_cast<void*>(&ScaleDataToScreenSG),
    reinterpret_cast<void*>(&ScaleDataToScreenNew),
    reinterpret_cast<void*>(&ScaleDataToScreenNewSG),
    reinterpret_cast<void*>(&ScaleScopeDataToScreenNew),
    reinterpret_cast<void*>(&ScaleScopeDataToScreenVeryNew),
    reinterpret_cast<void*>(&DecodeSetName),
    reinterpret_cast<void*>(&StartTimestamp),
    reinterpret_cast<void*>(&CombineAndSort),
    reinterpret_cast<void*>(&CombineAndSortPP),
    reinterpret_cast<void*>(&DecodeSPIVariable),
    reinterpret_cast<void*>(&DecodeSPI),
    reinterpret_cast<void*>(&DecodeI2C),
    reinterpret_cast<void*>(&DecodeASYNC),
    reinterpret_cast<void*>(&DecodeCAN),
    reinterpret_cast<void*>(&DecodeUSB),
    reinterpret_cast<void*>(&USBDecode),
    reinterpret_cast<void*>(&DecodePS2),
    reinterpret_cast<void*>(&Decode1Wire),
    reinterpret_cast<void*>(&DecodeI2S),
    reinterpret_cast<void*>(&DecodeSerial),
    reinterpret_cast<void*>(&DecodeParallel),
    reinterpret_cast<void*>(&SendDataStream),
    reinterpret_cast<void*>(&InitializeRedodoRovodovoz),
    reinterpret_cast<void*>(&CloseRedodoRovodovoz),
    reinterpret_cast<void*>(&LoadPackets),
    reinterpret_cast<void*>(&UnLoadPackets),
    reinterpret_cast<void*>(&LookupLabel),
    reinterpret_cast<void*>(&LookupValue),
};
