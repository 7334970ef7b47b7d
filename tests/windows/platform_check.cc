// The Windows platform layer checked where it runs: under Wine in the Windows
// test, as a program of its own (the test suites' framework is not built for
// Windows). Prints every failed check and exits 1 after any.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "firmware/firmware.h"
#include "frame/trace.h"
#include "platform/clock.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/threads.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "platform_check: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

std::string Joined(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& s : list) text += (text.empty() ? "" : " | ") + s;
  return text;
}

void FirmwareFolders() {
  SetEnvironmentVariableA("LOCALAPPDATA", "C:\\users\\host\\AppData\\Local");
  SetEnvironmentVariableA("TQLA_FIRMWARE_DIR", "D:\\pod images");
  const auto folders = tqla::firmware::FirmwareSearchPath();
  Check(!folders.empty() && folders.front() == "D:\\pod images", "$TQLA_FIRMWARE_DIR is searched first",
        Joined(folders));
  Check(Contains(folders, "C:\\users\\host\\AppData\\Local\\tqla\\firmware"), "%LOCALAPPDATA%\\tqla\\firmware",
        Joined(folders));
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string own = program;
  own = own.substr(0, own.find_last_of('\\'));
  Check(Contains(folders, own + "\\firmware") && folders.back() == own, "the module's folder and its firmware folder",
        Joined(folders));

  // A real pod with no image anywhere: the download fails with every folder named.
  tqla::ClearLastError();
  SetEnvironmentVariableA("TQLA_FIRMWARE_DIR", nullptr);
  tqla::firmware::SetFirmwareFolder("Z:\\no such folder");
  Check(tqla::firmware::RealImage(tqla::firmware::Image::Logic16Image) == nullptr, "a missing image is not made up");
  const std::string error = tqla::LastErrorText();
  Check(error.find("Logic16Image.bin not found") != std::string::npos &&
            error.find("Z:\\no such folder") != std::string::npos,
        "the missing image's error names it and the folders", error);
  tqla::firmware::SetFirmwareFolder(nullptr);
}

void Memory() {
  Check(tqla::platform::AvailablePhysicalMemory() > 0, "available physical memory is reported");
  constexpr size_t kAlign = size_t{2} << 20;
  void* block = tqla::platform::MapAligned(3 * kAlign, kAlign);
  Check(block != nullptr, "a large block is mapped");
  if (!block) return;
  Check(reinterpret_cast<uintptr_t>(block) % kAlign == 0, "a large block starts on its alignment");
  auto* bytes = static_cast<unsigned char*>(block);
  Check(bytes[0] == 0 && bytes[3 * kAlign - 1] == 0, "a large block is zero-filled");
  std::memset(bytes, 0x5A, 3 * kAlign);
  tqla::platform::UnmapAligned(block, 3 * kAlign);
}

void Libraries() {
  std::string error;
  Check(tqla::platform::OpenLibrary("no-such-library.dll", error) == nullptr, "a missing library does not load");
  Check(error.find("126") != std::string::npos, "a missing library's reason carries the system's code", error);
  error.clear();
  tqla::platform::LibraryHandle kernel = tqla::platform::OpenLibrary("kernel32.dll", error);
  Check(kernel != nullptr, "kernel32.dll loads", error);
  Check(tqla::platform::LibrarySymbol(kernel, "GetTickCount") != nullptr, "a library's function is found");
  Check(tqla::platform::LibrarySymbol(kernel, "APIDecode") == nullptr, "a missing function is not found");
  tqla::platform::CloseLibrary(kernel);
}

void ThreadsAndTime() {
  std::atomic<int> priority{THREAD_PRIORITY_ERROR_RETURN};
  std::atomic<bool> go{false};
  std::thread worker([&] {
    while (!go.load()) std::this_thread::yield();
    priority.store(GetThreadPriority(GetCurrentThread()));
  });
  const bool raised = tqla::platform::SetTimeCritical(worker);
  go.store(true);
  worker.join();
  Check(raised && priority.load() == THREAD_PRIORITY_TIME_CRITICAL, "a transfer thread runs time-critical",
        std::to_string(priority.load()));
  // Against the steady clock over 200 ms: the tick's own granularity (about
  // 16 ms on Windows) must not decide the check.
  const auto start = std::chrono::steady_clock::now();
  const uint32_t first = tqla::platform::TickCount();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200)) Sleep(10);
  const uint32_t later = tqla::platform::TickCount();
  Check(later - first >= 150 && later - first < 5000, "the tick count counts milliseconds",
        std::to_string(later - first));
}

}  // namespace

int main() {
  FirmwareFolders();
  Memory();
  Libraries();
  ThreadsAndTime();
  std::printf("platform_check: %s\n", failures ? "FAILED" : "all checks passed");
  return failures ? 1 : 0;
}
