#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "operations.h"
#include "pod.h"
#include "pod_capture.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

// The demonstration pod gets an ID of its own, so a real pod on the bus is left alone.
constexpr uint32_t kDemoPod = 0xD0;
constexpr uint32_t kDemoRateHz = 1000000;
// The fieldbus traffic is timed for 12 MHz; one capture holds all of it.
constexpr uint32_t kFieldbusRateHz = 12000000;
constexpr uint32_t kDemoSamples = 262144;
// The protocols traffic is timed for 24 MHz; a capture of one period from GO
// holds all of it, in order.
constexpr uint32_t kPlantRateHz = 24000000;
constexpr uint32_t kPlantSamples = 1048576;
// The simulated pod's serial line sends 16 samples per bit.
constexpr uint32_t kDemoBaud = kDemoRateHz / 16;
constexpr int64_t kRenderBefore = 500;
constexpr uint64_t kRenderSamples = 2500;
constexpr int kRecordsShown = 3;
// The pod wired to the demonstration pod's lines for the loopback act. A wired
// pod replays from its GO a lead-in of the level before the generation run,
// then the run sample for sample.
constexpr uint32_t kLoopbackPod = 0xD1;
constexpr uint32_t kLoopbackLeadIn = 65536;
constexpr uint32_t kLoopbackSamples = 65536;

constexpr OptionSpec kOptions[] = {
    {"out", 0, "DIR", "folder for the files (default demo-out; made when missing)"},
    {"traffic", 0, "NAME", "what the simulated pod plays: demo (default), fieldbus, streams or protocols"},
};

constexpr CommandSpec kSpec = {
    "demo",
    "[--out DIR] [--traffic NAME]",
    "Attaches a simulated pod playing demonstration traffic (I2C on channels 0-1, SPI\n"
    "on 2-5, serial on 6, a sine on CH1 and a cosine on CH2), captures 262144 samples\n"
    "at 1 MHz triggered on an I2C start condition, saves the capture, exports it to\n"
    "VCD, CSV and text, draws the samples around the trigger as SVG with the I2C, SPI\n"
    "and serial values decoded under the traces, decodes the three buses and prints\n"
    "the first records of each. Last, it wires a second simulated pod to the\n"
    "demonstration pod's lines, generates a 16-bit counter of 65536 samples at 1 MHz\n"
    "on the demonstration pod, captures the lines on the second pod and checks that\n"
    "every sample came back.\n"
    "With --traffic streams the pod plays 1-Wire on channel 0, I2S on 1-3 (clock,\n"
    "word select, data), a synchronous serial link on 4-6 (clock, data, chip select)\n"
    "and a parallel byte on 8-15 with its strobe on 7; the demo captures 262144\n"
    "samples at 1 MHz triggered where the serial chip select falls, saves the capture\n"
    "and decodes the four buses, printing the first records of each.\n"
    "With --traffic fieldbus the pod plays CAN on channel 0, low-speed USB on 1 (D+)\n"
    "and 2 (D-) and a PS/2 keyboard on 3 (data) and 4 (clock); the demo captures\n"
    "262144 samples at 12 MHz triggered where the CAN line falls, saves the capture\n"
    "and decodes the three buses, printing the first records of each.\n"
    "With --traffic protocols the pod plays the traffic of the shipped protocol\n"
    "definitions: PMBus on 0-1, an SPI flash on 2-5, Modbus RTU on 6, NMEA 0183 on 7\n"
    "and CANopen on 8; the demo captures 1048576 samples at 24 MHz, saves the capture\n"
    "and decodes each bus with its definition, printing the first packet records.",
    kOptions,
    0,
    0,
};

void PrintFirstRecords(const std::string& path) {
  std::ifstream in(path);
  int shown = 0;
  for (std::string line; shown < kRecordsShown && std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::printf("    %s\n", line.c_str());
    ++shown;
  }
}

// Runs a command as a user would type it, so the demo shows the same steps.
void Run(CommandRun command, std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  if (command(static_cast<int>(argv.size()), argv.data()) != 0) throw CliError("a demonstration step failed");
}

// Attaches the demonstration pod playing source, captures kDemoSamples at
// rateHz on trigger (what, for the message), saves the capture to path and
// returns it; podHandle gets the simulated pod.
Capture CaptureDemo(int32_t source, uint32_t rateHz, const char* trigger, const char* what, const std::string& path,
                    int32_t* podHandle = nullptr) {
  const int32_t pod = AttachSimulatedPod(kDemoPod, source);
  if (podHandle) *podHandle = pod;
  CaptureSettings settings;
  settings.pod = kDemoPod;
  settings.rateHz = rateHz;
  settings.samples = kDemoSamples;
  settings.post = kDemoSamples / 2;
  settings.steps = ParseTrigger(trigger);
  settings.timeoutSeconds = 10;
  PodCaptureStatus status;
  Capture capture = RunPodCapture(settings, &status);
  if (status.end != CaptureEnd::Complete)
    throw CliError(status.end == CaptureEnd::TimedOut ? "the demonstration capture saw no trigger within 10 s"
                                                      : "the demonstration capture was stopped by Ctrl-C");
  capture.created = UtcNow();
  SaveCapture(path, capture);
  std::printf("%s: %zu samples at %u MHz from a simulated pod, triggered on %s at sample %u\n", path.c_str(),
              capture.samples.size(), rateHz / 1000000, what, capture.trigger.value_or(0));
  return capture;
}

// A bus of a demonstration traffic, decoded with the decoder's defaults
// (which follow the traffic's wiring) and the value format shown.
struct DemoBus {
  const char* bus;
  const char* name;
  const char* records;
  const char* format;
};

void DecodeDemoBuses(const std::filesystem::path& dir, const std::string& capturePath,
                     std::initializer_list<DemoBus> buses) {
  for (const DemoBus& b : buses) {
    const std::string records = (dir / b.records).string();
    Run(RunDecode, {b.bus, "-o", records, "--name", b.name, "-f", b.format, capturePath});
    PrintFirstRecords(records);
  }
}

void StreamsDemo(const std::filesystem::path& dir) {
  const std::string capturePath = (dir / "streams.tqc").string();
  CaptureDemo(TQLA_SIM_SOURCE_STREAMS, kDemoRateHz, "6=f", "a serial frame start", capturePath);
  DecodeDemoBuses(dir, capturePath,
                  {{"1wire", "1-Wire", "streams-1wire.txt", "hex"},
                   {"i2s", "I2S", "streams-i2s.txt", "dec"},
                   {"serial", "SER", "streams-serial.txt", "hex"},
                   {"parallel", "PAR", "streams-parallel.txt", "hex"}});
}

void FieldbusDemo(const std::filesystem::path& dir) {
  const std::string capturePath = (dir / "fieldbus.tqc").string();
  CaptureDemo(TQLA_SIM_SOURCE_FIELDBUS, kFieldbusRateHz, "0=f", "a CAN start of frame", capturePath);
  DecodeDemoBuses(dir, capturePath,
                  {{"can", "CAN", "fieldbus-can.txt", "hex"},
                   {"usb", "USB", "fieldbus-usb.txt", "hex"},
                   {"ps2", "PS2", "fieldbus-ps2.txt", "hex"}});
}

void ProtocolsDemo(const std::filesystem::path& dir) {
  AttachSimulatedPod(kDemoPod, TQLA_SIM_SOURCE_PROTOCOLS);
  CaptureSettings settings;
  settings.pod = kDemoPod;
  settings.rateHz = kPlantRateHz;
  settings.samples = kPlantSamples;
  settings.post = 0;  // without a trigger the ring fills once from GO
  settings.timeoutSeconds = 10;
  Capture capture = RunPodCapture(settings, nullptr);
  capture.created = UtcNow();
  const std::string capturePath = (dir / "plant.tqc").string();
  SaveCapture(capturePath, capture);
  std::printf("%s: %zu samples at 24 MHz from a simulated pod\n", capturePath.c_str(), capture.samples.size());
  const struct {
    const char* definition;
    std::vector<std::string> options;
  } kBuses[] = {
      {"pmbus", {"i2c"}},
      {"spi-flash", {"spi"}},
      {"modbus-rtu", {"async", "--channels", "6", "--baud", "115200", "--parity", "even"}},
      {"nmea-0183", {"async", "--channels", "7", "--baud", "115200"}},
      {"canopen", {"can", "--can", "8"}},
  };
  for (const auto& bus : kBuses) {
    const std::string name = std::string("plant-") + bus.definition;
    const std::string packets = (dir / (name + ".txt")).string();
    std::vector<std::string> words = bus.options;
    for (const std::string& w : {std::string("-p"), std::string(bus.definition), std::string("-o"),
                                 (dir / (name + "-records.txt")).string(), std::string("--packets"), packets,
                                 capturePath}) {
      words.push_back(w);
    }
    Run(RunDecode, words);
    PrintFirstRecords(packets);
  }
}

// Generates a counter on the demonstration pod with the generate command,
// captures the lines back on a second pod wired to them and compares.
void LoopbackDemo(int32_t demoPod, const std::filesystem::path& dir) {
  const int32_t wired = AttachSimulatedPod(kLoopbackPod, TQLA_SIM_SOURCE_DEMO);
  if (TqlaSimSetLoopback(demoPod, wired) != 1) throw CliError("cannot wire the simulated pods together");
  // The generating pod takes the pattern as fast as it comes, so that a busy
  // machine cannot make it run dry; the wired pod replays it at its own rate.
  TqlaSimSetRealTime(demoPod, 0);
  const std::string patternPath = (dir / "loopback.csv").string();
  OutputFile pattern(patternPath);
  std::fputs("counter\n", pattern.get());
  for (uint32_t i = 0; i < kLoopbackSamples; ++i) std::fprintf(pattern.get(), "%04X\n", i);
  pattern.Close();
  Run(RunGenerate, {"--pod", std::to_string(kDemoPod), "--rate", "1M", patternPath});

  CaptureSettings settings;
  settings.pod = kLoopbackPod;
  settings.rateHz = kDemoRateHz;
  settings.analogChannels = 0;
  settings.samples = kLoopbackLeadIn + 2 * kLoopbackSamples;
  // Triggered at once with no post-trigger count, the ring fills once from GO.
  settings.post = 0;
  const Capture back = RunPodCapture(settings, nullptr);
  if (!back.cutShort.empty()) throw CliError("the loopback capture was cut short by " + back.cutShort);
  for (uint32_t i = 0; i < kLoopbackSamples; ++i) {
    const uint32_t captured = back.samples.at(kLoopbackLeadIn + i) & 0xFFFF;
    if (captured == i) continue;
    std::printf("loopback: sample %u was generated as %04X and captured back as %04X\n", i, i, captured);
    throw CliError("the loopback samples differ");
  }
  std::printf("loopback: %u samples generated and captured back, all match\n", kLoopbackSamples);
}

}  // namespace

int RunDemo(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::filesystem::path dir = args.Value("out", "demo-out");
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) throw CliError("cannot make " + dir.string() + ": " + error.message());
  const int32_t source = SimTrafficSource(args.Value("traffic", "demo"));
  if (source == TQLA_SIM_SOURCE_STREAMS) {
    StreamsDemo(dir);
    return 0;
  }
  if (source == TQLA_SIM_SOURCE_FIELDBUS) {
    FieldbusDemo(dir);
    return 0;
  }
  if (source == TQLA_SIM_SOURCE_PROTOCOLS) {
    ProtocolsDemo(dir);
    return 0;
  }
  auto file = [&](const char* name) { return (dir / name).string(); };

  const std::string capturePath = file("demo.tqc");
  // SDA falls while SCL is high.
  int32_t demoPod = 0;
  Capture capture =
      CaptureDemo(TQLA_SIM_SOURCE_DEMO, kDemoRateHz, "0=1,1=f", "an I2C start", capturePath, &demoPod);

  const struct {
    const char* file;
    ExportFormat format;
    const char* what;
  } kExports[] = {
      {"demo.vcd", ExportFormat::Vcd, "VCD"},
      {"demo.csv", ExportFormat::Csv, "CSV"},
      {"demo.txt", ExportFormat::Text, "text table"},
  };
  for (const auto& e : kExports) {
    ExportCapture(capture, e.format, file(e.file), 0, std::nullopt);
    std::printf("%s: %s of all samples\n", file(e.file).c_str(), e.what);
  }

  RenderOptions options;
  options.start = static_cast<int64_t>(capture.trigger.value_or(0)) - kRenderBefore;
  options.samples = kRenderSamples;
  // The demonstration wiring, and its three buses decoded under the traces.
  options.names = ParseChannelNames("0=SCL,1=SDA,2=SCK,3=MOSI,4=MISO,5=CS,6=RX");
  options.decoders = ParseDecoderSpecs({"i2c:scl=0,sda=1", "spi:sck=2,mosi=3,miso=4,cs=5",
                                        "uart:rx=6,baud=" + std::to_string(kDemoBaud) + ",format=char"});
  RenderCapture(capture, options, file("demo.svg"), "tqla demo: an I2C start and the I2C, SPI and serial traffic around it");
  std::printf("%s: SVG of %llu samples around the trigger, the I2C, SPI and serial traffic decoded under them\n", file("demo.svg").c_str(),
              static_cast<unsigned long long>(kRenderSamples));

  Run(RunDecode, {"i2c", "-o", file("demo-i2c.txt"), "--name", "I2C", capturePath});
  PrintFirstRecords(file("demo-i2c.txt"));
  Run(RunDecode, {"spi", "-o", file("demo-spi.txt"), "--name", "SPI", "--words", "4", capturePath});
  PrintFirstRecords(file("demo-spi.txt"));
  // The capture may begin inside a character: decoding starts where the
  // serial line has been idle (high) for a whole character's time.
  constexpr uint32_t kSerialChannel = 6, kCharacterSamples = 10 * (kDemoRateHz / kDemoBaud);
  uint32_t idleFrom = 0;
  for (uint32_t i = 0, high = 0; i < capture.samples.size(); ++i) {
    high = (capture.samples[i] >> kSerialChannel & 1) ? high + 1 : 0;
    if (high == kCharacterSamples) {
      idleFrom = i;
      break;
    }
  }
  Run(RunDecode, {"async", "-o", file("demo-uart.txt"), "--name", "UART", "--baud", std::to_string(kDemoBaud),
                  "--per-line", "14", "-f", "char", "-d", "none", "--from", std::to_string(idleFrom), capturePath});
  PrintFirstRecords(file("demo-uart.txt"));
  LoopbackDemo(demoPod, dir);
  return 0;
}

}  // namespace tqla::cli
