#include "Resource.h"

#include <unistd.h>

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Resource Resource::Text(int status, std::string reason, std::string contentType, std::string body) {
  Resource resource;
  resource.status = status;
  resource.reason = std::move(reason);
  resource.contentType = std::move(contentType);
  resource.text = std::move(body);
  return resource;
}

Resource Resource::Error(int status, const std::string& reason) {
  std::string title = std::to_string(status) + " " + reason;
  return Text(status, reason, "text/html; charset=utf-8",
              "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head>\n<body><h1>" +
                  title + "</h1></body></html>\n");
}
