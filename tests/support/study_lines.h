// Reading what the study files hold: whole files, CR LF-terminated lines, and the
// ", "-separated columns of a call log line.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kestrelio::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// CR LF-terminated lines of a file.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  const std::string text = ReadFile(path);
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

// Splits a call log line into its ", "-separated columns.
inline std::vector<std::string> Columns(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = line.find(", ", start)) != std::string::npos; start = at + 2) {
    out.push_back(line.substr(start, at - start));
  }
  out.push_back(line.substr(start));
  return out;
}

}  // namespace kestrelio::testing
