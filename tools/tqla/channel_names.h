// Names of the digital channels ("0=SCL,1=SDA"), for pictures and the
// session files of other analyzers.
#pragma once

#include <array>
#include <string>

namespace tqla::cli {

using ChannelNames = std::array<std::string, 16>;

// Parses "0=SCL,1=SDA,d6=RX": a channel 0-15 (with or without a leading d),
// "=", and a name of printable characters without commas; throws UsageError.
ChannelNames ParseChannelNames(const std::string& text);

// The name of channel c: names[c], or "d" and its number when that is empty.
std::string ChannelName(const ChannelNames& names, int c);

}  // namespace tqla::cli
