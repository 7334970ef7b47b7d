/* A host program in plain C, as the API's hosts are: it loads the library at
 * run time, finds every function it calls by name, runs one scenario on a
 * simulated pod and writes its files into the current folder. The same source
 * runs on Linux (dlopen) and on Windows (LoadLibrary), and the files of the two
 * runs must be the same byte for byte.
 *
 * Scenario: a simulated pod plays demonstration traffic (I2C on channels 0-1,
 * SPI on 2-5, serial on 6); a capture of 262144 samples at 1 MHz triggers on an
 * I2C start; the capture is saved, opened again into a second buffer and
 * compared; the I2C, SPI and serial traffic read back is decoded, the I2C through a
 * protocol file into packet records, which are loaded back and listed. Bad
 * input: add-in libraries that do not load or lack APIDecode. Last, the host
 * exits with the pod open, as many do.
 *
 * usage: scenario_host LIBRARY PROTOCOL_FILE ADDIN_WITHOUT_APIDECODE
 * Exit status 0 when every step did what it should; the reason on stderr. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
static Library OpenLibrary(const char* path) { return LoadLibraryA(path); }
static void* Symbol(Library library, const char* name) { return (void*)GetProcAddress(library, name); }
static void SleepMs(unsigned ms) { Sleep(ms); }
#else
#include <dlfcn.h>
#include <time.h>
typedef void* Library;
static Library OpenLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static void* Symbol(Library library, const char* name) { return dlsym(library, name); }
static void SleepMs(unsigned ms) {
  struct timespec wait = {0, (long)ms * 1000000L};
  nanosleep(&wait, NULL);
}
#endif

#define FUNCTIONS(X)                                                                                            \
  X(MakeBuffer) X(DeleteBuffer) X(EnumerateTQPods) X(InitializeTQPod) X(StartCapture)                          \
  X(CaptureStatus) X(StopCapture) X(GetActualCaptureLength) X(SaveFileDataAndConfig) X(OpenFileDataAndConfig) \
  X(DecodeSetName) X(StartTimestamp) X(DecodeI2C) X(DecodeSPIVariable) X(DecodeASYNC) X(LoadPackets)           \
  X(LookupLabel) X(LookupValue) X(UnLoadPackets) X(TqlaSimReset) X(TqlaSimAddPod) X(TqlaSimSetSource)          \
  X(TqlaSimSetRealTime) X(TqlaSetAddinLibrary) X(TqlaLastError)

#define DECLARE(name) static __typeof__(&name) p##name;
FUNCTIONS(DECLARE)

enum { kSamples = 262144, kPost = 131072, kRateCode1MHz = 17, kPodId = 7 };
/* A capture file's data block holds as many bytes as the buffer has words: the
 * first quarter of the samples, which is what the decoders then read. */
enum { kFileBytes = kSamples, kFileSamples = kSamples / 4 };

static FILE* summary;

static int Failed(const char* format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(stderr, "scenario: ");
  vfprintf(stderr, format, args);
  fprintf(stderr, "\n");
  va_end(args);
  return 0;
}

static int Load(Library library) {
#define LOAD(name)                                                        \
  p##name = (__typeof__(&name))Symbol(library, #name);                    \
  if (!p##name) return Failed("the library does not export %s", #name);
  FUNCTIONS(LOAD)
  return 1;
}

static int Capture(TqlaULong* buffer) {
  /* Channel 0 (SCL) high while channel 1 (SDA) falls. */
  TqlaULong steps[4] = {3, 3, 3, 1};
  char breaks = 0, running = 1, triggered = 0, percent = 0;
  TqlaLong start = 0, end = 0, triggerAt = 0;
  int polls;
  if (!pStartCapture(3 | 12, 1, 1, 128, kRateCode1MHz, 0, steps, 2, buffer, kSamples, kPost))
    return Failed("StartCapture: %s", pTqlaLastError());
  for (polls = 0; running && polls < 1500; ++polls) {
    pCaptureStatus(&breaks, &running, &triggered, &start, &end, &triggerAt, &percent);
    if (running) SleepMs(20);
  }
  if (running) return Failed("the capture did not end within 30 s");
  if (!pStopCapture()) return Failed("StopCapture: %s", pTqlaLastError());
  if (!triggered) return Failed("the capture did not trigger");
  fprintf(summary, "capture: %ld samples, trigger at %ld, breaks %d\r\n", (long)pGetActualCaptureLength(),
          (long)triggerAt, breaks);
  return 1;
}

/* The host's settings saved with a capture: texts, bytes and words. */
struct Settings {
  char text[8][20];
  uint8_t header;
  TqlaULong storedLength;
  uint8_t bytes[35];
  TqlaULong words[8];
};

#define SETTINGS_ARGUMENTS(s)                                                                                    \
  (s)->text[0], (s)->text[1], (s)->text[2], (s)->text[3], (s)->text[4], (s)->text[5], (s)->text[6], (s)->text[7], \
      &(s)->header, &(s)->storedLength, &(s)->bytes[0], &(s)->bytes[1], &(s)->bytes[2], &(s)->bytes[3],          \
      &(s)->bytes[4], &(s)->bytes[5], &(s)->bytes[6], &(s)->bytes[7], &(s)->bytes[8], &(s)->bytes[9],            \
      &(s)->bytes[10], &(s)->bytes[11], &(s)->bytes[12], &(s)->bytes[13], &(s)->bytes[14], &(s)->bytes[15],      \
      &(s)->bytes[16], &(s)->bytes[17], &(s)->bytes[18], &(s)->bytes[19], &(s)->bytes[20], &(s)->bytes[21],      \
      &(s)->bytes[22], &(s)->bytes[23], &(s)->bytes[24], &(s)->bytes[25], &(s)->bytes[26], &(s)->bytes[27],      \
      &(s)->bytes[28], &(s)->bytes[29], &(s)->bytes[30], &(s)->bytes[31], &(s)->bytes[32], &(s)->bytes[33],      \
      &(s)->bytes[34], &(s)->words[0], &(s)->words[1], &(s)->words[2], &(s)->words[3], &(s)->words[4],           \
      &(s)->words[5], &(s)->words[6], &(s)->words[7]

static int SaveAndReopen(const TqlaULong* captured, TqlaULong** reopened) {
  struct Settings saved, read;
  int i;
  memset(&saved, 0, sizeof saved);
  for (i = 0; i < 8; ++i) snprintf(saved.text[i], sizeof saved.text[i], "setting %d", i + 1);
  saved.header = 0xA5;
  saved.storedLength = kFileBytes;
  for (i = 0; i < 35; ++i) saved.bytes[i] = (uint8_t)(i * 7);
  for (i = 0; i < 8; ++i) saved.words[i] = 0x01020304u * (TqlaULong)(i + 1);
  if (!pSaveFileDataAndConfig(SETTINGS_ARGUMENTS(&saved), "capture.tqc"))
    return Failed("SaveFileDataAndConfig: %s", pTqlaLastError());

  *reopened = pMakeBuffer(kSamples);
  if (!*reopened) return Failed("MakeBuffer for the reopened capture");
  memset(&read, 0, sizeof read);
  const TqlaLong bytes = pOpenFileDataAndConfig(SETTINGS_ARGUMENTS(&read), "capture.tqc");
  if (bytes != kFileBytes) return Failed("OpenFileDataAndConfig read %ld bytes", (long)bytes);
  if (memcmp(&saved, &read, sizeof saved) != 0) return Failed("the settings read back differ");
  if (memcmp(captured, *reopened, kFileBytes) != 0) return Failed("the samples read back differ");
  fprintf(summary, "reopened: %ld bytes\r\n", (long)bytes);
  return 1;
}

static int Decode(TqlaULong* samples, char* protocolFile) {
  char error[512] = "";
  char packets[] = "i2c-packets.txt", none[] = "";
  char i2c[] = "I2C", spi[] = "SPI", uart[] = "UART";
  pStartTimestamp(0);
  pDecodeSetName(i2c);
  if (!pDecodeI2C(samples, (uint8_t*)"i2c.txt", 0, kFileSamples, kRateCode1MHz, 1, 0, 1, 1, 1, 1, protocolFile, packets,
                  error))
    return Failed("DecodeI2C: %s", error);
  pDecodeSetName(spi);
  if (!pDecodeSPIVariable(samples, (uint8_t*)"spi.txt", 0, kFileSamples, kRateCode1MHz, 5, 2, 3, 4, 1, 1, 1, 1, 1, 4, 8,
                          NULL, none, error))
    return Failed("DecodeSPIVariable: %s", error);
  pDecodeSetName(uart);
  if (!pDecodeASYNC(samples, (uint8_t*)"uart.txt", 0, kFileSamples, kRateCode1MHz, 1u << 6, 62500, 0, 8, 1, 1, 0, 14,
                    NULL, none, error))
    return Failed("DecodeASYNC: %s", error);
  return 1;
}

/* Every label and value of every packet, as a host's packet list shows them. */
static int ListPackets(void) {
  char text[4096];
  const int32_t count = pLoadPackets(0, "i2c-packets.txt");
  FILE* out = fopen("packet-list.txt", "wb");
  int32_t packet, pair;
  if (!out) return Failed("cannot write packet-list.txt");
  if (count <= 0) {
    fclose(out);
    return Failed("no packets loaded from i2c-packets.txt");
  }
  for (packet = 0; packet < count; ++packet) {
    fprintf(out, "packet %d:", packet);
    for (pair = 0; pLookupLabel(0, text, packet, pair); ++pair) {
      fprintf(out, " %s=", text);
      if (pLookupValue(0, text, packet, pair)) fprintf(out, "%s", text);
    }
    fprintf(out, "\r\n");
  }
  fclose(out);
  pUnLoadPackets(0);
  fprintf(summary, "packets: %d\r\n", count);
  return 1;
}

static int BadAddins(const char* withoutApiDecode) {
  if (pTqlaSetAddinLibrary("no-such-addin-library") != 0) return Failed("a missing add-in library was accepted");
  if (!strstr(pTqlaLastError(), "not loaded")) return Failed("missing add-in: \"%s\"", pTqlaLastError());
  if (pTqlaSetAddinLibrary(withoutApiDecode) != 0) return Failed("an add-in without APIDecode was accepted");
  if (!strstr(pTqlaLastError(), "has no APIDecode")) return Failed("add-in without APIDecode: \"%s\"", pTqlaLastError());
  fprintf(summary, "add-ins refused: 2\r\n");
  return 1;
}

static int Scenario(const char* protocol, const char* withoutApiDecode) {
  uint32_t ids[4] = {0};
  TqlaULong *buffer, *reopened = NULL;
  char protocolFile[1024];
  int ok;
  snprintf(protocolFile, sizeof protocolFile, "%s", protocol);
  pTqlaSimReset();
  const int32_t pod = pTqlaSimAddPod(kPodId);
  if (!pod || !pTqlaSimSetSource(pod, TQLA_SIM_SOURCE_DEMO) || !pTqlaSimSetRealTime(pod, 0))
    return Failed("cannot set up the simulated pod");
  if (pEnumerateTQPods(ids) != 1 || ids[0] != kPodId) return Failed("EnumerateTQPods did not find pod %d", kPodId);
  if (!pInitializeTQPod(kPodId)) return Failed("InitializeTQPod: %s", pTqlaLastError());
  buffer = pMakeBuffer(kSamples);
  if (!buffer) return Failed("MakeBuffer");
  ok = Capture(buffer) && SaveAndReopen(buffer, &reopened) && Decode(reopened, protocolFile) && ListPackets() &&
       BadAddins(withoutApiDecode);
  pDeleteBuffer(buffer);
  if (reopened) pDeleteBuffer(reopened);
  /* The pod stays open and the library loaded: many hosts just exit, and the
   * process must then end (the test's time limit catches a hang). */
  return ok;
}

int main(int argc, char** argv) {
  Library library;
  int ok;
  if (argc != 4) {
    fprintf(stderr, "usage: scenario_host LIBRARY PROTOCOL_FILE ADDIN_WITHOUT_APIDECODE\n");
    return 2;
  }
  library = OpenLibrary(argv[1]);
  if (!library) {
    fprintf(stderr, "scenario: cannot load %s\n", argv[1]);
    return 1;
  }
  summary = fopen("summary.txt", "wb");
  if (!summary) return Failed("cannot write summary.txt"), 1;
  ok = Load(library) && Scenario(argv[2], argv[3]);
  fclose(summary);
  return ok ? 0 : 1;
}
