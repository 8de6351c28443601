// study_server_load [--uploads N] [--gets N] [--seconds S] [--clients N] [--records N]
//                   [--fresh-connections]
//
// Starts kestrelio-study-server pinned to core 0 with a database in a temporary folder,
// then N client threads (on the other cores) post call-log uploads of --records records
// each (every record new, so each upload inserts them all) until --uploads are done or
// --seconds have passed, and report uploads/s and the latency distribution; then survey
// page GETs the same way. With --fresh-connections every request opens its own TCP
// connection, as the handset's HTTP/1.0 requests do.
#include <curl/curl.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int uploads = 3000;
  int gets = 10000;
  double seconds = 10;
  int clients = 4;
  int records = 100;
  bool fresh_connections = false;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--fresh-connections") {
      options->fresh_connections = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    double value = std::atof(argv[++i]);
    if (value <= 0 || value > 1e7) return false;
    if (arg == "--uploads") {
      options->uploads = static_cast<int>(value);
    } else if (arg == "--gets") {
      options->gets = static_cast<int>(value);
    } else if (arg == "--seconds") {
      options->seconds = value;
    } else if (arg == "--clients") {
      options->clients = std::min(64, static_cast<int>(value));
    } else if (arg == "--records") {
      options->records = std::min(10000, static_cast<int>(value));
    } else {
      return false;
    }
  }
  return true;
}

// The server as a child process on core 0, in its own temporary folder.
class SpawnedServer {
 public:
  SpawnedServer() {
    char folder[] = "/tmp/kestrelio-study-load-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    folder_ = folder;
    std::string log = folder_ + "/stdout.log";
    std::vector<std::string> args = {
        "taskset", "-c", "0",    KESTRELIO_STUDY_SERVER_BIN, "--bind", "127.0.0.1",
        "--port",  "0",  "--db", folder_ + "/study.db"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (posix_spawnp(&pid_, "taskset", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 500 && port_ == 0 && pid_ > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::ifstream in(log);
      std::stringstream text;
      text << in.rdbuf();
      size_t at = text.str().find("\"port\":");
      if (at != std::string::npos) port_ = std::atoi(text.str().c_str() + at + 7);
    }
  }
  ~SpawnedServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  int port() const { return port_; }
  // User plus system CPU seconds the server has used so far.
  double CpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = stat.rfind(')');
    if (at == std::string::npos) return 0;
    std::istringstream fields(stat.substr(at + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::atof(field.c_str());  // utime, stime
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

 private:
  std::string folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

size_t Collect(char* data, size_t size, size_t count, void* reply) {
  static_cast<std::string*>(reply)->append(data, size * count);
  return size * count;
}

std::string CallRecord(int upload, int record) {
  char line[512];
  std::snprintf(line, sizeof line,
                "0123456789ABCDEF%04d, OUTGOING, null, Ann, 01234567890, 1.2.3.4, 10.0.0.1, "
                "note, Peer, 09876543210, 5.6.7.8, 10.0.0.2, %d, 2026-01-02 10:00:00, "
                "2026-01-02 10:01:05, 11.500000, 10.250000, 3, 12345, %d, 5, 51.1234, -0.1234, "
                "0.0000, 6, 51.1240, -0.1230, 1.5000, 80, 75\r\n",
                upload % 10000, upload, record);
  return line;
}

struct Run {
  int done = 0;
  int failed = 0;
  double seconds = 0;
  std::vector<double> latencies_ms;
};

// Runs `total` requests over the clients, stopping early at the time limit.
template <typename Prepare>
Run Drive(const Options& options, int total, Prepare prepare) {
  std::atomic<int> next{0};
  std::atomic<int> failed{0};
  std::vector<std::vector<double>> latencies(static_cast<size_t>(options.clients));
  auto deadline = Clock::now() + std::chrono::duration<double>(options.seconds);
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < options.clients; ++c) {
    threads.emplace_back([&, c] {
      std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
      std::string body;
      std::string url;
      std::string reply;
      for (;;) {
        int index = next.fetch_add(1);
        if (index >= total || Clock::now() >= deadline) break;
        bool post = prepare(index, &url, &body);
        reply.clear();
        curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply);
        curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
        curl_easy_setopt(curl.get(), CURLOPT_FORBID_REUSE, options.fresh_connections ? 1L : 0L);
        if (post) {
          curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
          curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE_LARGE,
                           static_cast<curl_off_t>(body.size()));
        } else {
          curl_easy_setopt(curl.get(), CURLOPT_HTTPGET, 1L);
        }
        auto sent = Clock::now();
        CURLcode result = curl_easy_perform(curl.get());
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        bool ok = result == CURLE_OK && (post ? reply.rfind("success", 0) == 0 : !reply.empty());
        if (!ok && failed.fetch_add(1) == 0) {
          std::fprintf(stderr, "first failure: %s, reply \"%.80s\"\n", curl_easy_strerror(result),
                       reply.c_str());
        }
        latencies[static_cast<size_t>(c)].push_back(ms);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  Run run;
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  for (auto& list : latencies) {
    run.latencies_ms.insert(run.latencies_ms.end(), list.begin(), list.end());
  }
  run.done = static_cast<int>(run.latencies_ms.size());
  run.failed = failed.load();
  std::sort(run.latencies_ms.begin(), run.latencies_ms.end());
  return run;
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  size_t at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(at, sorted.size() - 1)];
}

// On a shared machine wall time says little about the server; its CPU time per request
// says what one core of its own would do.
void Report(const char* what, const Run& run, double server_cpu_s) {
  std::printf("%s: %d in %.2f s = %.0f/s, failed %d, latency ms p50 %.2f p99 %.2f max %.2f\n", what,
              run.done, run.seconds, run.done / run.seconds, run.failed,
              Percentile(run.latencies_ms, 0.5), Percentile(run.latencies_ms, 0.99),
              run.latencies_ms.empty() ? 0.0 : run.latencies_ms.back());
  if (server_cpu_s > 0) {
    std::printf("  server CPU %.2f s: %.3f ms a request, %.0f/s per CPU second\n", server_cpu_s,
                1000 * server_cpu_s / run.done, run.done / server_cpu_s);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: study_server_load [--uploads N] [--gets N] [--seconds S] [--clients N] "
                 "[--records N] [--fresh-connections]\n");
    return 2;
  }
  curl_global_init(CURL_GLOBAL_DEFAULT);
  SpawnedServer server;
  if (server.port() == 0) {
    std::fprintf(stderr, "study_server_load: the server did not start\n");
    return 1;
  }
  // The clients keep off the server's core where there is another.
  cpu_set_t others;
  CPU_ZERO(&others);
  for (unsigned cpu = 1; cpu < std::thread::hardware_concurrency(); ++cpu) CPU_SET(cpu, &others);
  if (CPU_COUNT(&others) > 0) sched_setaffinity(0, sizeof others, &others);

  std::string base = "http://127.0.0.1:" + std::to_string(server.port());
  std::printf("server on core 0, %d clients, %d records per upload%s\n", options.clients,
              options.records, options.fresh_connections ? ", a new connection per request" : "");
  double cpu_before = server.CpuSeconds();
  Run uploads =
      Drive(options, options.uploads, [&](int index, std::string* url, std::string* body) {
        *url = base + "/research/kestrelio/fstd/calllogprocess.php";
        *body = "passwd=qorvantex&data=";
        for (int r = 0; r < options.records; ++r) *body += CallRecord(index, r);
        return true;
      });
  double cpu_between = server.CpuSeconds();
  Report("uploads", uploads, cpu_between - cpu_before);
  Run gets = Drive(options, options.gets, [&](int, std::string* url, std::string*) {
    *url = base +
           "/research/kestrelio/fstd/survey.php?passwd=qorvantex&id=0123456789ABCDEF0123"
           "&trig=after_call";
    return false;
  });
  Report("survey GETs", gets, server.CpuSeconds() - cpu_between);
  curl_global_cleanup();
  return uploads.failed == 0 && gets.failed == 0 ? 0 : 1;
}
