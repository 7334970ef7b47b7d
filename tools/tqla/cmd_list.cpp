#include "cli.h"
#include "commands.h"
#include "pod.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

constexpr CommandSpec kSpec = {
    "list",
    "",
    "Lists the pods on the USB, real and simulated (with --sim), one per line:\n"
    "the pod ID and the bus speed of its Digital and Analog FX2.",
    {},
    0,
    0,
};

const char* Speed(CCyUSBDevice* device) {
  switch (TqlaDeviceHighSpeed(device)) {
    case 1: return "high speed";
    case 0: return "full speed";
    default: return "absent";
  }
}

}  // namespace

int RunList(int argc, char** argv) {
  const ParsedArgs args = ParseArgs(kSpec, argc, argv);
  if (args.help) {
    PrintHelp(kSpec, stdout);
    return 0;
  }
  const std::vector<uint32_t> pods = ListPods();
  for (uint32_t id : pods) {
    if (!OpenTQPod(id)) {
      std::printf("pod %u: cannot be opened\n", id);
      continue;
    }
    std::printf("pod %u: Digital FX2 %s, Analog FX2 %s\n", id, Speed(TqlaDigitalDevice()),
                Speed(TqlaAnalogDevice()));
    ClosePod();
  }
  std::printf("%zu pod%s\n", pods.size(), pods.size() == 1 ? "" : "s");
  return 0;
}

}  // namespace tqla::cli
