#include "sample_words.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <utility>

namespace tqla::cli {

namespace {

std::mutex cutLock;
std::vector<std::string> cutFiles;

void NoteCut(const std::string& path) {
  std::lock_guard<std::mutex> hold(cutLock);
  cutFiles.push_back(path);
}

}  // namespace

SampleWords::SampleWords(SampleWords&& other) noexcept { *this = std::move(other); }

SampleWords& SampleWords::operator=(const SampleWords& other) {
  if (this != &other) assign(other.begin(), other.end());
  return *this;
}

SampleWords& SampleWords::operator=(SampleWords&& other) noexcept {
  if (this == &other) return *this;
  Release();
  owned_ = std::move(other.owned_);
  map_ = other.map_;
  path_ = std::move(other.path_);
  words_ = map_.base ? other.words_ : owned_.data();
  count_ = other.count_;
  other.map_ = {};
  other.path_.clear();
  other.owned_.clear();
  other.Point();
  return *this;
}

SampleWords::~SampleWords() { Release(); }

bool SampleWords::Map(const std::string& path, size_t offset, size_t count) {
  FileMap map = MapFile(path, offset + count * sizeof(uint32_t));
  if (!map.base) return false;
  Release();
  owned_ = {};
  map_ = map;
  path_ = path;
  words_ = reinterpret_cast<uint32_t*>(map.base + offset);
  count_ = count;
  return true;
}

const uint32_t& SampleWords::at(size_t i) const {
  if (i >= count_) throw std::out_of_range("sample index past the capture");
  return words_[i];
}

void SampleWords::resize(size_t count) {
  Hold();
  owned_.resize(count);
  Point();
}

void SampleWords::reserve(size_t count) {
  Hold();
  owned_.reserve(count);
  Point();
}

void SampleWords::push_back(uint32_t word) {
  Hold();
  owned_.push_back(word);
  Point();
}

std::vector<uint32_t> SampleWords::TakeVector() {
  Hold();
  std::vector<uint32_t> words = std::move(owned_);
  owned_.clear();
  Point();
  return words;
}

bool SampleWords::operator==(const SampleWords& other) const {
  return count_ == other.count_ && std::equal(begin(), end(), other.begin());
}

bool SampleWords::operator==(const std::vector<uint32_t>& other) const {
  return count_ == other.size() && std::equal(begin(), end(), other.begin());
}

void SampleWords::Hold() {
  if (!map_.base) return;
  std::vector<uint32_t> held(begin(), end());
  Release();
  owned_ = std::move(held);
  Point();
}

void SampleWords::Release() {
  if (map_.base && UnmapFile(map_)) NoteCut(path_);
  map_ = {};
  path_.clear();
  words_ = owned_.data();
  count_ = owned_.size();
}

std::vector<std::string> TakeFilesCutWhileRead() {
  std::lock_guard<std::mutex> hold(cutLock);
  return std::exchange(cutFiles, {});
}

}  // namespace tqla::cli
