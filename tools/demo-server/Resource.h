#pragma once
// What the server answers a request with: a status, and a body that is
// either text built in memory or an open file sent straight from disk.
#include <sys/types.h>

#include <string>
#include <utility>

// Owns one file descriptor and closes it.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct Resource {
  int status = 200;
  std::string reason = "OK";
  std::string contentType = "text/html; charset=utf-8";
  std::string text;     // the body when file is not open
  FileDescriptor file;  // the body when open: fileSize bytes from offset 0
  off_t fileSize = 0;

  off_t BodyLength() const { return file.IsOpen() ? fileSize : static_cast<off_t>(text.size()); }

  static Resource Text(int status, std::string reason, std::string contentType, std::string body);
  // A short HTML page saying what went wrong, e.g. Error(404, "Not Found").
  static Resource Error(int status, const std::string& reason);
};
