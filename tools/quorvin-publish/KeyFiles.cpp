#include "KeyFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Files.h"
#include "platform/ProfileText.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/Errors.h"

void WriteNewSecretKey(const std::string& path, const std::string& seed) {
  const std::string text = EncodeBase64(seed) + "\n";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EEXIST) throw Exception(path + " already exists; a key file is never overwritten");
    throw Exception("cannot create " + path + ": " + PlatformReasonText(errno));
  }
  // The umask may only take rights away; set the mode outright all the same.
  bool ok = ::fchmod(fd, 0600) == 0 &&
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
            ::fsync(fd) == 0;
  const int error = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(path.c_str());
    throw Exception("cannot write " + path + ": " + PlatformReasonText(error));
  }
}

std::string ReadSecretKey(const std::string& path) {
  const int64_t size = platform::FileSize(path);
  if (size < 0) throw Exception("cannot read the secret key file " + path);
  if (size > 1024) throw Exception(path + " holds no secret key");
  const auto seed = DecodeBase64(platform::TrimBlanks(platform::ReadWholeFile(path)));
  if (!seed || seed->size() != kEd25519SeedSize)
    throw Exception(path + " holds no secret key (the base64 text of a 32-byte Ed25519 seed)");
  return *seed;
}

std::string ReadPublicKey(const std::string& text, const std::string& what) {
  const auto key = DecodeBase64(platform::TrimBlanks(text));
  if (!key || key->size() != kEd25519PublicKeySize)
    throw Exception(what + " is not the base64 text of a 32-byte Ed25519 public key");
  return *key;
}

engine::TLabelledKey ReadLabelledKey(const std::string& text, const std::string& defaultLabel) {
  // Base64 holds no colon, so the first one ends the label.
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return {defaultLabel, ReadPublicKey(text, text)};
  const std::string label(platform::TrimBlanks(text.substr(0, colon)));
  if (label.empty() || label.find_first_of("=[]\r\n;#") != std::string::npos)
    throw Exception("\"" + label +
                    "\" cannot label a key (no \"=\", \"[\", \"]\", \";\" or \"#\")");
  return {label, ReadPublicKey(text.substr(colon + 1), text)};
}
