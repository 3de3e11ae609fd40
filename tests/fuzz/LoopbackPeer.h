#pragma once
// The server side of one fuzzed HTTP exchange: a listener on 127.0.0.1 and a
// thread that serves each accepted connection the way the next Serve() call
// asks.  Unlike the tests' scripted server it keeps no per-connection thread
// or record, so a fuzzing run of many thousand exchanges stays flat in memory.
//
// A served connection reads the request head, sends the pieces with one send
// call each, shuts down its sending side (so the client always sees the end
// of the data and never waits for more), then reads until the client closes.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TLoopbackPeer {
 public:
  TLoopbackPeer();
  ~TLoopbackPeer();
  TLoopbackPeer(const TLoopbackPeer&) = delete;
  TLoopbackPeer& operator=(const TLoopbackPeer&) = delete;

  std::string Url(const std::string& path) const;

  // The pieces each connection accepted from now on sends.
  void Serve(std::vector<std::string> pieces);
  // Waits until a connection accepted since the last Serve() call has ended
  // (the client closed it); false when none did within the time.
  bool WaitUntilServed(int timeoutMs);

 private:
  void Loop();
  void Play(int handle, const std::vector<std::string>& pieces);

  int FListener = -1;
  int FPort = 0;
  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<std::string> FPieces;
  bool FPending = false;  // a Serve() not yet played to its end
  bool FStopping = false;
  std::thread FThread;
};
