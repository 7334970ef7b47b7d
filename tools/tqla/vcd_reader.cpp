// Reading the digital channels of a Value Change Dump back into sample
// words: what the tool's own VCD writer puts out, and the common shapes of
// other writers' files (any identifiers, values before the first timestamp,
// vectors and reals of other variables, x and z read as 0).
#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "cli.h"
#include "pattern_file.h"

namespace tqla::cli {

namespace {

using Wide = unsigned __int128;

constexpr uint32_t kDefaultRateHz = 1000000;

class Tokens {
 public:
  explicit Tokens(const std::string& text) : text_(text) {}
  // The next word, empty at the end of the text.
  std::string_view Next() {
    while (at_ < text_.size() && IsSpace(text_[at_])) {
      if (text_[at_] == '\n') ++line_;
      ++at_;
    }
    const size_t from = at_;
    while (at_ < text_.size() && !IsSpace(text_[at_])) ++at_;
    return std::string_view(text_).substr(from, at_ - from);
  }
  // The words up to $end, which is consumed.
  std::vector<std::string_view> Section(std::string_view keyword) {
    std::vector<std::string_view> words;
    for (std::string_view w = Next(); w != "$end"; w = Next()) {
      if (w.empty()) throw Error(std::string(keyword) + " has no $end");
      words.push_back(w);
    }
    return words;
  }
  CliError Error(const std::string& message) const {
    return CliError("line " + std::to_string(line_) + ": " + message);
  }

 private:
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }
  const std::string& text_;
  size_t at_ = 0;
  uint64_t line_ = 1;
};

// The time unit as a fraction: multiple / perSecond seconds.
struct TimeUnit {
  uint64_t multiple = 0;  // 0 until a $timescale was read
  uint64_t perSecond = 1;
};

TimeUnit ParseTimescale(const std::vector<std::string_view>& words, const Tokens& tokens) {
  std::string text;
  for (std::string_view w : words) text += w;
  static constexpr struct {
    const char* name;
    uint64_t perSecond;
  } kUnits[] = {{"s", 1},          {"ms", 1000},          {"us", 1000000},
                {"ns", 1000000000}, {"ps", 1000000000000}, {"fs", 1000000000000000}};
  for (const char* multiple : {"100", "10", "1"}) {
    if (text.rfind(multiple, 0) != 0) continue;
    const std::string unit = text.substr(std::strlen(multiple));
    for (const auto& u : kUnits) {
      if (unit == u.name) return {std::stoull(multiple), u.perSecond};
    }
  }
  throw tokens.Error("bad $timescale '" + text + "' (1, 10 or 100 of s, ms, us, ns, ps, fs)");
}

// The "sample rate N Hz" that the tool's writer puts in a comment.
std::optional<uint32_t> CommentRate(const std::vector<std::string_view>& words) {
  for (size_t i = 0; i + 3 < words.size(); ++i) {
    if (words[i] != "sample" || words[i + 1] != "rate" || words[i + 3].substr(0, 2) != "Hz") continue;
    uint32_t rate = 0;
    const std::string_view n = words[i + 2];
    const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), rate);
    if (ec == std::errc() && end == n.data() + n.size() && rate > 0) return rate;
  }
  return std::nullopt;
}

// The channel a variable named dN (N 0-15) carries.
std::optional<int> ChannelOf(std::string_view reference) {
  if (reference.size() < 2 || reference.size() > 3 || reference[0] != 'd') return std::nullopt;
  int channel = 0;
  const auto [end, ec] = std::from_chars(reference.data() + 1, reference.data() + reference.size(), channel);
  if (ec != std::errc() || end != reference.data() + reference.size() || channel > 15) return std::nullopt;
  if (reference.size() == 3 && reference[1] == '0') return std::nullopt;
  return channel;
}

class VcdReader {
 public:
  VcdReader(const std::string& text, std::optional<uint32_t> rateHz) : tokens_(text), rateHz_(rateHz) {}

  Pattern Read() {
    for (std::string_view word = tokens_.Next(); !word.empty(); word = tokens_.Next()) {
      switch (word[0]) {
        case '$': Keyword(word); break;
        case '#': Timestamp(word); break;
        case '0': case '1': case 'x': case 'X': case 'z': case 'Z':
          Change(word.substr(1), word[0] == '1');
          break;
        case 'b': case 'B': {
          const std::string_view id = tokens_.Next();
          Change(id, word.back() == '1');
          break;
        }
        case 'r': case 'R':
          Lookup(tokens_.Next());
          break;
        default:
          throw tokens_.Error("cannot read '" + std::string(word) + "'");
      }
    }
    uint64_t count = samples_.size();
    if (timed_) count = SampleAt(lastTime_) + (changedSinceTime_ ? 1 : 0);
    else if (changedSinceTime_) count = 1;
    Fill(count);
    Pattern pattern;
    pattern.words = std::move(samples_);
    pattern.rateHz = Rate();
    return pattern;
  }

 private:
  void Keyword(std::string_view word) {
    if (word == "$dumpvars" || word == "$dumpall" || word == "$dumpon" || word == "$dumpoff" || word == "$end") return;
    const std::vector<std::string_view> words = tokens_.Section(word);
    if (word == "$timescale") {
      unit_ = ParseTimescale(words, tokens_);
    } else if (word == "$comment") {
      // The rate is settled at the first timestamp.
      if (!commentRate_ && !timed_) commentRate_ = CommentRate(words);
    } else if (word == "$var") {
      Variable(words);
    } else if (word == "$enddefinitions") {
      if (!anyChannel_) throw tokens_.Error("no digital channel d0..d15 among the variables");
    }
  }

  void Variable(const std::vector<std::string_view>& words) {
    if (words.size() < 4) throw tokens_.Error("$var needs a type, a size, an identifier and a name");
    uint16_t& mask = ids_[std::string(words[2])];
    const std::optional<int> channel = ChannelOf(words[3]);
    if (!channel) return;
    if (words[1] != "1") throw tokens_.Error("d" + std::to_string(*channel) + " is not a 1-bit variable");
    if (declared_ & (1u << *channel)) throw tokens_.Error("d" + std::to_string(*channel) + " is declared twice");
    declared_ |= static_cast<uint16_t>(1u << *channel);
    mask |= static_cast<uint16_t>(1u << *channel);
    anyChannel_ = true;
  }

  uint16_t Lookup(std::string_view id) {
    if (id.empty()) throw tokens_.Error("a value without an identifier");
    const auto it = ids_.find(id);
    if (it == ids_.end()) throw tokens_.Error("unknown identifier '" + std::string(id) + "'");
    return it->second;
  }

  void Change(std::string_view id, bool high) {
    const uint16_t mask = Lookup(id);
    value_ = high ? value_ | mask : value_ & ~mask;
    changedSinceTime_ = true;
  }

  void Timestamp(std::string_view word) {
    uint64_t time = 0;
    const auto [end, ec] = std::from_chars(word.data() + 1, word.data() + word.size(), time);
    if (word.size() < 2 || ec != std::errc() || end != word.data() + word.size())
      throw tokens_.Error("bad timestamp '" + std::string(word) + "'");
    if (timed_ && time < lastTime_)
      throw tokens_.Error("time #" + std::to_string(time) + " goes back from #" + std::to_string(lastTime_));
    if (!anyChannel_) throw tokens_.Error("no digital channel d0..d15 declared before the first timestamp");
    if (unit_.multiple == 0) throw tokens_.Error("no $timescale before the first timestamp");
    Fill(SampleAt(time));
    timed_ = true;
    lastTime_ = time;
    changedSinceTime_ = false;
  }

  uint32_t Rate() const { return rateHz_.value_or(commentRate_.value_or(kDefaultRateHz)); }

  // The first sample at or after time less half a unit (the rounding of
  // writers whose unit cannot name every sample time), or less 1/64 of a
  // sample where half a unit is more (coarse units name times exactly).
  uint64_t SampleAt(uint64_t time) const {
    if (time == 0) return 0;
    const Wide rate = Rate();
    const Wide scaled = Wide{time} * unit_.multiple * rate;  // samples x perSecond
    const bool halfUnit = 64 * unit_.multiple * rate <= 2 * Wide{unit_.perSecond};
    // The sample as a fraction numerator / denominator, the margin taken off.
    const Wide numerator = halfUnit ? 2 * scaled - unit_.multiple * rate : 64 * scaled - unit_.perSecond;
    const Wide denominator = Wide{unit_.perSecond} * (halfUnit ? 2 : 64);
    const Wide sample = (numerator + denominator - 1) / denominator;
    if (sample > kMaxPatternSamples)
      throw tokens_.Error("time #" + std::to_string(time) + " lies past the longest pattern (" +
                          std::to_string(kMaxPatternSamples) + " samples at " + std::to_string(Rate()) + " Hz)");
    return static_cast<uint64_t>(sample);
  }

  void Fill(uint64_t count) {
    if (count > samples_.size()) samples_.resize(count, value_);
  }

  Tokens tokens_;
  std::optional<uint32_t> rateHz_, commentRate_;
  TimeUnit unit_;
  std::map<std::string, uint16_t, std::less<>> ids_;  // identifier: the channels it carries
  uint16_t declared_ = 0;
  bool anyChannel_ = false;
  uint16_t value_ = 0;
  bool timed_ = false;
  uint64_t lastTime_ = 0;
  bool changedSinceTime_ = false;
  std::vector<uint32_t> samples_;
};

}  // namespace

Pattern ReadVcdPattern(const std::string& text, std::optional<uint32_t> rateHz) {
  return VcdReader(text, rateHz).Read();
}

}  // namespace tqla::cli
