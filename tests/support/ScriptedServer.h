#pragma once
// A scripted HTTP server on 127.0.0.1 for tests.
//
// It listens on an ephemeral port and records every byte each connection
// receives.  Connections are numbered from 0 in the order they are accepted.
// A connection for which a script was added plays that script step by step;
// a connection without one is served in route mode (path -> response bytes,
// keep-alive honoured).  When a script ends without closing, the server
// keeps reading (and recording) until the client closes, or closes itself
// when a further, unscripted request arrives.
//
//   ScriptedServer server;
//   server.AddConnection(ConnectionScript()
//                            .ExpectRequest()
//                            .Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi"));
//   client.Get(server.Url("/download/x"), stream);
//   server.Received(0);   // the exact request bytes
//
// Nothing in it sleeps: waits are on conditions, and WaitFor gives tests a
// deadline-bounded wait of their own.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ConnectionScript {
 public:
  // Waits until the next complete request head (up to its empty line) arrived.
  ConnectionScript& ExpectRequest();
  // Waits until the connection has received this many bytes in all.
  ConnectionScript& WaitForBytes(size_t total);
  ConnectionScript& Send(std::string bytes);
  // Sends the bytes with one send call per piece of pieceSize bytes.
  ConnectionScript& SendInPieces(std::string bytes, size_t pieceSize);
  // Sends `count` bytes made on the fly (a repeating pattern of the letters
  // a to z, so byte i is 'a' + i % 26), however large: big bodies cost the
  // test no memory.  Stops early when the client has gone.
  ConnectionScript& SendGenerated(uint64_t count);
  // A slow link: sends the bytes a piece at a time, one piece every
  // intervalMs milliseconds.
  ConnectionScript& Trickle(std::string bytes, size_t pieceSize, int intervalMs);
  // Waits until the test calls ScriptedServer::Release() (one release per stall).
  ConnectionScript& Stall();
  // Shuts down the sending side: the client sees an orderly close.
  ConnectionScript& ShutdownWrite();
  // Closes the connection (orderly).
  ConnectionScript& Close();
  // Closes with SO_LINGER 0: the client sees a reset.
  ConnectionScript& Reset();

  struct Step {
    enum class Kind {
      ExpectRequest,
      WaitForBytes,
      Send,
      SendGenerated,
      Trickle,
      Stall,
      ShutdownWrite,
      Close,
      Reset
    };
    Kind kind;
    std::string bytes;
    uint64_t count = 0;
    int intervalMs = 0;
  };
  const std::vector<Step>& Steps() const { return FSteps; }

 private:
  std::vector<Step> FSteps;
};

class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return FPort; }
  // "http://127.0.0.1:<port>" followed by the path.
  std::string Url(const std::string& path) const;

  // The next accepted connection without a script plays this one.
  void AddConnection(ConnectionScript script);

  // Route mode: the raw response bytes for a request-URI (matched exactly,
  // else without its query).  Unknown paths get a 404.  A response that says
  // "Connection: close" is followed by a close.
  void AddRoute(const std::string& path, std::string response);
  // A 200 response with Content-Length for the body.
  void AddFile(const std::string& path, const std::string& body);
  // The request lines served in route mode, in order.
  std::vector<std::string> RequestLines() const;

  int ConnectionsAccepted() const;
  // Every byte connection i has received so far.
  std::string Received(int connection) const;
  // True once the client has closed connection i (the server read its end).
  bool ClientClosed(int connection) const;

  // Lets one stalled step (now or later) go on.
  void Release();

  // Waits until the condition holds, up to timeoutMs; the condition is
  // re-checked whenever the server's state changes.
  bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) const;

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(Connection& connection);
  void PlayScript(Connection& connection, const ConnectionScript& script);
  void ServeRoutes(Connection& connection);
  bool ReadMore(Connection& connection);
  bool ReadRequestHead(Connection& connection, std::string& head);
  bool SendAll(Connection& connection, const std::string& bytes);
  void SendGeneratedBytes(Connection& connection, uint64_t count);
  void TrickleBytes(Connection& connection, const ConnectionScript::Step& step);
  void CloseConnection(Connection& connection, bool reset);
  void Changed();

  int FListener = -1;
  int FPort = 0;
  std::thread FAcceptThread;
  mutable std::mutex FLock;
  mutable std::condition_variable FChanged;
  bool FStopping = false;
  int FReleases = 0;
  std::vector<ConnectionScript> FScripts;
  size_t FNextScript = 0;
  std::map<std::string, std::string> FRoutes;
  std::vector<std::string> FRequestLines;
  std::vector<std::unique_ptr<Connection>> FConnections;
};
