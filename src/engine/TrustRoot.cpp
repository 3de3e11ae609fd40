#include "engine/TrustRoot.h"

#include <algorithm>
#include <set>

#include "engine/CatalogueRelease.h"
#include "engine/CatalogueSignature.h"
#include "util/Base64.h"
#include "util/Ed25519.h"
#include "util/IniFiles.h"
#include "util/UtcTime.h"

namespace engine {

namespace {

// What an absent key reads as: no value can hold a line break.
const std::string kAbsent = "\n";

// Reads one root's text; every refusal names the root and what is wrong.
class TRootReader {
 public:
  TRootReader(std::string_view text, const std::string& what)
      : FIni(TIniSnapshot::OfBytes(std::string(text), what)), FWhat(what) {}

  TRoot Read() {
    TRoot root;
    root.Version = Number(kRootVersionKey, true);
    if (root.Version == 0) Refuse("its Version is 0; versions start at 1");
    root.RootKeys = Role(kRootKeysSection, kRootThresholdKey);
    root.CatalogueKeys = Role(kCatalogueKeysSection, kCatalogueThresholdKey);
    const std::string expires = Value(kRootExpiresKey);
    if (expires != kAbsent) {
      root.Expires = ParseUtcTime(expires);
      if (!root.Expires) Refuse("its Expires is not a UTC time such as 2030-01-31T00:00:00Z");
    }
    root.SerialFloor = Number(kSerialFloorKey, false);
    return root;
  }

 private:
  [[noreturn]] void Refuse(const std::string& why) const {
    RefuseCatalogue(FWhat + " is not a valid root: " + why + ".");
  }

  std::string Value(const std::string& key) const {
    return FIni.ReadString(kRootSection, key, kAbsent);
  }

  // A decimal number of [root]; 0 when it is optional and absent.
  uint64_t Number(const std::string& key, bool required) const {
    const std::string text = Value(key);
    if (text == kAbsent) {
      if (required) Refuse("its " + key + " is missing");
      return 0;
    }
    uint64_t number = 0;
    if (ParseSerial(text, number) != TSerialText::kNumber)
      Refuse("its " + key + " is not a decimal number");
    return number;
  }

  TKeyRole Role(const std::string& section, const std::string& thresholdKey) const {
    TKeyRole role;
    TStringList labels;
    FIni.ReadSection(section, labels);
    for (int index = 0; index < labels.Count(); ++index) {
      const std::string& label = labels[index];
      const auto key = DecodeBase64(FIni.ReadString(section, label, ""));
      if (!key || key->size() != kEd25519PublicKeySize)
        Refuse("the key \"" + label + "\" of [" + section +
               "] is not the base64 text of a 32-byte Ed25519 public key");
      role.Add({label, *key});
    }
    if (role.Keys.empty()) Refuse("its section [" + section + "] lists no key");
    if (role.Keys.size() > kMaxKeysPerRole)
      Refuse("its section [" + section + "] lists more than " + std::to_string(kMaxKeysPerRole) +
             " keys");
    const uint64_t threshold = Number(thresholdKey, true);
    if (threshold < 1 || threshold > role.Keys.size())
      Refuse("its " + thresholdKey + " must be from 1 to " + std::to_string(role.Keys.size()) +
             ", the number of different keys in [" + section + "]");
    role.Threshold = static_cast<int>(threshold);
    return role;
  }

  TIniSnapshot FIni;
  std::string FWhat;
};

void AppendRole(std::string& text, const char* section, const TKeyRole& role) {
  text += "\r\n[" + std::string(section) + "]\r\n";
  for (const TLabelledKey& key : role.Keys)
    text += key.Label + "=" + EncodeBase64(key.Key) + "\r\n";
}

std::set<std::string> KeySet(const TKeyRole& role) {
  std::set<std::string> keys;
  for (const TLabelledKey& key : role.Keys) keys.insert(key.Key);
  return keys;
}

}  // namespace

bool TKeyRole::Holds(std::string_view key) const {
  return std::any_of(Keys.begin(), Keys.end(),
                     [&](const TLabelledKey& listed) { return listed.Key == key; });
}

bool TKeyRole::Add(const TLabelledKey& key) {
  if (Holds(key.Key)) return false;
  Keys.push_back(key);
  return true;
}

TRoot ParseRoot(std::string_view text, const std::string& what) {
  if (text.size() > kMaxRootSize)
    RefuseCatalogue(what + " is not a valid root: it is larger than " +
                    std::to_string(kMaxRootSize / 1024) + " KiB.");
  return TRootReader(text, what).Read();
}

TRoot OneKeyRoot(const std::string& key) {
  TRoot root;
  root.RootKeys.Keys = {{"key", key}};
  root.CatalogueKeys.Keys = {{"key", key}};
  return root;
}

std::string RootText(const TRoot& root) {
  std::string text = "[" + std::string(kRootSection) + "]\r\n";
  text += std::string(kRootVersionKey) + "=" + std::to_string(root.Version) + "\r\n";
  text += std::string(kRootThresholdKey) + "=" + std::to_string(root.RootKeys.Threshold) + "\r\n";
  text += std::string(kCatalogueThresholdKey) + "=" + std::to_string(root.CatalogueKeys.Threshold) +
          "\r\n";
  if (root.Expires)
    text += std::string(kRootExpiresKey) + "=" + FormatUtcTime(*root.Expires) + "\r\n";
  if (root.SerialFloor)
    text += std::string(kSerialFloorKey) + "=" + std::to_string(root.SerialFloor) + "\r\n";
  AppendRole(text, kRootKeysSection, root.RootKeys);
  AppendRole(text, kCatalogueKeysSection, root.CatalogueKeys);
  return text;
}

bool SameCatalogueKeys(const TRoot& a, const TRoot& b) {
  return KeySet(a.CatalogueKeys) == KeySet(b.CatalogueKeys);
}

}  // namespace engine
