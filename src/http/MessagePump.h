#pragma once
// The message pump: lets blocking socket waits hand the user-interface thread
// back to the window's message loop for a moment, so the window repaints and
// its buttons work while a transfer runs.  The core knows no window system:
// the window installs the operation that handles its pending messages.
//
// At most one pump exists per program; it registers itself in one
// process-wide slot while it lives.  Turns happen only on the main thread
// (the thread that started the program).
//
// The window must answer within a tenth of a second on any link, so during
// a socket wait the pump gets a turn whenever kTurnIntervalMs have passed
// since its last one, also while bytes keep arriving without completing
// what the wait is for; idle waits never sleep past that moment either.
#include <chrono>
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
  // Longest single socket wait, in milliseconds, before the pump gets a turn
  // (shortened further to the time left until the next turn is due).
  int IdleTimeOut = 250;
  // Longest time between two turns while a socket wait goes on.
  static constexpr int kTurnIntervalMs = 100;
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
  // The slice length socket waits use: IdleTimeOut, or less when the pump is
  // usable and its next turn is due sooner.
  static int IdleSliceMs();
  // Milliseconds until a turn is due (0 when one is due now).
  static int MsUntilTurnDue();
  // A turn for a wait that goes on, whether or not it found something to
  // do, when kTurnIntervalMs have passed since the last turn.
  static void TurnIfDue();

 private:
  using Clock = std::chrono::steady_clock;
  void Turn();

  std::function<void()> FProcessMessages;
  std::function<bool()> FHandleOneMessage;
  Clock::time_point FLastTurn = Clock::now();
};
