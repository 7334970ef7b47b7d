// What the tool needs of the operating system: whether a stream is a
// terminal, its width, binary standard output, file stamps, temporary files. terminal_posix.cpp
// and terminal_windows.cpp implement it; the build takes one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tqla::cli {

// True when stream writes to a terminal (live progress lines make sense).
bool IsTerminal(std::FILE* stream);

// Columns of the terminal on standard output; 80 when it is not one.
size_t TerminalColumns();

// What a path names now, enough to tell whether a run replaced or wrote it.
struct FileStamp {
  bool regular = false;
  uint64_t device = 0, inode = 0, size = 0;
  int64_t seconds = 0, nanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of path; all zero when it does not exist.
FileStamp StampOf(const std::string& path);

// True when stream writes to a regular file (not a device or a pipe).
bool IsRegularFile(std::FILE* stream);

// A stream of its own onto standard output, in binary mode (the same bytes
// on every system); null, with errno set, when it cannot be had.
std::FILE* OpenStandardOutput();

// Tells the system that the whole huge pages in [begin, begin + bytes) may be
// backed as such (a hint; nothing where the system takes none).
void AdviseHugePages(void* begin, size_t bytes);

// The first bytes of a regular file mapped into memory, copy on write (what is
// written there stays in this process). A page the file loses while it is
// mapped (another process truncates it) reads as zeros and marks the mapping
// cut, instead of ending the process with a bus error. Empty where the system
// maps no files or the mapping fails: the caller reads the file instead.
struct FileMap {
  uint8_t* base = nullptr;
  size_t bytes = 0;
  int slot = -1;
};
FileMap MapFile(const std::string& path, size_t bytes);

// Unmaps map (empty after); true when the file lost pages while it was mapped.
bool UnmapFile(FileMap& map);

// Bytes of a line end in a file written in text mode: 1 ("\n"), 2 on Windows ("\r\n").
size_t TextLineEndBytes();

// Creates a new empty file in the temporary folder; its path. Throws CliError.
std::string MakeTemporaryFile();

}  // namespace tqla::cli
