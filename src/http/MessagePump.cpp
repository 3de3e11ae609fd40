#include "http/MessagePump.h"

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

int TMessagePump::IdleSliceMs() { return gInstance != nullptr ? gInstance->IdleTimeOut : 250; }

void TMessagePump::ProcessTurn(bool idle, bool override) {
  if (!Usable()) return;
  if (idle || !gInstance->OnlyWhenIdle || override) gInstance->Turn();
}

void TMessagePump::Turn() {
  if (ApplicationHasPriority) {
    if (FProcessMessages) FProcessMessages();
  } else if (FHandleOneMessage) {
    FHandleOneMessage();
  }
}
