// Fuzz inputs reach the library as files, the way hosts hand it theirs.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

inline std::string WriteFuzzFile(const char* kind, const uint8_t* data, size_t size) {
  const std::string path = "/tmp/tqla_fuzz_" + std::string(kind) + "_" + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}
