#include "platform/FileSeam.h"

#include <cerrno>
#include <csignal>

#include "platform/ContainedFolder.h"

namespace platform {
namespace seam {

std::atomic<bool> attending{false};
const std::string kNoPath;
const TFileOpDetail kNoDetail;

}  // namespace seam

namespace {

// What a test armed and what the seam saw since.  Touched only while
// attending, by the thread that does the file work.
struct TSeamState {
  TFileFault Fault;
  int64_t Counted = 0;
  int64_t Injected = 0;
  bool Recording = false;
  std::vector<TFileOpRecord> Record;
};

TSeamState& State() {
  static TSeamState state;
  return state;
}

void UpdateAttending() {
  const TSeamState& state = State();
  seam::attending.store(state.Fault.At > 0 || state.Recording, std::memory_order_relaxed);
}

}  // namespace

const char* FileOpName(TFileOp op) {
  switch (op) {
    case TFileOp::Create: return "create";
    case TFileOp::Write: return "write";
    case TFileOp::Sync: return "sync";
    case TFileOp::Close: return "close";
    case TFileOp::Rename: return "rename";
    case TFileOp::Link: return "link";
    case TFileOp::Unlink: return "unlink";
    case TFileOp::ChangeMode: return "chmod";
    case TFileOp::ChangeOwner: return "chown";
    case TFileOp::SyncFolder: return "sync folder";
    case TFileOp::OpenToRead: return "open to read";
    case TFileOp::Read: return "read";
    case TFileOp::ListFolder: return "list folder";
    case TFileOp::Inspect:
      return "inspect";
    case TFileOp::OpenToWrite:
      return "open to write";
    case TFileOp::WriteBack:
      return "write back";
    case TFileOp::Lock:
      return "lock";
  }
  return "?";
}

bool ChangesDisk(TFileOp op) {
  switch (op) {
    case TFileOp::OpenToRead:
    case TFileOp::Read:
    case TFileOp::ListFolder:
    case TFileOp::Inspect:
    case TFileOp::OpenToWrite:
    case TFileOp::Lock:
      return false;
    default:
      return true;
  }
}

namespace {

void Note(TSeamState& state, TFileOp op, const std::string& path, const std::string& to,
          const TFileOpDetail& detail) {
  TFileOpRecord record;
  record.Op = op;
  record.Path = path;
  record.To = to;
  record.Fd = detail.Fd;
  if (detail.Data != nullptr)
    record.Data.assign(static_cast<const char*>(detail.Data), detail.Size);
  record.Flags = detail.Flags;
  record.Mode = detail.Mode;
  state.Record.push_back(std::move(record));
}

}  // namespace

bool seam::Attend(TFileOp op, const std::string& calledPath, const std::string& calledTo,
                  const TFileOpDetail& detail) {
  TSeamState& state = State();
  // A file reached through an open folder's descriptor is seen by its name.
  const std::string path = ShownPath(calledPath), to = ShownPath(calledTo);
  if (state.Recording) Note(state, op, path, to, detail);
  const TFileFault& fault = state.Fault;
  if (fault.At <= 0 || (fault.Counts && !fault.Counts(op, path))) return true;
  ++state.Counted;
  if (state.Counted < fault.At || (state.Counted > fault.At && !fault.Persistent)) return true;
  if (fault.Error == 0) ::raise(SIGKILL);
  ++state.Injected;
  if (state.Recording) state.Record.back().Result = -fault.Error;
  errno = fault.Error;
  return false;
}

void seam::Finish(int64_t result) {
  TSeamState& state = State();
  if (!state.Recording || state.Record.empty()) return;
  TFileOpRecord& record = state.Record.back();
  record.Result = result;
  // A short write wrote only the first bytes it was given.
  if (record.Op == TFileOp::Write && result >= 0 &&
      static_cast<size_t>(result) < record.Data.size())
    record.Data.resize(static_cast<size_t>(result));
}

void ArmFileFaultForTesting(TFileFault fault) {
  TSeamState& state = State();
  state.Fault = std::move(fault);
  state.Counted = state.Injected = 0;
  UpdateAttending();
}

void DisarmFileFaultForTesting() { ArmFileFaultForTesting({}); }

int64_t FileOperationsCountedForTesting() { return State().Counted; }
int64_t FileFaultsInjectedForTesting() { return State().Injected; }

void RecordFileOperationsForTesting(bool on) {
  TSeamState& state = State();
  state.Recording = on;
  if (on) state.Record.clear();
  UpdateAttending();
}

const std::vector<TFileOpRecord>& RecordedFileOperationsForTesting() { return State().Record; }

std::string DescribeFileOperation(const TFileOpRecord& record) {
  std::string text = std::string(FileOpName(record.Op)) + " " + record.Path;
  if (!record.To.empty()) text += " -> " + record.To;
  return text;
}

}  // namespace platform
