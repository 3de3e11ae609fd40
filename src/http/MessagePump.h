#pragma once
// The message pump: lets blocking socket waits hand the user-interface thread
// back to the window's message loop for a moment, so the window repaints and
// its buttons work while a transfer runs.  The core knows no window system:
// the window installs the operation that handles its pending messages.
//
// At most one pump exists per program; it registers itself in one
// process-wide slot while it lives.  Turns happen only on the main thread
// (the thread that started the program).
#include <functional>

class TMessagePump {
 public:
  // Raises an error when another pump exists.
  TMessagePump();
  ~TMessagePump();
  TMessagePump(const TMessagePump&) = delete;
  TMessagePump& operator=(const TMessagePump&) = delete;

  bool Active = true;
  // True: a turn handles every pending message; false: at most one.
  bool ApplicationHasPriority = true;
  // Longest single socket wait, in milliseconds, before the pump gets a turn.
  int IdleTimeOut = 250;
  // True: only waits that found nothing to do give the pump a turn.
  bool OnlyWhenIdle = true;

  // Handles every pending window message, then returns (the window installs
  // QCoreApplication::processEvents here).
  void SetProcessMessagesHook(std::function<void()> hook);
  // Handles one pending message if there is one (used when the application
  // has no priority); returns whether it handled one.
  void SetHandleOneMessageHook(std::function<bool()> hook);

  // The registered pump, or nullptr.
  static TMessagePump* Instance();
  // A turn for a waiting caller: runs one pump turn when a pump exists, is
  // active and the caller is the main thread, and either the wait found
  // nothing to do (idle), the pump does not insist on idleness, or the
  // caller overrides.
  static void ProcessTurn(bool idle, bool override = false);
  // True when ProcessTurn could run a turn now (pump present, active, main thread).
  static bool Usable();
  // The slice length socket waits use while the pump is usable.
  static int IdleSliceMs();

 private:
  void Turn();

  std::function<void()> FProcessMessages;
  std::function<bool()> FHandleOneMessage;
};
