#include "pod.h"

#include <string>

#include "cli.h"
#include "tqla/tqla.h"
#include "tqla/tqla_ext.h"

namespace tqla::cli {

namespace {

struct SimTraffic {
  const char* name;
  int32_t source;
};
constexpr SimTraffic kSimTraffic[] = {
    {"demo", TQLA_SIM_SOURCE_DEMO},
    {"fieldbus", TQLA_SIM_SOURCE_FIELDBUS},
    {"streams", TQLA_SIM_SOURCE_STREAMS},
    {"protocols", TQLA_SIM_SOURCE_PROTOCOLS},
};

}  // namespace

int32_t AttachSimulatedPod(uint32_t id, int32_t source) {
  const int32_t pod = TqlaSimAddPod(id);
  if (!pod) throw CliError("cannot attach a simulated pod with ID " + std::to_string(id));
  TqlaSimSetSource(pod, source);
  return pod;
}

int32_t SimTrafficSource(const std::string& name) {
  for (const SimTraffic& t : kSimTraffic) {
    if (name == t.name) return t.source;
  }
  throw UsageError("no simulated traffic named '" + name + "' (" + SimTrafficNames() + ")");
}

std::string SimTrafficNames() {
  std::string names;
  for (const SimTraffic& t : kSimTraffic) names += (names.empty() ? "" : ", ") + std::string(t.name);
  return names;
}

std::string WithReason(const std::string& what) {
  const std::string reason = TqlaLastError();
  return what + (reason.empty() ? " (--verbose shows why)" : ": " + reason);
}

std::optional<std::string> RunFailure() {
  // A run that has ended leaves its result where the capture status reads it.
  if (CaptureStatus(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) >= 0) return std::nullopt;
  return TqlaLastError();
}

std::vector<uint32_t> ListPods() {
  // Two entries per pod at most, for up to 255 devices on the bus.
  std::vector<uint32_t> ids(512);
  const int32_t count = EnumerateTQPods(ids.data());
  ids.resize(count > 0 ? static_cast<size_t>(count) : 0);
  return ids;
}

OpenPod::OpenPod(std::optional<uint32_t> id, bool extractor) {
  if (!id) {
    const std::vector<uint32_t> pods = ListPods();
    if (pods.empty()) throw CliError("no pod found: attach one, or add --sim to use a simulated pod");
    id = pods.front();
  }
  if (!(extractor ? InitializeTQExtractor(*id, 0) : InitializeTQPod(*id)))
    throw CliError("cannot open pod " + std::to_string(*id) + " (see 'tqla list'; --verbose shows why)");
  id_ = *id;
}

OpenPod::~OpenPod() { ClosePod(); }

}  // namespace tqla::cli
