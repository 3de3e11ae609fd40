#pragma once
// A file written piece by piece from its start, as a download arrives.
// Every failure raises EFCreateError with the name given and the
// platform's reason: to the user, the file could not be made.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class TOutputFile {
 public:
  TOutputFile() = default;
  // Closes the file without flushing it to disk.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Creates the file, or empties an existing one of that name in any letter
  // case in place (platform::OpenForReplacing).
  void Create(const std::string& path);
  bool IsOpen() const { return FHandle >= 0; }
  // The exact path opened.
  const std::string& Path() const { return FPath; }

  // Appends the bytes (the file is only ever written at its end).  Raises
  // also an error that the write-back of earlier bytes met.
  void Write(const void* data, size_t size);
  // For a file that will be flushed to disk when it is complete: what is
  // written goes to disk as it comes, a few MiB behind the writes, so that
  // the final Sync has little left to do (the program would stand still for
  // seconds while a large file is flushed at once) and written data does
  // not pile up in memory.
  void WriteBehind() { FWriteBehind = true; }
  // Flushes the data written so far to disk; raises any error that their
  // write-back met, also one met before.
  void Sync();
  void Close();

 private:
  [[noreturn]] void Fail(int error);
  void FlushBehind();

  int FHandle = -1;
  bool FWriteBehind = false;
  int64_t FWritten = 0;
  int64_t FFlushedUpTo = 0;  // writing back from here was asked for
  int64_t FSettledUpTo = 0;  // written back up to here
  int FWriteBackError = 0;   // what a write-back met, raised at the next write or flush
  std::string FPath;
  std::string FGivenPath;  // as the caller named it, for the error's text
};

}  // namespace platform
