#include "http/MessagePump.h"

#include <algorithm>
#include <thread>

#include "util/Errors.h"

namespace {

TMessagePump* gInstance = nullptr;
// Static initialisation runs on the thread that starts the program.
const std::thread::id gMainThread = std::this_thread::get_id();

}  // namespace

TMessagePump::TMessagePump() {
  if (gInstance != nullptr) throw Exception("Only one TMessagePump can exist per application.");
  gInstance = this;
}

TMessagePump::~TMessagePump() {
  if (gInstance == this) gInstance = nullptr;
}

void TMessagePump::SetProcessMessagesHook(std::function<void()> hook) {
  FProcessMessages = std::move(hook);
}

void TMessagePump::SetHandleOneMessageHook(std::function<bool()> hook) {
  FHandleOneMessage = std::move(hook);
}

TMessagePump* TMessagePump::Instance() { return gInstance; }

bool TMessagePump::Usable() {
  return gInstance != nullptr && gInstance->Active && std::this_thread::get_id() == gMainThread;
}

int TMessagePump::IdleSliceMs() {
  if (gInstance == nullptr) return 250;
  // Only a pump that can take its turn here resets its turn clock; for any
  // other a turn would seem due at once, and a wait cut to it would spin.
  if (!Usable()) return gInstance->IdleTimeOut;
  return std::min(gInstance->IdleTimeOut, MsUntilTurnDue());
}

int TMessagePump::MsUntilTurnDue() {
  if (gInstance == nullptr) return kTurnIntervalMs;
  const auto since =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - gInstance->FLastTurn);
  return static_cast<int>(std::clamp<int64_t>(kTurnIntervalMs - since.count(), 0, kTurnIntervalMs));
}

void TMessagePump::TurnIfDue() {
  if (Usable() && MsUntilTurnDue() == 0) ProcessTurn(false, true);
}

void TMessagePump::ProcessTurn(bool idle, bool override) {
  if (!Usable()) return;
  if (idle || !gInstance->OnlyWhenIdle || override) gInstance->Turn();
}

void TMessagePump::Turn() {
  // Taken when the turn starts: what its handlers do is part of the turn.
  FLastTurn = Clock::now();
  if (ApplicationHasPriority) {
    if (FProcessMessages) FProcessMessages();
  } else if (FHandleOneMessage) {
    FHandleOneMessage();
  }
}
