// Host control of the simulated pod.
#include <cstring>

#include "firmware/firmware.h"
#include "frame/export.h"
#include "sim/sim_bus.h"

using namespace tqla;
using namespace tqla::sim;

namespace {

SimFx2* Fx2Of(SimPod& pod, int32_t fx2) {
  if (fx2 == TQLA_SIM_DIGITAL) return &pod.Digital();
  if (fx2 == TQLA_SIM_ANALOG) return &pod.Analog();
  return nullptr;
}

}  // namespace

extern "C" {

void TQLA_API TqlaSimReset(void) {
  GuardedVoid("TqlaSimReset", [] { Bus().Reset(); });
}

int32_t TQLA_API TqlaSimAddPod(uint32_t id) {
  return Guarded<int32_t>("TqlaSimAddPod", 0, [&] { return id > 0xFFFF ? 0 : Bus().AddPod(id); });
}

int32_t TQLA_API TqlaSimAddDevice(uint16_t vendorId, uint16_t productId, uint16_t release, int32_t position) {
  return Guarded<int32_t>("TqlaSimAddDevice", 0,
                          [&] { return Bus().AddDevice(vendorId, productId, release, position) ? 1 : 0; });
}

// A null words array or a count of 0 plays a pod whose lines are low and whose
// scope inputs read 0 V.
int32_t TQLA_API TqlaSimSetSamples(int32_t pod, const uint32_t* words, uint32_t count, int32_t loop) {
  return Guarded<int32_t>("TqlaSimSetSamples", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    if (!p) return 0;
    if (!words) count = 0;
    p->SetSource(MakeFromWords(words, count, loop != 0));
    return 1;
  });
}

int32_t TQLA_API TqlaSimSetSource(int32_t pod, int32_t source) {
  return Guarded<int32_t>("TqlaSimSetSource", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    const bool known = source >= TQLA_SIM_SOURCE_COUNTER && source <= TQLA_SIM_SOURCE_PROTOCOLS;
    if (!p || !known) return 0;
    p->SetSource(MakeGenerated(static_cast<Generator>(source)));
    return 1;
  });
}

int32_t TQLA_API TqlaSimSetLoopback(int32_t fromPod, int32_t toPod) {
  return Guarded<int32_t>("TqlaSimSetLoopback", 0, [&] {
    std::shared_ptr<SimPod> to = Bus().Pod(toPod);
    std::shared_ptr<SimPod> from = fromPod ? Bus().Pod(fromPod) : nullptr;
    if (!to || (fromPod && !from)) return 0;
    to->WireInputs(from);
    return 1;
  });
}

int32_t TQLA_API TqlaSimSetRealTime(int32_t pod, int32_t realTime) {
  return Guarded<int32_t>("TqlaSimSetRealTime", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    if (!p) return 0;
    p->Update([&](PodSettings& s) { s.realTime = realTime != 0; });
    p->Digital().Wake();
    p->Analog().Wake();
    return 1;
  });
}

int32_t TQLA_API TqlaSimSetEeprom(int32_t pod, uint32_t address, const uint8_t* bytes, uint32_t length) {
  return Guarded<int32_t>("TqlaSimSetEeprom", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    if (!p || (length && !bytes)) return 0;
    return p->WriteEeprom(address, bytes, length) ? 1 : 0;
  });
}

int32_t TQLA_API TqlaSimGetEeprom(int32_t pod, uint32_t address, uint8_t* bytes, uint32_t length) {
  return Guarded<int32_t>("TqlaSimGetEeprom", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    if (!p || (length && !bytes)) return 0;
    return p->ReadEeprom(address, bytes, length) ? 1 : 0;
  });
}

int32_t TQLA_API TqlaSimInjectFault(int32_t pod, int32_t fault, uint32_t a, uint32_t b) {
  return Guarded<int32_t>("TqlaSimInjectFault", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    if (!p) return 0;
    switch (fault) {
      case TQLA_SIM_FAULT_NONE:
        p->Update([](PodSettings& s) {
          s.noReadyByte = false;
          s.controlPassCount = -1;
          s.controlFailCount = 0;
          s.bandwidthBytesPerSecond = 0;
          s.fullSpeed = false;
        });
        return 1;
      case TQLA_SIM_FAULT_NO_READY_BYTE:
        p->Update([](PodSettings& s) { s.noReadyByte = true; });
        return 1;
      case TQLA_SIM_FAULT_CONTROL_FAIL:
        p->Update([&](PodSettings& s) {
          s.controlPassCount = a;
          s.controlFailCount = b ? b : 1;
        });
        return 1;
      case TQLA_SIM_FAULT_STALL: {
        SimFx2* fx2 = Fx2Of(*p, static_cast<int32_t>(a));
        if (!fx2) return 0;
        fx2->Stall(static_cast<uint8_t>(b));
        return 1;
      }
      case TQLA_SIM_FAULT_BANDWIDTH:
        p->Update([&](PodSettings& s) { s.bandwidthBytesPerSecond = a; });
        return 1;
      case TQLA_SIM_FAULT_UNPLUG:
        return Bus().Unplug(pod) ? 1 : 0;
      case TQLA_SIM_FAULT_SHORT_TRANSFER: {
        SimFx2* fx2 = Fx2Of(*p, static_cast<int32_t>(a));
        if (!fx2 || b == 0 || b >= 65536) return 0;
        fx2->ShortTransfer(b);
        return 1;
      }
      case TQLA_SIM_FAULT_FULL_SPEED:
        p->Update([](PodSettings& s) { s.fullSpeed = true; });
        return 1;
      default:
        return 0;
    }
  });
}

uint32_t TQLA_API TqlaSimReadOutput(int32_t pod, int32_t fx2, uint8_t endpoint, uint8_t* buffer, uint32_t length) {
  return Guarded<uint32_t>("TqlaSimReadOutput", 0, [&]() -> uint32_t {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    SimFx2* device = p ? Fx2Of(*p, fx2) : nullptr;
    return device ? device->ReadOutput(endpoint, buffer, length) : 0;
  });
}

int32_t TQLA_API TqlaSimProgram(int32_t pod, int32_t fx2, char* name, uint32_t size) {
  return Guarded<int32_t>("TqlaSimProgram", 0, [&] {
    std::shared_ptr<SimPod> p = Bus().Pod(pod);
    SimFx2* device = p ? Fx2Of(*p, fx2) : nullptr;
    if (!device) return 0;
    const std::string running = device->ProgramName();
    if (name && size) {
      const size_t n = std::min<size_t>(running.size(), size - 1);
      std::memcpy(name, running.data(), n);
      name[n] = '\0';
    }
    return 1;
  });
}

int32_t TQLA_API TqlaSetFirmwareDir(const char* path) {
  GuardedVoid("TqlaSetFirmwareDir", [&] { firmware::SetFirmwareFolder(path); });
  return 1;
}

}  // extern "C"
