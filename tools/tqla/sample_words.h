// The sample words of a capture: words the tool holds, or the pages of a
// loaded capture file mapped straight into memory, so that a command that
// only reads a capture reads its samples once (copy on write: a command that
// changes a word changes its own copy).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "terminal.h"

namespace tqla::cli {

class SampleWords {
 public:
  using value_type = uint32_t;
  using iterator = uint32_t*;
  using const_iterator = const uint32_t*;

  SampleWords() = default;
  SampleWords(std::vector<uint32_t> words) : owned_(std::move(words)) { Point(); }  // NOLINT: words as given
  SampleWords(std::initializer_list<uint32_t> words) : owned_(words) { Point(); }
  SampleWords(const SampleWords& other) : owned_(other.begin(), other.end()) { Point(); }
  SampleWords(SampleWords&& other) noexcept;
  SampleWords& operator=(const SampleWords& other);
  SampleWords& operator=(SampleWords&& other) noexcept;
  ~SampleWords();

  // Count words of path starting at byte offset, mapped; false (and nothing
  // changed) where the file cannot be mapped.
  bool Map(const std::string& path, size_t offset, size_t count);
  // The file the words are mapped from (empty when they are held).
  const std::string& MappedPath() const { return path_; }

  uint32_t* data() { return words_; }
  const uint32_t* data() const { return words_; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  uint32_t& operator[](size_t i) { return words_[i]; }
  const uint32_t& operator[](size_t i) const { return words_[i]; }
  const uint32_t& at(size_t i) const;
  iterator begin() { return words_; }
  iterator end() { return words_ + count_; }
  const_iterator begin() const { return words_; }
  const_iterator end() const { return words_ + count_; }

  // Changes of length hold the words first.
  void resize(size_t count);
  void reserve(size_t count);
  void push_back(uint32_t word);
  template <typename It>
  void assign(It first, It last) {
    Release();
    owned_.assign(first, last);
    Point();
  }
  // Copies mapped words into words of its own (nothing when held).
  void Hold();
  // The words as a vector of their own (moved out when held).
  std::vector<uint32_t> TakeVector();

  bool operator==(const SampleWords& other) const;
  bool operator==(const std::vector<uint32_t>& other) const;

 private:
  void Release();
  void Point() { words_ = owned_.data(), count_ = owned_.size(); }

  std::vector<uint32_t> owned_;
  FileMap map_;
  std::string path_;
  uint32_t* words_ = nullptr;
  size_t count_ = 0;
};

// The files whose mapped pages were cut (truncated by another process) while
// this process read them, since the last call; empty when none.
std::vector<std::string> TakeFilesCutWhileRead();

}  // namespace tqla::cli
