// The demo server over real sockets on 127.0.0.1: framing, persistent
// connections, HEAD, and that no request escapes the download folder.
#include "DemoServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "RequestHead.h"
#include "Target.h"

namespace fs = std::filesystem;

namespace {

struct Response {
  int status = 0;
  std::string head;
  std::string body;
  bool Has(const std::string& field) const { return head.find(field) != std::string::npos; }
};

// A bare client socket; every read gives up after a deadline so a broken
// server fails the test instead of hanging it.
class RawClient {
 public:
  explicit RawClient(std::uint16_t port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval deadline{10, 0};
    ::setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { ::close(socket_); }

  bool Connected() const { return connected_; }
  void Send(const std::string& bytes) {
    ASSERT_EQ(::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }

  // Reads one response; headOnly for the answer to a HEAD (no body follows).
  Response Read(bool headOnly = false) {
    Response response;
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos)
      if (!Fill()) return response;
    response.head = buffer_.substr(0, end + 4);
    buffer_.erase(0, end + 4);
    response.status = std::atoi(response.head.c_str() + 9);
    size_t at = response.head.find("Content-Length: ");
    if (at == std::string::npos) return response;
    size_t length = std::stoull(response.head.substr(at + 16));
    if (headOnly) return response;
    while (buffer_.size() < length)
      if (!Fill()) return response;
    response.body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return response;
  }

  // True when the server closed the connection (and sent nothing more).
  bool ClosedByServer() { return buffer_.empty() && !Fill() && buffer_.empty() && closed_; }

 private:
  bool Fill() {
    char block[65536];
    ssize_t received = ::recv(socket_, block, sizeof block, 0);
    if (received == 0) closed_ = true;
    if (received <= 0) return false;
    buffer_.append(block, static_cast<size_t>(received));
    return true;
  }

  int socket_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string buffer_;
};

std::string Get(const std::string& target, const std::string& extra = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n";
}

class DemoServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("quorvin-demo-server-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "download" / "Tools");
    Write(root_ / "download" / "allfiles.ini", "[modules]\r\nAccounts=accounts\r\n");
    Write(root_ / "download" / "Tools" / "Report.dll", "report");
    Write(root_ / "secret.txt", "must not be served");
    fs::create_symlink(root_ / "secret.txt", root_ / "download" / "escape.txt");

    ServerOptions options;
    options.port = 0;
    options.root = root_;
    options.log = Logging();
    if (Logging()) testing::internal::CaptureStderr();
    server_ = std::make_unique<DemoServer>(options);
    port_ = server_->Listen();
    running_ = std::async(std::launch::async, [this] { server_->Run(); });
  }

  void TearDown() override {
    server_->Stop();
    EXPECT_EQ(running_.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    fs::remove_all(root_);
  }

  virtual bool Logging() const { return false; }

  static void Write(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  fs::path root_;
  std::unique_ptr<DemoServer> server_;
  std::uint16_t port_ = 0;
  std::future<void> running_;
};

TEST_F(DemoServerTest, ServesSeveralRequestsOnOneConnection) {
  RawClient client(port_);
  ASSERT_TRUE(client.Connected());
  client.Send(Get("/download/allfiles.ini"));
  Response catalogue = client.Read();
  EXPECT_EQ(catalogue.status, 200);
  EXPECT_EQ(catalogue.body, "[modules]\r\nAccounts=accounts\r\n");
  EXPECT_TRUE(catalogue.Has("Content-Length: 30\r\n"));

  client.Send(Get("/download/Tools/Report.dll"));
  EXPECT_EQ(client.Read().body, "report");
  client.Send(Get("/history"));
  Response history = client.Read();
  EXPECT_EQ(history.status, 200);
  EXPECT_NE(history.body.find("Computer QUORVIN"), std::string::npos);
}

TEST_F(DemoServerTest, AnswersPipelinedRequestsInOrder) {
  RawClient client(port_);
  client.Send(Get("/download/Tools/Report.dll") + Get("/download/missing.dll") +
              Get("/download/allfiles.ini"));
  EXPECT_EQ(client.Read().body, "report");
  EXPECT_EQ(client.Read().status, 404);
  EXPECT_EQ(client.Read().status, 200);
}

TEST_F(DemoServerTest, ClosesWhenTheClientAsksOrSpeaksHttp10) {
  RawClient closing(port_);
  closing.Send(Get("/download/allfiles.ini", "Connection: close\r\n"));
  Response answer = closing.Read();
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.Has("Connection: close\r\n"));
  EXPECT_TRUE(closing.ClosedByServer());

  RawClient old(port_);
  old.Send("GET /history HTTP/1.0\r\n\r\n");
  EXPECT_EQ(old.Read().status, 200);
  EXPECT_TRUE(old.ClosedByServer());
}

TEST_F(DemoServerTest, HeadAnnouncesTheLengthWithoutABody) {
  RawClient client(port_);
  client.Send("HEAD /download/Tools/Report.dll HTTP/1.1\r\nHost: x\r\n\r\n" +
              Get("/download/Tools/Report.dll"));
  Response head = client.Read(true);
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.Has("Content-Length: 6\r\n"));
  EXPECT_EQ(client.Read().body, "report");  // the next answer starts right after the head
}

TEST_F(DemoServerTest, NothingOutsideTheDownloadFolderIsServed) {
  for (const char* target :
       {"/download/../secret.txt", "/download/%2e%2e/secret.txt", "/download/..%2Fsecret.txt",
        "/download/Tools/../../secret.txt", "/download/escape.txt", "/secret.txt",
        "/download//etc/passwd", "/download/%00", "/download/", "/download/Tools"}) {
    RawClient client(port_);
    client.Send(Get(target));
    Response answer = client.Read();
    EXPECT_EQ(answer.status, 404) << target;
    EXPECT_EQ(answer.body.find("must not be served"), std::string::npos) << target;
    EXPECT_TRUE(answer.Has("Content-Length: ")) << target;
  }
}

TEST_F(DemoServerTest, RefusesOtherMethodsAndBrokenRequests) {
  RawClient post(port_);
  post.Send("POST /history HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\n\r\nabc" + Get("/history"));
  Response refused = post.Read();
  EXPECT_EQ(refused.status, 405);
  EXPECT_TRUE(refused.Has("Allow: GET, HEAD\r\n"));
  EXPECT_EQ(post.Read().status, 200);  // the body was skipped, the connection lives on

  RawClient garbage(port_);
  garbage.Send("\x01\x02 nonsense\r\n\r\n");
  EXPECT_EQ(garbage.Read().status, 400);
  EXPECT_TRUE(garbage.ClosedByServer());

  RawClient huge(port_);
  huge.Send("GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(20000, 'a') + "\r\n\r\n");
  EXPECT_EQ(huge.Read().status, 431);
}

TEST_F(DemoServerTest, SendsALargeFileByteForByte) {
  std::string content(24 * 1024 * 1024 + 7, '\0');
  std::mt19937 random(7);
  for (char& byte : content) byte = static_cast<char>(random());
  Write(root_ / "download" / "big.bin", content);

  RawClient client(port_);
  client.Send(Get("/download/BIG.BIN"));  // names match without regard to case
  Response answer = client.Read();
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.body == content);
}

TEST_F(DemoServerTest, StopEndsIdleConnections) {
  RawClient client(port_);
  client.Send(Get("/history"));
  EXPECT_EQ(client.Read().status, 200);
  server_->Stop();
  EXPECT_EQ(running_.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(client.ClosedByServer());
}

class DemoServerLogTest : public DemoServerTest {
 protected:
  bool Logging() const override { return true; }
};

// The demo adds up what its update fetched from these lines: each names the
// bytes of the body that went out, which a client that hangs up early cuts.
TEST_F(DemoServerLogTest, EachRequestsLineCountsTheBodyBytesSent) {
  Write(root_ / "download" / "big.bin", "");
  const std::uintmax_t big = std::uintmax_t{256} << 20;
  fs::resize_file(root_ / "download" / "big.bin", big);  // sparse: quick to write and read
  {
    RawClient client(port_);
    client.Send("HEAD /download/Tools/Report.dll HTTP/1.1\r\nHost: x\r\n\r\n" +
                Get("/download/Tools/Report.dll") + Get("/download/none"));
    EXPECT_EQ(client.Read(true).status, 200);
    EXPECT_EQ(client.Read().body, "report");
    EXPECT_EQ(client.Read().status, 404);
    RawClient quitter(port_);
    quitter.Send(Get("/download/big.bin"));
    EXPECT_EQ(quitter.Read(true).status, 200);  // its body is on its way
  }  // both hang up; the big file's answer cannot go out whole
  server_->Stop();
  ASSERT_EQ(running_.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  const std::string log = testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("HEAD /download/Tools/Report.dll 200 6 0\n"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /download/Tools/Report.dll 200 6 6\n"), std::string::npos) << log;
  EXPECT_NE(log.find("GET /download/none 404 "), std::string::npos) << log;
  const size_t line = log.find("GET /download/big.bin 200 " + std::to_string(big) + " ");
  ASSERT_NE(line, std::string::npos) << log;
  const std::string sent = log.substr(line + 27 + std::to_string(big).size());
  EXPECT_LT(std::stoull(sent), big) << log;
}

TEST(RequestHeadTest, KeepAliveFollowsVersionAndConnectionTokens) {
  auto parse = [](const std::string& head) {
    return std::get<RequestHead>(ParseRequestHead(head));
  };
  EXPECT_TRUE(parse("GET / HTTP/1.1\r\nHost: a").KeepAlive());
  EXPECT_FALSE(parse("GET / HTTP/1.1\r\nhost: a\r\nConnection: TE, Close").KeepAlive());
  EXPECT_FALSE(parse("GET / HTTP/1.0").KeepAlive());
  EXPECT_TRUE(parse("\r\nGET / HTTP/1.0\nConnection: Keep-Alive").KeepAlive());
  EXPECT_EQ(std::get<HeadError>(ParseRequestHead("GET / HTTP/2.0\r\nHost: a")).status, 505);
  EXPECT_EQ(std::get<HeadError>(ParseRequestHead("GET / HTTP/1.1")).status, 400);  // no Host
}

TEST(TargetTest, DecodesSegmentsAndRefusesEscapes) {
  using Segments = std::vector<std::string>;
  EXPECT_EQ(TargetSegments("/download/a%20b.dll?x=1#y"), (Segments{"download", "a b.dll"}));
  EXPECT_EQ(TargetSegments("http://127.0.0.1:8047/history"), (Segments{"history"}));
  EXPECT_EQ(TargetSegments("/"), Segments{});
  EXPECT_FALSE(TargetSegments("download/x"));
  EXPECT_FALSE(TargetSegments("/download/a%2fb"));
  EXPECT_FALSE(TargetSegments("/download/a\\..\\b"));
  EXPECT_FALSE(TargetSegments("/download/%zz"));
  EXPECT_FALSE(TargetSegments("/download/%2"));
}

}  // namespace
