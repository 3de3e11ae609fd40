#include "engine/SmallerDownload.h"

#include <optional>
#include <span>

#include "engine/InstalledCopy.h"
#include "engine/PartialDownload.h"
#include "engine/RebuildStream.h"
#include "engine/StagingNames.h"
#include "http/HttpClient.h"
#include "platform/Files.h"

namespace engine {

namespace {

// How a route's transfer ended.
enum class TTransfer {
  kArrived,   // the whole body came and rebuilt a file of the signed size
  kAnswered,  // an error status, its body read: the connection is as good as before
  kBroken,    // failed midway: the connection may hold the rest of a body
  kAborted,   // Exit
};

// One GET of the route into the rebuild, which must end with the last frame.
TTransfer Transfer(TUpdaterContext& context, const std::string& url, TRebuildStream& rebuild) {
  try {
    context.HttpClient.Get(url, rebuild);
    rebuild.Finish();
    return TTransfer::kArrived;
  } catch (const EHttpProtocolException&) {
    return TTransfer::kAnswered;
  } catch (const ENetException&) {
    return TTransfer::kBroken;
  } catch (const ERebuildRefused&) {
    return TTransfer::kBroken;
  } catch (const ETooMuchData&) {
    return TTransfer::kBroken;
  }
}

// Rebuilds the route's body into the partial download.  An abort wins over
// whatever the cut did to the transfer.  Any other error ends the run as it
// would for the whole file, with the connection closed (Exit must find none
// open) and nothing left on disk.
TTransfer Receive(TUpdaterContext& context, const std::string& url, TPartialDownload& download,
                  int64_t size, std::span<const uint8_t> base) {
  TRebuildStream rebuild(download, size, base);
  TTransfer result;
  try {
    result = Transfer(context, url, rebuild);
  } catch (...) {
    context.HttpClient.Disconnect();
    download.Discard();
    throw;
  }
  return context.Window.Tag() == kAbortRequested ? TTransfer::kAborted : result;
}

// The file as it must be: the signed size and digest.  The transfer
// announced the route's own length, which the rebuild held it to; what
// counts is the length of the file rebuilt.
std::optional<TStagedRecord> Judge(const TExpectedFile& expected, const std::string& partial,
                                   TPartialDownload& download) {
  download.Create();  // an empty file is rebuilt from a frame that writes nothing
  const TStagedRecord record{download.Digest(), platform::FileSize(partial)};
  if (!DownloadIsGood(expected, *expected.Size, record.Size, record.Sha256)) return std::nullopt;
  return record;
}

}  // namespace

TSmallerDownload FetchSmaller(TUpdaterContext& context, const TSmallerRow& row,
                              const TExpectedFile& expected) {
  const TDeltaOffer& offer = expected.Offer;
  if (expected.Trust != TExpectedFile::kLengthAndSha256 || !expected.Size || offer.Empty())
    return {};
  TInstalledCopy installed;
  std::optional<TSha256Digest> base;
  if (!offer.PatchBases.empty() && !row.InstalledFolder.empty() &&
      installed.Open(context.ProgramFolder, row.InstalledFolder, row.Bare))
    base = installed.Sha256();
  const std::optional<TDeltaRoute> route = ChooseDeltaRoute(offer, row.Bare, expected.Sha256, base);
  if (!route) return {};

  const std::string partial = context.ProgramFolder + PartialName(row.Bare);
  TPartialDownload download(partial, expected.Size);
  const std::string url = context.DownloadUrl + "download/" + route->Path;
  switch (Receive(context, url, download, *expected.Size,
                  route->Patch ? installed.Bytes() : std::span<const uint8_t>())) {
    case TTransfer::kAborted:
      // Exit may have come after the transfer's last progress event, which
      // left the connection open; closed here, the next Exit ends the program.
      context.HttpClient.Disconnect();
      download.Close();
      return {TSmallerDownload::kAborted};
    case TTransfer::kBroken:
      context.HttpClient.Disconnect();
      download.Discard();
      return {TSmallerDownload::kFailed};
    case TTransfer::kAnswered:
      download.Discard();
      return {TSmallerDownload::kFailed};
    case TTransfer::kArrived:
      break;
  }
  const std::optional<TStagedRecord> record = Judge(expected, partial, download);
  if (!record) {
    download.Discard();
    return {TSmallerDownload::kFailed};
  }
  download.SyncAndClose();  // on disk before it can be staged
  return {TSmallerDownload::kRebuilt, *record};
}

}  // namespace engine
