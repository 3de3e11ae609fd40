#pragma once
// A loopback listener whose accept queue is full, so a further connect to
// its port is never answered: the SYN is dropped and the connect hangs until
// the client gives up.  Stands in for an unreachable host without sending a
// packet anywhere but 127.0.0.1.
#include <vector>

class FullBacklogListener {
 public:
  FullBacklogListener();
  ~FullBacklogListener();
  FullBacklogListener(const FullBacklogListener&) = delete;
  FullBacklogListener& operator=(const FullBacklogListener&) = delete;

  int Port() const { return FPort; }
  // False when the queue could not be filled (the test should then skip).
  bool Ready() const { return FReady; }

 private:
  int FListener = -1;
  int FPort = 0;
  bool FReady = false;
  std::vector<int> FFillers;
};
