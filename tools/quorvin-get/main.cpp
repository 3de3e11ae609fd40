// quorvin-get [--out-dir DIR] [--abort-at N] URL...
//
// Fetches each URL in turn with one HTTP client (so connection reuse shows),
// printing one line per work event ("begin <max>", "work <count>", "end") and
// then per URL "ok <status> <body bytes>" or "error <class> <message>" with
// CR and LF in the message written as \r and \n.  With --out-dir the i-th
// body (from 1) streams into DIR/body-<i> as it arrives, so memory does not
// grow with the body; the file is left also for a failed one, with the part
// that arrived.  Without it each body is kept in memory.
// With --abort-at N the client is disconnected from the first work event of
// each transfer whose count is at least N.  Exit status 0 when every URL succeeded.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/FileStream.h"
#include "http/HttpClient.h"

namespace {

struct Options {
  std::string outDir;
  int64_t abortAt = -1;
  std::vector<std::string> urls;
};

[[noreturn]] void Usage(const char* problem) {
  std::fprintf(stderr,
               "quorvin-get: %s\nusage: quorvin-get [--out-dir DIR] [--abort-at N] URL...\n",
               problem);
  std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--out-dir" || argument == "--abort-at") {
      if (i + 1 >= argc) Usage(("missing value for " + argument).c_str());
      std::string value = argv[++i];
      if (argument == "--out-dir") {
        options.outDir = value;
        continue;
      }
      char* end = nullptr;
      errno = 0;
      options.abortAt = std::strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || options.abortAt < 0) {
        Usage("--abort-at needs a non-negative number");
      }
    } else if (argument.rfind("--", 0) == 0) {
      Usage(("unknown option " + argument).c_str());
    } else {
      options.urls.push_back(argument);
    }
  }
  if (options.urls.empty()) Usage("no URL given");
  return options;
}

std::string Escaped(const std::string& message) {
  std::string out;
  for (char c : message) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

// One GET into the stream, reported as its "ok" or "error" line.
bool Fetch(THttpClient& client, const std::string& url, TStream& body) {
  try {
    client.Get(url, body);
    std::printf("ok %d %lld\n", client.ResponseCode(), static_cast<long long>(body.Size()));
    return true;
  } catch (const Exception& error) {
    std::printf("error %s %s\n", error.ClassName(), Escaped(error.Message()).c_str());
  } catch (const std::bad_alloc&) {
    std::printf("error EOutOfMemory Out of memory\n");
  }
  return false;
}

// Fetches into DIR/body-<i>; false when the URL failed or the file could not
// be written.
bool FetchToFile(THttpClient& client, const std::string& url, const std::string& path) {
  TFileStream body(path);
  bool ok = Fetch(client, url, body);
  try {
    body.Create();  // a failed or empty body still leaves its file
    body.Close();
  } catch (const Exception& error) {
    std::fprintf(stderr, "quorvin-get: cannot write %s: %s\n", path.c_str(),
                 error.Message().c_str());
    ok = false;
  }
  return ok;
}

// `aborted` tells whether the running transfer was already cut off.
void AttachEvents(THttpClient& client, const Options& options, bool& aborted) {
  client.OnWorkBegin = [](THttpClient*, TWorkMode, int64_t max) {
    std::printf("begin %lld\n", static_cast<long long>(max));
  };
  client.OnWork = [&options, &aborted](THttpClient* sender, TWorkMode, int64_t count) {
    std::printf("work %lld\n", static_cast<long long>(count));
    if (options.abortAt >= 0 && count >= options.abortAt && !aborted) {
      aborted = true;
      sender->Disconnect();
    }
  };
  client.OnWorkEnd = [](THttpClient*, TWorkMode) { std::printf("end\n"); };
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  THttpClient client;
  bool aborted = false;
  AttachEvents(client, options, aborted);
  bool allOk = true;
  for (size_t i = 0; i < options.urls.size(); ++i) {
    aborted = false;
    if (options.outDir.empty()) {
      TMemoryStream body;
      allOk = Fetch(client, options.urls[i], body) && allOk;
    } else {
      const std::string path = options.outDir + "/body-" + std::to_string(i + 1);
      allOk = FetchToFile(client, options.urls[i], path) && allOk;
    }
  }
  std::fflush(stdout);
  return allOk ? 0 : 1;
}
