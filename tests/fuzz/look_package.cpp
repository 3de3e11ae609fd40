// Fuzz target: the look package reader, and the look built from a package
// (its settings text and its pictures, decoded by Qt on the offscreen
// platform).  A damaged package is refused as a whole; a sound one survives
// being written and read again.
#include <QGuiApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "ui/LookPackage.h"
#include "ui/LookStyle.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "look_package: %s\n", what);
  std::abort();
}

void CheckRoundTrip(const TLookPackage& package) {
  if (package.Entries.size() > kLookMaxEntries) Fail("too many entries accepted");
  for (const TLookEntry& entry : package.Entries) {
    if (entry.Name.size() > kLookMaxNameLength || entry.Data.size() > kLookMaxEntrySize)
      Fail("entry beyond its limits accepted");
  }
  const TLookBytes stored = WriteLookPackage(package);
  const std::optional<TLookPackage> again = ReadLookPackage(stored.data(), stored.size());
  if (!again) Fail("a written package is refused");
  if (again->Preview != package.Preview || again->Entries.size() != package.Entries.size())
    Fail("package changed by a round trip");
  for (size_t i = 0; i < package.Entries.size(); ++i) {
    if (again->Entries[i].Name != package.Entries[i].Name ||
        again->Entries[i].Data != package.Entries[i].Data)
      Fail("entry changed by a round trip");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication application(*argc, *argv);  // pictures need a GUI application
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (const std::optional<TLookPackage> package = ReadLookPackage(data, size))
    CheckRoundTrip(*package);
  if (std::unique_ptr<TLookStyle> style = TLookStyle::FromPackage(data, size)) {
    (void)style->standardPalette();
    (void)style->SkinName();
  }
  return 0;
}
