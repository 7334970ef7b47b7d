// Finding and opening a pod for the commands that talk to one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tqla::cli {

// Attaches a simulated pod with pod ID id playing a built-in source
// (TQLA_SIM_SOURCE_*), for the global --sim option and the demo. Returns the
// simulated pod's handle.
int32_t AttachSimulatedPod(uint32_t id, int32_t source);

// The built-in source of a named simulated traffic ("demo", "fieldbus",
// "streams");
// throws UsageError naming the choices.
int32_t SimTrafficSource(const std::string& name);
std::string SimTrafficNames();

// The message for a library call that just failed: what, then the library's
// reason when it gives one, else a pointer to --verbose.
std::string WithReason(const std::string& what);

// Why the last run (a generation or a pulse count, once ended) failed, or
// nothing when it did not.
std::optional<std::string> RunFailure();

// The IDs of the pods on the bus, each once, in bus order.
std::vector<uint32_t> ListPods();

// Opens pod id, or the first pod when none is named, for the life of the
// object, for captures and generation or, with extractor set, for streaming;
// throws CliError naming what to do when there is none.
class OpenPod {
 public:
  explicit OpenPod(std::optional<uint32_t> id, bool extractor = false);
  ~OpenPod();
  OpenPod(const OpenPod&) = delete;
  OpenPod& operator=(const OpenPod&) = delete;
  uint32_t id() const { return id_; }

 private:
  uint32_t id_ = 0;
};

}  // namespace tqla::cli
