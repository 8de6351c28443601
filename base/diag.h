// Diagnostic output: developer-facing lines, never shown to the user.
//
// Every line goes to stderr and, once a handset has opened its profile, to
// <profile>/diagnostic.log, prefixed with local time and the calling thread's name.
#pragma once

#include <string>

namespace kestrelio {

// printf-style; a trailing newline in the format is dropped so each call is one line.
void Diag(const char* format, ...) __attribute__((format(printf, 1, 2)));

// While alive, diagnostic lines are also appended to `path`. Only one sink is active at
// a time; the newest scope wins and the previous one is restored when it ends. The
// logger is the one process-wide object: lines from any thread, any module, end here.
class DiagFileScope {
 public:
  explicit DiagFileScope(const std::string& path);
  ~DiagFileScope();
  DiagFileScope(const DiagFileScope&) = delete;
  DiagFileScope& operator=(const DiagFileScope&) = delete;

  struct State;  // the open file; opaque outside diag.cc

 private:
  State* previous_;
  State* state_;
};

// Suppresses stderr output while alive (the file sink still receives lines). Used by
// benchmarks and fuzzers whose inputs produce diagnostics by the million.
class DiagQuietScope {
 public:
  DiagQuietScope();
  ~DiagQuietScope();
  DiagQuietScope(const DiagQuietScope&) = delete;
  DiagQuietScope& operator=(const DiagQuietScope&) = delete;

 private:
  bool previous_;
};

// Names the calling thread for diagnostics and debuggers (at most 15 characters).
void SetThreadName(const char* name);

}  // namespace kestrelio
