// The pieces of an update by patch, by compressed copy and by the whole
// file, timed on real files; run.sh drives it.
//
//   bench_delta_update make OLD NEW FOLDER [LEVEL]
//       writes FOLDER/copy.zst (the compressed copy of NEW) and FOLDER/patch
//       (the patch from OLD to NEW); prints "copy BYTES SECONDS" and
//       "patch BYTES SECONDS".
//   bench_delta_update fetch whole|zst|patch URL OUT SIZE SHA256 [OLD]
//       one update's download as the updater does it: for a patch, the
//       installed copy OLD is hashed first (that is how the updater knows
//       which patch fits) and mapped; then one GET streams the body into
//       the partial download OUT (through the rebuild for zst and patch),
//       which hashes it on the way; then the file is flushed and its digest
//       and size checked.  Prints "SECONDS BODY_BYTES PEAK_ANON_KIB
//       DECODER_KIB".
//   bench_delta_update apply OLD PATCH OUT SIZE SHA256
//       the patch applied from a local file: rebuilt into OUT, hashed,
//       flushed, checked; prints "SECONDS DECODE_ONLY_SECONDS".
//   bench_delta_update update whole|zst|patch URL BARE OLD NEW
//       the Update button's own run (DownloadTheFiles, a window that shows
//       nothing): a program folder with OLD installed as BARE, a catalogue
//       entry that signs NEW and offers the route, the server's download/
//       folder below URL.  Prints "SECONDS BODY_BYTES PEAK_ANON_KIB", the
//       peak sampled at every progress event and after the run.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/DeltaEncoder.h"
#include "engine/DeltaOffer.h"
#include "engine/DownloadStaging.h"
#include "engine/FileDigest.h"
#include "engine/PartialDownload.h"
#include "engine/RebuildStream.h"
#include "engine/StagedInstallFixture.h"
#include "engine/TransferProgress.h"
#include "http/HttpClient.h"
#include "platform/MappedFile.h"
#include "support/CountingStream.h"
#include "util/Sha256.h"

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// The process's anonymous resident memory in KiB: the heap and stacks,
// without the pages of mapped files, which the kernel can drop at will.
long AnonymousKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8));
  return -1;
}

// Passes the rebuilt file on, noting the anonymous memory every few MiB.
class TMemoryWatch : public TStream {
 public:
  explicit TMemoryWatch(TStream& out) : FOut(out) {}
  int64_t Position() const override { return FOut.Position(); }
  int64_t Size() const override { return FOut.Size(); }
  void Write(const void* data, size_t size) override {
    FOut.Write(data, size);
    FSinceLook += size;
    if (FSinceLook >= (size_t{4} << 20)) Look();
  }
  void CutAtPosition() override { FOut.CutAtPosition(); }
  void Look() {
    FSinceLook = 0;
    FPeakKib = std::max(FPeakKib, AnonymousKib());
  }
  long PeakKib() const { return FPeakKib; }

 private:
  TStream& FOut;
  size_t FSinceLook = 0;
  long FPeakKib = 0;
};

bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

int Make(const std::string& oldPath, const std::string& newPath, const std::string& folder,
         int level) {
  platform::TMappedFile oldFile, newFile;
  oldFile.Open(oldPath);
  newFile.Open(newPath);
  auto start = TClock::now();
  const std::string copy = engine::CompressedCopy(newFile.Bytes(), level);
  std::printf("copy %zu %.2f\n", copy.size(), SecondsSince(start));
  start = TClock::now();
  const std::string patch = engine::Patch(oldFile.Bytes(), newFile.Bytes(), level);
  std::printf("patch %zu %.2f\n", patch.size(), SecondsSince(start));
  return WriteFile(folder + "/copy.zst", copy) && WriteFile(folder + "/patch", patch) ? 0 : 1;
}

bool Expected(engine::TPartialDownload& partial, int64_t size, const std::string& digest) {
  return partial.Size() == size && DigestHex(partial.Digest()) == digest;
}

int Fetch(const std::string& route, const std::string& url, const std::string& out, int64_t size,
          const std::string& digest, const std::string& oldPath) {
  const auto start = TClock::now();
  platform::TMappedFile base;
  if (route == "patch") {
    base.Open(oldPath);
    Sha256(
        std::string_view(reinterpret_cast<const char*>(base.Bytes().data()), base.Bytes().size()));
  }
  THttpClient client;
  engine::TPartialDownload partial(out, size);
  TMemoryWatch watch(partial);
  int64_t body = 0;
  size_t decoderBytes = 0;
  if (route == "whole") {
    client.Get(url, watch);
    body = partial.Size();
  } else {
    engine::TRebuildStream rebuild(watch, size, base.Bytes());
    client.Get(url, rebuild);
    rebuild.Finish();
    body = rebuild.Size();
    decoderBytes = rebuild.DecoderMemory();
  }
  watch.Look();
  partial.SyncAndClose();
  const double seconds = SecondsSince(start);
  if (!Expected(partial, size, digest)) {
    std::fprintf(stderr, "the %s update did not give the file\n", route.c_str());
    return 1;
  }
  std::printf("%.3f %lld %ld %zu\n", seconds, static_cast<long long>(body), watch.PeakKib(),
              decoderBytes / 1024);
  return 0;
}

void Feed(engine::TRebuildStream& stream, std::span<const uint8_t> bytes) {
  constexpr size_t kPiece = size_t{1} << 20;
  for (size_t at = 0; at < bytes.size(); at += kPiece)
    stream.Write(bytes.data() + at, std::min(kPiece, bytes.size() - at));
  stream.Finish();
}

int Apply(const std::string& oldPath, const std::string& patchPath, const std::string& out,
          int64_t size, const std::string& digest) {
  platform::TMappedFile base, patch;
  base.Open(oldPath);
  patch.Open(patchPath);
  auto start = TClock::now();
  engine::TPartialDownload partial(out, size);
  {
    engine::TRebuildStream rebuild(partial, size, base.Bytes());
    Feed(rebuild, patch.Bytes());
  }
  partial.SyncAndClose();
  const double seconds = SecondsSince(start);
  if (!Expected(partial, size, digest)) {
    std::fprintf(stderr, "the patch did not give the file\n");
    return 1;
  }
  start = TClock::now();
  TCountingStream nowhere;
  engine::TRebuildStream decodeOnly(nowhere, size, base.Bytes());
  Feed(decodeOnly, patch.Bytes());
  std::printf("%.3f %.3f\n", seconds, SecondsSince(start));
  return 0;
}

// The catalogue fields that offer the route for NEW, installed OLD.
std::string RouteFields(const std::string& route, const engine::TFileDigest& old) {
  if (route == "zst") return ",zst";
  if (route == "patch") return ",patch=" + engine::DigestPrefix(old.Sha256);
  return "";
}

int Update(const std::string& route, const std::string& url, const std::string& bare,
           const std::string& oldPath, const std::string& newPath) {
  const auto old = engine::DigestOfFile(oldPath, true);
  const auto wanted = engine::DigestOfFile(newPath, true);
  if (!old || !wanted) return 1;
  TTempTree tree;
  std::filesystem::create_directories(tree.Path("A"));
  std::filesystem::copy_file(oldPath, tree.Path("A/" + bare));
  tree.Write("A/ModA.exe", "program");
  tree.Write("A/Version.ini", "[ModA]\r\nMain=1.0.001\r\n");
  tree.Write("allfiles.ini", "[modules]\r\nModA=ModA.exe\r\n[ModA]\r\nMain=2.0.000," + bare +
                                 ",sha256=" + DigestHex(wanted->Sha256) + ",size=" +
                                 std::to_string(wanted->Size) + RouteFields(route, *old) + "\r\n");
  TEngineRig rig(tree.Root, url);
  rig.Folders({"A"});
  rig.Window.AddRow("ModA,Main,ModA.exe," + bare + ",1.0.001,2.0.000,N,N,0");
  rig.Window.SetRowChecked(0, true);
  long peakKib = AnonymousKib();
  int64_t body = 0;
  rig.ReportTransfers();  // as the window wires them, and then the figures
  rig.Http.OnWorkBegin = [&](THttpClient*, TWorkMode, int64_t max) {
    body = max;
    HttpClientWorkBegin(rig.Context, max);
  };
  rig.Http.OnWork = [&](THttpClient*, TWorkMode, int64_t count) {
    peakKib = std::max(peakKib, AnonymousKib());
    HttpClientWork(rig.Context, count);
  };
  ::sync();  // the copy of OLD is not flushed on the clock
  const auto start = TClock::now();
  DownloadTheFiles(rig.Context);
  const double seconds = SecondsSince(start);
  peakKib = std::max(peakKib, AnonymousKib());
  const auto installed = engine::DigestOfFile(tree.Path("A/" + bare));
  if (rig.Window.StatusLine() != "Finished. " || !installed ||
      installed->Sha256 != wanted->Sha256) {
    std::fprintf(stderr, "the %s update did not install the file: %s\n", route.c_str(),
                 rig.Window.StatusLine().c_str());
    return 1;
  }
  std::printf("%.3f %lld %ld\n", seconds, static_cast<long long>(body), peakKib);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bench_delta_update make OLD NEW FOLDER [LEVEL]\n"
               "       bench_delta_update fetch whole|zst|patch URL OUT SIZE SHA256 [OLD]\n"
               "       bench_delta_update apply OLD PATCH OUT SIZE SHA256\n"
               "       bench_delta_update update whole|zst|patch URL BARE OLD NEW\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 4 && args[0] == "make")
      return Make(args[1], args[2], args[3],
                  args.size() > 4 ? std::stoi(args[4]) : engine::kDefaultDeltaLevel);
    if (args.size() >= 6 && args[0] == "fetch")
      return Fetch(args[1], args[2], args[3], std::stoll(args[4]), args[5],
                   args.size() > 6 ? args[6] : "");
    if (args.size() == 6 && args[0] == "update")
      return Update(args[1], args[2], args[3], args[4], args[5]);
    if (args.size() == 6 && args[0] == "apply")
      return Apply(args[1], args[2], args[3], std::stoll(args[4]), args[5]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_delta_update: %s\n", error.what());
    return 1;
  }
  return Usage();
}
