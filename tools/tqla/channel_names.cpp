#include "channel_names.h"

#include <algorithm>

#include "cli.h"

namespace tqla::cli {

ChannelNames ParseChannelNames(const std::string& text) {
  ChannelNames names;
  for (size_t at = 0; at <= text.size();) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    at = comma + 1;
    const size_t eq = item.find('=');
    if (eq == std::string::npos || eq + 1 == item.size())
      throw UsageError("--names: '" + item + "' is not CHANNEL=NAME (e.g. 0=SCL,1=SDA)");
    std::string channel = item.substr(0, eq);
    if (!channel.empty() && (channel[0] == 'd' || channel[0] == 'D')) channel.erase(0, 1);
    const auto c = ParseUnsigned("--names", channel, 15);
    const std::string name = item.substr(eq + 1);
    if (!std::all_of(name.begin(), name.end(), [](unsigned char ch) { return ch >= 0x20 && ch < 0x7F; }))
      throw UsageError("--names: the name of channel " + std::to_string(c) + " holds a control character");
    names[c] = name;
  }
  return names;
}

std::string ChannelName(const ChannelNames& names, int c) {
  if (!names[static_cast<size_t>(c)].empty()) return names[static_cast<size_t>(c)];
  std::string name = "d";
  name += std::to_string(c);
  return name;
}

}  // namespace tqla::cli
