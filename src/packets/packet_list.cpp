// Packet lists: packet record files read back as label/value pairs.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "frame/export.h"
#include "platform/regular_file.h"
#include "packets/packets_state.h"

using namespace tqla;
using namespace tqla::packets;

namespace {

constexpr const char* kSeparators = ",\n\r";
constexpr int kMaxPairs = kPointersPerPacket / 2;
constexpr size_t kMaxTextLength = TQLA_PACKET_TEXT_SIZE - 1;

PacketList* Slot(char slot) {
  const int index = static_cast<signed char>(slot);
  return index >= 0 && index < kPacketListSlots ? &packetsState.lists[index] : nullptr;
}

void Release(PacketList& list) {
  std::free(list.text);
  std::free(list.pointers);
  list = PacketList{};
}

// Tokens longer than kMaxTextLength are cut to it, so that every text a
// lookup hands out fits a host's buffer of TQLA_PACKET_TEXT_SIZE.
char* NextToken(char*& cursor) {
  char* p = cursor + std::strspn(cursor, kSeparators);
  if (!*p) {
    cursor = p;
    return nullptr;
  }
  char* end = p + std::strcspn(p, kSeparators);
  cursor = *end ? end + 1 : end;
  *end = '\0';
  if (static_cast<size_t>(end - p) > kMaxTextLength) p[kMaxTextLength] = '\0';
  return p;
}

// Label (which 0) or value (1) of a pair; null when absent.
const char* Find(char slot, int32_t packetIndex, int32_t pairIndex, int which) {
  const PacketList* list = Slot(slot);
  if (!list || !list->pointers) return nullptr;
  if (packetIndex < 0 || packetIndex >= list->packetCount || pairIndex < 0 || pairIndex >= kMaxPairs) return nullptr;
  return list->pointers[static_cast<size_t>(packetIndex) * kPointersPerPacket + 2 * pairIndex + which];
}

int32_t Lookup(char slot, char* text, int32_t packetIndex, int32_t pairIndex, int which) {
  const char* found = text ? Find(slot, packetIndex, pairIndex, which) : nullptr;
  if (!found) return 0;
  std::strcpy(text, found);
  return 1;
}

int32_t LookupSized(char slot, char* text, uint32_t size, int32_t packetIndex, int32_t pairIndex, int which) {
  const char* found = Find(slot, packetIndex, pairIndex, which);
  if (!found) return -1;
  const size_t length = std::strlen(found);
  if (text && size > 0) {
    const size_t copied = std::min<size_t>(length, size - 1);
    std::memcpy(text, found, copied);
    text[copied] = '\0';
  }
  return static_cast<int32_t>(length);
}

}  // namespace

extern "C" {

// Slots outside 0-3 load nothing (0), and so does anything but a regular
// file. Loading into a loaded slot replaces its list. Tokens past the 128
// pointers of a packet are dropped; labels and values are cut to
// TQLA_PACKET_TEXT_SIZE - 1 characters.
int32_t TQLA_API LoadPackets(char slot, char* fileName) {
  return Guarded<int32_t>("LoadPackets", 0, [&]() -> int32_t {
    PacketList* list = Slot(slot);
    if (!list) return 0;
    Release(*list);
    FILE* file = OpenRegularFile(fileName);
    if (!file) return 0;
    const size_t size = static_cast<size_t>(std::max<int64_t>(RegularFileSize(file), 0));
    list->text = static_cast<char*>(std::malloc(size + 1000));
    if (!list->text) {
      std::fclose(file);
      return 0;
    }
    const size_t read = std::fread(list->text, 1, size + 999, file);
    std::fclose(file);
    list->text[read] = '\0';

    size_t capacity = 100;
    for (size_t i = 0; i < read; ++i) capacity += list->text[i] == '\n';
    list->pointers = static_cast<char**>(std::calloc(capacity * kPointersPerPacket, sizeof(char*)));
    if (!list->pointers) {
      Release(*list);
      return 0;
    }
    size_t packet = 0;
    int k = 0;
    auto store = [&](char* pointer) {
      if (k < kPointersPerPacket) list->pointers[packet * kPointersPerPacket + k] = pointer;
      ++k;
    };
    // A NUL inside the file ends its text.
    char* cursor = list->text;
    while (char* token = NextToken(cursor)) {
      store(token);
      if (std::strcmp(token, "EoP") != 0) continue;
      NextToken(cursor);
      store(nullptr);
      store(NextToken(cursor));
      store(NextToken(cursor));
      store(nullptr);
      k = 0;
      if (++packet == capacity) break;
    }
    if (packet < capacity) store(nullptr);
    list->packetCount = static_cast<int32_t>(packet);
    return list->packetCount;
  });
}

// Slots outside 0-3 are refused with 0.
int32_t TQLA_API UnLoadPackets(char slot) {
  return Guarded<int32_t>("UnLoadPackets", 0, [&]() -> int32_t {
    PacketList* list = Slot(slot);
    if (!list) return 0;
    Release(*list);
    return 1;
  });
}

// Packet or pair indexes outside the list, pair indexes of 64 or more and
// slots outside 0-3 find nothing (0) and leave text unchanged.
int32_t TQLA_API LookupLabel(char slot, char* text, int32_t packetIndex, int32_t pairIndex) {
  return Guarded<int32_t>("LookupLabel", 0, [&] { return Lookup(slot, text, packetIndex, pairIndex, 0); });
}

int32_t TQLA_API LookupValue(char slot, char* text, int32_t packetIndex, int32_t pairIndex) {
  return Guarded<int32_t>("LookupValue", 0, [&] { return Lookup(slot, text, packetIndex, pairIndex, 1); });
}

int32_t TQLA_API TqlaLookupLabelSized(char slot, char* text, uint32_t size, int32_t packetIndex, int32_t pairIndex) {
  return Guarded<int32_t>("TqlaLookupLabelSized", -1,
                          [&] { return LookupSized(slot, text, size, packetIndex, pairIndex, 0); });
}

int32_t TQLA_API TqlaLookupValueSized(char slot, char* text, uint32_t size, int32_t packetIndex, int32_t pairIndex) {
  return Guarded<int32_t>("TqlaLookupValueSized", -1,
                          [&] { return LookupSized(slot, text, size, packetIndex, pairIndex, 1); });
}

}  // extern "C"
