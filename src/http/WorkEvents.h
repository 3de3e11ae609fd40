#pragma once
// Work counting: the transport reports every byte it takes out of its input
// buffer, and the object that owns the events turns the counts into
// begin / work / end notifications.
#include <cstdint>

enum class TWorkMode { wmRead, wmWrite };

// What the transport needs of the object that counts its work.
class IWorkSink {
 public:
  virtual ~IWorkSink() = default;
  // Opens a (possibly nested) transfer; only the outermost one reports.
  virtual void BeginWork(TWorkMode mode, int64_t size) = 0;
  // Adds n to the running total of an open transfer; nothing when none is open.
  virtual void DoWork(TWorkMode mode, int64_t n) = 0;
  // Closes a transfer; the outermost close reports.
  virtual void EndWork(TWorkMode mode) = 0;
};

// The work record kept per mode.
struct TWorkRecord {
  int64_t Position = 0;
  int64_t Size = 0;
  int32_t Level = 0;
};
