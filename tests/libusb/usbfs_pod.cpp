#include "usbfs_pod.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "device/pod_ids.h"

namespace tqla::test {
namespace {

using Clock = std::chrono::steady_clock;
using usb::TransferContext;
using usb::TransferStatus;

// What a kernel offers on a host controller that gathers scattered buffers:
// libusb then sends each transfer as one request.
constexpr uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_BULK_SCATTER_GATHER |
                                   USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
// The emulated node is a plain file, which polls as always ready, so a host
// event loop would ask for completions without pause. A reap that finds
// nothing is therefore answered when a request completes, or with EAGAIN
// after this long, as a kernel node's poll would have slept.
constexpr auto kReapHold = std::chrono::milliseconds(2);
// How long an FX2 stays off the bus while it re-enumerates.
constexpr auto kRenumerationGap = std::chrono::milliseconds(50);
constexpr uint8_t kFirmwareLoad = 0xA0;
constexpr uint16_t kCpuControl = 0xE600;
constexpr uint8_t kGetInterface = 0x0A;

struct Node;

// One request of the host: a bulk transfer handed to the model, or a control
// transfer the model has answered. The request and its buffer are local
// copies of the host's, written back when it is reaped.
struct Urb {
  TransferContext context;
  UMockdevIoctlData* copy = nullptr;  // the request, with its buffer
  uintptr_t address = 0;              // where the host keeps it
  Node* node = nullptr;
  int status = 0;
  int actual = 0;
  bool bulk = false;
  ~Urb() {
    if (copy) g_object_unref(copy);
  }
  usbdevfs_urb& Request() { return *reinterpret_cast<usbdevfs_urb*>(copy->data); }
};

// One device node; it lives until the bus goes, since the host may still hold
// it open after the device has left.
struct Node {
  UsbfsBus::State* bus = nullptr;
  std::shared_ptr<sim::SimPod> pod;  // null: a device of another kind
  sim::SimFx2* fx2 = nullptr;
  Fx2 which = Fx2::Digital;
  int podHandle = 0;
  int port = 0;
  int devnum = 0;
  bool defaultIds = false;
  bool neverReturns = false;
  std::string syspath;
  std::string devnode;
  UMockdevIoctlBase* handler = nullptr;
  // The rest is guarded by the bus lock.
  bool gone = false;
  bool renumerating = false;
  // Shared so that a cancel in progress keeps its request while a
  // completion on another thread hands it out.
  std::unordered_map<uintptr_t, std::shared_ptr<Urb>> urbs;
  std::deque<Urb*> done;
  UMockdevIoctlClient* heldReap = nullptr;
  uint64_t heldAt = 0;     // completions on the bus when it was held
  bool handedOut = false;  // the last reap got a request
  Clock::time_point heldUntil;
  UsbfsStats stats;
  std::map<uint8_t, uint32_t> inFlight;  // bulk requests queued, by endpoint
};

// A reap to answer once the bus lock is released: with a request, or with an
// error (EAGAIN: nothing yet; ENODEV: the device has gone).
struct Answer {
  UMockdevIoctlClient* client;
  Urb* urb;
  int error;
  bool held;  // the reap was held, with a reference to its client
};

void PutHex(std::string& out, const std::vector<uint8_t>& bytes) {
  char digits[3];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    out += digits;
  }
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

// Device and configuration descriptors as the kernel shows them in sysfs:
// one interface whose alternate settings are the model's.
std::vector<uint8_t> Descriptors(uint16_t vendorId, uint16_t productId, uint16_t release,
                                 const std::vector<usb::AltSettingDescriptor>& settings) {
  std::vector<uint8_t> d = {18, 1};
  Put16(d, 0x0200);
  d.insert(d.end(), {0xFF, 0xFF, 0xFF, 64});
  Put16(d, vendorId);
  Put16(d, productId);
  Put16(d, release);
  d.insert(d.end(), {0, 0, 0, 1});
  std::vector<uint8_t> interfaces;
  for (const usb::AltSettingDescriptor& s : settings) {
    interfaces.insert(interfaces.end(), {9, 4, 0, s.alternateSetting, static_cast<uint8_t>(s.endpoints.size()),
                                         0xFF, 0xFF, 0xFF, 0});
    for (const usb::EndpointDescriptor& e : s.endpoints) {
      interfaces.insert(interfaces.end(), {7, 5, e.address, e.attributes});
      Put16(interfaces, e.maxPacketSize);
      interfaces.push_back(0);
    }
  }
  d.insert(d.end(), {9, 2});
  Put16(d, static_cast<uint16_t>(9 + interfaces.size()));
  d.insert(d.end(), {1, 1, 0, 0x80, 50});
  d.insert(d.end(), interfaces.begin(), interfaces.end());
  return d;
}

int ErrnoOf(TransferStatus status) {
  switch (status) {
    case TransferStatus::Completed: return 0;
    case TransferStatus::Cancelled: return -ENOENT;
    case TransferStatus::Stalled: return -EPIPE;
    case TransferStatus::NoDevice: return -ESHUTDOWN;
    default: return -EPROTO;
  }
}

}  // namespace

struct UsbfsBus::State {
  UMockdevTestbed* testbed = nullptr;
  // Testbed changes come from the test thread and the timer thread.
  std::mutex testbedLock;
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::unique_ptr<Node>> nodes;
  std::map<int, std::pair<Node*, Node*>> pods;
  std::vector<std::pair<Clock::time_point, Node*>> renumerations;
  int nextHandle = 1;
  int nextDevnum = 2;
  int nextPort = 1;
  bool quit = false;
  std::thread timer;
  // The emulation's thread, which answers every request; known from the
  // first request on.
  GMainContext* context = nullptr;
  uint64_t completions = 0;

  Node* Plug(std::shared_ptr<sim::SimPod> pod, Fx2 which, int podHandle, int port, bool defaultIds,
             bool neverReturns, uint16_t vendorId, uint16_t productId, uint16_t release);
  gboolean Handle(Node& node, UMockdevIoctlClient* client);
  gboolean Submit(Node& node, UMockdevIoctlClient* client);
  gboolean Reap(Node& node, UMockdevIoctlClient* client);
  gboolean Discard(Node& node, UMockdevIoctlClient* client, uintptr_t address);
  void Completed(Urb* urb);
  // Answers the held reaps that can be answered: with a completed request,
  // or with nothing when another node has a completion (the host's event
  // loop can go on to it), the time is up or the device has gone. Runs on
  // the emulation's thread; Poke asks for it from any thread.
  void Service();
  void Poke();
  // Answers reaps; on the emulation's thread, without the lock.
  void Send(std::vector<Answer>& answers);
  void Leave(Node& node);
  void TimerLoop();
};

namespace {

// The emulation stands in for the kernel, whose completions come from
// interrupts: its threads run time-critical where the system allows it.
void RunTimeCritical() {
  sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  thread_local const bool raised = (RunTimeCritical(), true);
  (void)raised;
  auto* node = static_cast<Node*>(data);
  return node->bus->Handle(*node, client);
}

void OnCompleted(TransferContext& context) {
  auto* urb = static_cast<Urb*>(context.backendData);
  urb->node->bus->Completed(urb);
}

gboolean Reply(UMockdevIoctlClient* client, long result, int error) {
  umockdev_ioctl_client_complete(client, result, error);
  return TRUE;
}

// The T an ioctl's argument points to in the host's memory, as a local copy
// that the answer writes back when it was changed. The copies are made and
// written back by the host's own thread, inside its ioctl call.
template <class T>
class Copy {
 public:
  explicit Copy(UMockdevIoctlClient* client)
      : data_(umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(T), nullptr)) {}
  ~Copy() {
    if (data_) g_object_unref(data_);
  }
  Copy(const Copy&) = delete;
  Copy& operator=(const Copy&) = delete;
  explicit operator bool() const { return data_ != nullptr; }
  T* operator->() { return reinterpret_cast<T*>(data_->data); }
  T& operator*() { return *operator->(); }
  UMockdevIoctlData* data() { return data_; }

 private:
  UMockdevIoctlData* data_;
};

}  // namespace

Node* UsbfsBus::State::Plug(std::shared_ptr<sim::SimPod> pod, Fx2 which, int podHandle, int port, bool defaultIds,
                            bool neverReturns, uint16_t vendorId, uint16_t productId, uint16_t release) {
  auto made = std::make_unique<Node>();
  Node& node = *made;
  node.bus = this;
  node.pod = std::move(pod);
  node.which = which;
  node.fx2 = node.pod ? (which == Fx2::Digital ? &node.pod->Digital() : &node.pod->Analog()) : nullptr;
  node.podHandle = podHandle;
  node.port = port;
  node.defaultIds = defaultIds;
  node.neverReturns = neverReturns;
  {
    std::lock_guard<std::mutex> hold(lock);
    node.devnum = nextDevnum++;
  }
  char devnode[64];
  std::snprintf(devnode, sizeof devnode, "/dev/bus/usb/001/%03d", node.devnum);
  node.devnode = devnode;
  bool highSpeed = true;
  std::vector<usb::AltSettingDescriptor> settings(1);
  if (node.fx2) {
    highSpeed = node.fx2->Descriptor().highSpeed;
    settings = node.fx2->AltSettings();
  }
  std::string text = "P: /devices/usb1/1-" + std::to_string(port) + "\nN: bus/usb/001/" + (devnode + 17) +
                     "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" +
                     (devnode + 17) + "\nE: DEVNAME=" + devnode + "\nA: busnum=1\\n\nA: devnum=" +
                     std::to_string(node.devnum) + "\\n\nA: speed=" + (highSpeed ? "480" : "12") +
                     "\\n\nA: bConfigurationValue=1\\n\nH: descriptors=";
  PutHex(text, Descriptors(vendorId, productId, release, settings));
  text += "\n";

  std::lock_guard<std::mutex> hold(testbedLock);
  if (node.fx2) {
    // The handler goes first, so that the node answers as soon as the host
    // hears of the device.
    node.handler = umockdev_ioctl_base_new();
    g_signal_connect(node.handler, "handle-ioctl", G_CALLBACK(OnIoctl), &node);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, devnode, node.handler, &error)) {
      std::fprintf(stderr, "usbfs emulation: %s\n", error ? error->message : "cannot attach");
      g_clear_error(&error);
    }
  }
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, text.c_str(), &error)) {
    std::fprintf(stderr, "usbfs emulation: %s\n", error ? error->message : "cannot add device");
    g_clear_error(&error);
  }
  node.syspath = "/sys/devices/usb1/1-" + std::to_string(port);
  std::lock_guard<std::mutex> holdNodes(lock);
  nodes.push_back(std::move(made));
  return &node;
}

// The device leaves: its node fails from now on and the bus announces it.
void UsbfsBus::State::Leave(Node& node) {
  {
    std::lock_guard<std::mutex> hold(lock);
    if (node.gone) return;
    node.gone = true;
  }
  Poke();
  std::lock_guard<std::mutex> hold(testbedLock);
  umockdev_testbed_uevent(testbed, node.syspath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed, node.syspath.c_str());
}

gboolean UsbfsBus::State::Handle(Node& node, UMockdevIoctlClient* client) {
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!context) context = g_main_context_ref_thread_default();
  }
  const unsigned long request = umockdev_ioctl_client_get_request(client);
  switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
      if (Copy<uint32_t> caps{client}) *caps = kCapabilities;
      return Reply(client, 0, 0);
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      return Reap(node, client);
    default:
      break;
  }
  {
    std::lock_guard<std::mutex> hold(lock);
    if (node.gone) return Reply(client, -1, ENODEV);
  }
  switch (request) {
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_DISCONNECT_CLAIM: {
      // No kernel driver holds the interface; the first field is its number.
      Copy<unsigned> interface{client};
      return Reply(client, interface && *interface == 0 ? 0 : -1, EINVAL);
    }
    case USBDEVFS_SETINTERFACE: {
      Copy<usbdevfs_setinterface> set{client};
      const bool ok = set && set->interface == 0 && set->altsetting <= 255 &&
                      node.fx2->SelectAltSetting(static_cast<uint8_t>(set->altsetting));
      return Reply(client, ok ? 0 : -1, ok ? 0 : EINVAL);
    }
    case USBDEVFS_CLEAR_HALT: {
      Copy<unsigned> endpoint{client};
      const bool ok = endpoint && node.fx2->ClearHalt(static_cast<uint8_t>(*endpoint));
      return Reply(client, ok ? 0 : -1, ok ? 0 : EINVAL);
    }
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
      return Reply(client, 0, 0);
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL:
      return Reply(client, -1, ENODATA);
    case USBDEVFS_SUBMITURB:
      return Submit(node, client);
    case USBDEVFS_DISCARDURB: {
      // The argument is the request's address itself.
      uintptr_t address = 0;
      std::memcpy(&address, umockdev_ioctl_client_get_arg(client)->data, sizeof address);
      return Discard(node, client, address);
    }
    default:
      return Reply(client, -1, ENOTTY);
  }
}

gboolean UsbfsBus::State::Submit(Node& node, UMockdevIoctlClient* client) {
  auto urb = std::make_shared<Urb>();
  urb->node = &node;
  urb->copy = umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_urb), nullptr);
  if (!urb->copy) return Reply(client, -1, EFAULT);
  urb->address = urb->copy->client_addr;
  usbdevfs_urb* request = &urb->Request();
  if (request->buffer_length < 0) return Reply(client, -1, EINVAL);
  // The buffer's copy: request->buffer points to it from now on.
  if (request->buffer_length > 0) {
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(urb->copy, offsetof(usbdevfs_urb, buffer),
                                                            static_cast<size_t>(request->buffer_length), nullptr);
    if (!buffer) return Reply(client, -1, EFAULT);
    g_object_unref(buffer);  // its parent keeps it
  }
  Urb* raw = urb.get();
  if (request->type == USBDEVFS_URB_TYPE_CONTROL) {
    if (request->buffer_length < 8) return Reply(client, -1, EINVAL);
    auto* bytes = static_cast<uint8_t*>(request->buffer);
    usb::SetupPacket setup;
    setup.requestType = bytes[0];
    setup.request = bytes[1];
    setup.value = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
    setup.index = static_cast<uint16_t>(bytes[4] | bytes[5] << 8);
    setup.length = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
    if (request->buffer_length < 8 + setup.length) return Reply(client, -1, EINVAL);
    uint8_t* data = bytes + 8;
    uint32_t moved = 0;
    bool ok = false;
    const bool in = setup.requestType & 0x80;
    if ((setup.requestType & 0x60) == 0 && setup.request == kGetInterface && in && setup.length >= 1) {
      const int setting = node.fx2->CurrentAltSetting();
      ok = setting >= 0;
      data[0] = static_cast<uint8_t>(setting);
      moved = 1;
    } else {
      ok = node.fx2->Control(setup, data, moved);
    }
    // A request the device does not take is stalled.
    raw->status = ok ? 0 : -EPIPE;
    raw->actual = static_cast<int>(moved);
    const bool started = ok && !in && setup.request == kFirmwareLoad && setup.value == kCpuControl &&
                         setup.length == 1 && data[0] == 0;
    {
      std::lock_guard<std::mutex> hold(lock);
      node.urbs[raw->address] = std::move(urb);
      node.done.push_back(raw);
      // A controller still on the chip maker's IDs re-enumerates once the
      // program it was given starts.
      if (started && node.defaultIds && !node.renumerating) {
        node.renumerating = true;
        renumerations.emplace_back(Clock::now() + kRenumerationGap, &node);
        changed.notify_all();
      }
      ++completions;
    }
    Service();
    return Reply(client, 0, 0);
  }
  if (request->type != USBDEVFS_URB_TYPE_BULK) return Reply(client, -1, EINVAL);
  raw->bulk = true;
  TransferContext& context = raw->context;
  context.endpoint = request->endpoint;
  context.buffer = static_cast<uint8_t*>(request->buffer);
  context.length = static_cast<uint32_t>(request->buffer_length);
  context.completed = &OnCompleted;
  context.backendData = raw;
  {
    std::lock_guard<std::mutex> hold(lock);
    node.urbs[raw->address] = std::move(urb);
    ++node.stats.submitted;
    node.stats.maxInFlight = std::max(node.stats.maxInFlight, ++node.inFlight[request->endpoint]);
  }
  // The model may complete it at once, before Submit returns.
  node.fx2->Submit(context);
  return Reply(client, 0, 0);
}

void UsbfsBus::State::Completed(Urb* urb) {
  {
    std::lock_guard<std::mutex> hold(lock);
    urb->status = ErrnoOf(urb->context.status.load());
    urb->actual = static_cast<int>(urb->context.actual.load());
    --urb->node->inFlight[urb->context.endpoint];
    urb->node->done.push_back(urb);
    ++completions;
  }
  Poke();
}

gboolean UsbfsBus::State::Reap(Node& node, UMockdevIoctlClient* client) {
  std::vector<Answer> answers;
  {
    std::lock_guard<std::mutex> hold(lock);
    if (!node.done.empty()) {
      answers.push_back({client, node.done.front(), 0, false});
      node.done.pop_front();
      node.handedOut = true;
    } else if (node.handedOut) {
      // The host reaps until it finds nothing, and only then resubmits what
      // it reaped: the node's lock is let go at once here, so that the
      // resubmission is not held up behind the next reap.
      node.handedOut = false;
      answers.push_back({client, nullptr, EAGAIN, false});
    } else {
      g_object_ref(client);
      node.heldReap = client;
      node.heldAt = completions;
      node.heldUntil = Clock::now() + kReapHold;
      changed.notify_all();
    }
  }
  Send(answers);
  return TRUE;
}

void UsbfsBus::State::Poke() {
  GMainContext* target = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock);
    target = context;
  }
  if (!target) return;
  g_main_context_invoke(
      target,
      [](gpointer self) -> gboolean {
        static_cast<State*>(self)->Service();
        return G_SOURCE_REMOVE;
      },
      this);
}

void UsbfsBus::State::Service() {
  std::vector<Answer> answers;
  {
    std::lock_guard<std::mutex> hold(lock);
    const Clock::time_point now = Clock::now();
    for (auto& n : nodes) {
      Node& node = *n;
      if (!node.heldReap) continue;
      if (!node.done.empty()) {
        answers.push_back({node.heldReap, node.done.front(), 0, true});
        node.done.pop_front();
        node.handedOut = true;
      } else if (completions != node.heldAt || now >= node.heldUntil || node.gone) {
        answers.push_back({node.heldReap, nullptr, node.gone && node.urbs.empty() ? ENODEV : EAGAIN, true});
      } else {
        continue;
      }
      node.heldReap = nullptr;
    }
  }
  Send(answers);
}

void UsbfsBus::State::Send(std::vector<Answer>& answers) {
  for (Answer& a : answers) {
    if (a.urb) {
      usbdevfs_urb& request = a.urb->Request();
      request.status = a.urb->status;
      request.actual_length = a.urb->actual;
      // The reap's argument points to where the host wants the request's
      // address; the request and its buffer go back with it.
      Copy<usbdevfs_urb*> slot{a.client};
      if (slot) umockdev_ioctl_data_set_ptr(slot.data(), 0, a.urb->copy);
      std::lock_guard<std::mutex> hold(lock);
      a.urb->node->urbs.erase(a.urb->address);
    }
    umockdev_ioctl_client_complete(a.client, a.urb ? 0 : -1, a.urb ? 0 : a.error);
    if (a.held) g_object_unref(a.client);
  }
  answers.clear();
}

gboolean UsbfsBus::State::Discard(Node& node, UMockdevIoctlClient* client, uintptr_t address) {
  std::shared_ptr<Urb> urb;
  {
    std::lock_guard<std::mutex> hold(lock);
    auto it = node.urbs.find(address);
    if (it != node.urbs.end() && it->second->bulk && !it->second->context.Done()) {
      urb = it->second;
      ++node.stats.discarded;
    }
  }
  // A request that has already completed waits to be reaped, as the kernel
  // keeps it; the host learns that from EINVAL.
  if (!urb) return Reply(client, -1, EINVAL);
  node.fx2->Cancel(urb->context);
  return Reply(client, 0, 0);
}

// Answers the reaps whose time is up and moves re-enumerating controllers.
void UsbfsBus::State::TimerLoop() {
  RunTimeCritical();
  std::unique_lock<std::mutex> hold(lock);
  while (!quit) {
    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    // A reap whose time is up waits for the emulation's thread; it is looked
    // at again half a millisecond on.
    const Clock::time_point soonest = Clock::now() + std::chrono::microseconds(500);
    for (auto& node : nodes) {
      if (node->heldReap) next = std::min(next, std::max(node->heldUntil, soonest));
    }
    for (auto& [when, node] : renumerations) next = std::min(next, when);
    changed.wait_until(hold, next);
    const Clock::time_point now = Clock::now();
    bool timeUp = false;
    for (auto& node : nodes) timeUp |= node->heldReap && node->heldUntil <= now;
    std::vector<Node*> due;
    std::erase_if(renumerations, [&](const auto& entry) {
      if (entry.first > now) return false;
      due.push_back(entry.second);
      return true;
    });
    hold.unlock();
    if (timeUp) Poke();
    for (Node* node : due) {
      Leave(*node);
      if (node->neverReturns) continue;
      std::this_thread::sleep_for(kRenumerationGap);
      Node* back = Plug(node->pod, node->which, node->podHandle, node->port, false, false, PodVendorId,
                        PodProductId, static_cast<uint16_t>(node->pod->PodId()));
      std::lock_guard<std::mutex> holdPods(lock);
      auto& pair = pods[node->podHandle];
      (node->which == Fx2::Digital ? pair.first : pair.second) = back;
    }
    hold.lock();
  }
}

UsbfsBus::UsbfsBus() : state_(std::make_unique<State>()) {
  state_->testbed = umockdev_testbed_new();
  state_->timer = std::thread([this] { state_->TimerLoop(); });
}

UsbfsBus::~UsbfsBus() {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->quit = true;
  }
  state_->changed.notify_all();
  state_->timer.join();
  // Removes the emulated tree.
  g_object_unref(state_->testbed);
}

UsbfsBus& UsbfsBus::Get() {
  static UsbfsBus bus;
  return bus;
}

UsbfsPod UsbfsBus::AddPod(uint32_t podId, bool defaultIds, bool neverReturns) {
  UsbfsPod pod;
  pod.model = std::make_shared<sim::SimPod>(podId);
  int digitalPort = 0;
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    pod.handle = state_->nextHandle++;
    digitalPort = state_->nextPort;
    state_->nextPort += 2;
  }
  const uint16_t vendorId = defaultIds ? Fx2DefaultVendorId : PodVendorId;
  const uint16_t productId = defaultIds ? Fx2DefaultProductId : PodProductId;
  const auto release = static_cast<uint16_t>(defaultIds ? 0 : podId);
  Node* digital = state_->Plug(pod.model, Fx2::Digital, pod.handle, digitalPort, defaultIds, neverReturns, vendorId,
                               productId, release);
  Node* analog = state_->Plug(pod.model, Fx2::Analog, pod.handle, digitalPort + 1, defaultIds, neverReturns,
                              vendorId, productId, release);
  std::lock_guard<std::mutex> hold(state_->lock);
  state_->pods[pod.handle] = {digital, analog};
  return pod;
}

void UsbfsBus::AddDevice(uint16_t vendorId, uint16_t productId, uint16_t release) {
  int port = 0;
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    port = state_->nextPort++;
  }
  state_->Plug(nullptr, Fx2::Digital, 0, port, false, false, vendorId, productId, release);
}

void UsbfsBus::Unplug(const UsbfsPod& pod) {
  std::pair<Node*, Node*> nodes;
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    nodes = state_->pods[pod.handle];
  }
  for (Node* node : {nodes.first, nodes.second}) {
    if (!node) continue;
    state_->Leave(*node);
    // What the model still holds ends as the kernel ends it on a disconnect.
    node->fx2->Unplug();
  }
}

void UsbfsBus::Clear() {
  std::vector<Node*> present;
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    state_->renumerations.clear();
    for (auto& node : state_->nodes) {
      if (!node->gone) present.push_back(node.get());
    }
  }
  for (Node* node : present) {
    state_->Leave(*node);
    if (node->fx2) node->fx2->Unplug();
  }
}

std::string UsbfsBus::NodeFile(const UsbfsPod& pod, Fx2 fx2) {
  std::lock_guard<std::mutex> hold(state_->lock);
  const auto& pair = state_->pods[pod.handle];
  const Node* node = fx2 == Fx2::Digital ? pair.first : pair.second;
  if (!node) return "";
  gchar* root = umockdev_testbed_get_root_dir(state_->testbed);
  std::string path = std::string(root) + node->devnode;
  g_free(root);
  return path;
}

UsbfsStats UsbfsBus::Stats(const UsbfsPod& pod, Fx2 fx2) {
  std::lock_guard<std::mutex> hold(state_->lock);
  const auto& pair = state_->pods[pod.handle];
  const Node* node = fx2 == Fx2::Digital ? pair.first : pair.second;
  if (!node) return {};
  UsbfsStats stats = node->stats;
  for (const auto& [endpoint, count] : node->inFlight) stats.inFlight += count;
  return stats;
}

bool RunUnderEmulation(int argc, char** argv, std::string& why) {
  (void)argc;
  constexpr const char* kPreload = "libumockdev-preload.so.0";
  if (void* loaded = dlopen(kPreload, RTLD_LAZY | RTLD_NOLOAD)) {
    dlclose(loaded);
    return true;
  }
  if (std::getenv("TQLA_USBFS_STARTED")) {
    why = "the device-emulation preload library (libumockdev-preload.so.0, package umockdev) did not load";
    return false;
  }
  std::string preload = kPreload;
  if (const char* before = std::getenv("LD_PRELOAD")) preload += std::string(":") + before;
  setenv("LD_PRELOAD", preload.c_str(), 1);
  setenv("TQLA_USBFS_STARTED", "1", 1);
  // A sanitizer runtime that is not first in the list only has to be told so.
  std::string asan = "verify_asan_link_order=0";
  if (const char* before = std::getenv("ASAN_OPTIONS")) asan = std::string(before) + ":" + asan;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
#ifdef TQLA_USBFS_TSAN_SUPPRESSIONS
  std::string tsan = "suppressions=" TQLA_USBFS_TSAN_SUPPRESSIONS;
  if (const char* before = std::getenv("TSAN_OPTIONS")) tsan = std::string(before) + ":" + tsan;
  setenv("TSAN_OPTIONS", tsan.c_str(), 1);
#endif
  execv("/proc/self/exe", argv);
  why = std::string("cannot start again under the emulation: ") + std::strerror(errno);
  return false;
}

}  // namespace tqla::test
