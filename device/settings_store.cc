#include "device/settings_store.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool Unescape(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case 's':
        out += ' ';
        break;
      default:
        return false;
    }
  }
  return true;
}

int64_t MtimeNs(const struct stat& info) {
  return static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

// Reads the whole file when it is a regular file of sane size. Returns 0, or an errno
// value (EFBIG for an oversized file).
int ReadWholeFile(const std::string& path, std::string& text, struct stat& info) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int result = 0;
  if (::fstat(fd, &info) != 0) {
    result = errno;
  } else if (!S_ISREG(info.st_mode)) {
    result = EISDIR;
  } else {
    // An oversized file is read only up to the limit, for what can be salvaged of it.
    if (info.st_size > kMaxSettingsFileBytes) result = EFBIG;
    text.assign(static_cast<size_t>(std::min<int64_t>(info.st_size, kMaxSettingsFileBytes)), '\0');
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::read(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        result = errno;
        text.clear();
        break;
      }
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    text.resize(done);
  }
  ::close(fd);
  return result;
}

}  // namespace

std::string EscapeSettingsValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    bool at_edge = i == 0 || i + 1 == value.size();
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case ' ':
        out += at_edge ? "\\s" : " ";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

// One line of a settings text, parsed on its own.
struct SettingsLine {
  enum Kind { kBlank, kSection, kValue, kBad } kind = kBlank;
  std::string key_or_name;  // the section's key, or the value's name
  std::string value;
  const char* reason = "";  // for kBad
};

SettingsLine ParseSettingsLine(std::string_view raw) {
  SettingsLine out;
  auto bad = [&](const char* reason) {
    out.kind = SettingsLine::kBad;
    out.reason = reason;
    return out;
  };
  if (raw.find('\0') != std::string_view::npos) return bad("NUL byte");
  std::string_view line = Trim(raw);
  if (line.empty() || line.front() == ';' || line.front() == '#') return out;
  if (line.front() == '[') {
    if (line.back() != ']') return bad("section header without ']'");
    std::string_view key = Trim(line.substr(1, line.size() - 2));
    if (key.empty()) return bad("empty section name");
    // Registry paths are often written with backslashes; both spellings are one key.
    out.kind = SettingsLine::kSection;
    out.key_or_name = std::string(key);
    for (char& c : out.key_or_name) {
      if (c == '\\') c = '/';
    }
    return out;
  }
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return bad("line is neither a section nor name=value");
  std::string_view name = Trim(line.substr(0, equals));
  if (name.empty()) return bad("value without a name");
  if (!Unescape(Trim(line.substr(equals + 1)), out.value)) return bad("bad escape in value");
  out.kind = SettingsLine::kValue;
  out.key_or_name = std::string(name);
  return out;
}

// Calls `each(line)` for every line of `text`.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  while (!text.empty()) {
    size_t end = text.find('\n');
    each(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
}

bool IsIdentityName(const std::string& name) {
  return ::strcasecmp(name.c_str(), "UserName") == 0 ||
         ::strcasecmp(name.c_str(), "PhoneNumber") == 0;
}

}  // namespace

bool ParseSettingsText(std::string_view text, std::vector<SettingsSection>& sections,
                       SettingsParseError& error) {
  sections.clear();
  int line_number = 0;
  bool ok = true;
  ForEachLine(text, [&](std::string_view raw) {
    if (!ok) return;
    ++line_number;
    SettingsLine line = ParseSettingsLine(raw);
    if (line.kind == SettingsLine::kValue && sections.empty()) {
      line.kind = SettingsLine::kBad;
      line.reason = "value before the first section";
    }
    switch (line.kind) {
      case SettingsLine::kBlank:
        return;
      case SettingsLine::kSection:
        sections.push_back({std::move(line.key_or_name), {}});
        return;
      case SettingsLine::kValue:
        sections.back().values.emplace_back(std::move(line.key_or_name), std::move(line.value));
        return;
      case SettingsLine::kBad:
        error.line = line_number;
        error.reason = line.reason;
        ok = false;
        return;
    }
  });
  return ok;
}

std::vector<SettingsSection> SalvageSettingsText(std::string_view text, int& dropped_lines) {
  std::vector<SettingsSection> sections;
  std::vector<std::pair<std::string, std::string>> orphans;  // user name, phone number
  dropped_lines = 0;
  bool in_section = false;  // the last header parsed
  ForEachLine(text, [&](std::string_view raw) {
    SettingsLine line = ParseSettingsLine(raw);
    switch (line.kind) {
      case SettingsLine::kBlank:
        return;
      case SettingsLine::kSection:
        sections.push_back({std::move(line.key_or_name), {}});
        in_section = true;
        return;
      case SettingsLine::kValue:
        if (in_section) {
          sections.back().values.emplace_back(std::move(line.key_or_name), std::move(line.value));
        } else if (IsIdentityName(line.key_or_name)) {
          orphans.emplace_back(std::move(line.key_or_name), std::move(line.value));
        } else {
          ++dropped_lines;
        }
        return;
      case SettingsLine::kBad:
        // After a damaged header the values below it belong to no known section.
        if (!Trim(raw).empty() && Trim(raw).front() == '[') in_section = false;
        ++dropped_lines;
        return;
    }
  });
  // Orphaned identity values go to their key unless a sound section of it has them.
  SettingsSection kestrelio{std::string(kKestrelioKey), {}};
  for (auto& [name, value] : orphans) {
    bool known = false;
    for (const SettingsSection& section : sections) {
      if (::strcasecmp(section.key.c_str(), kestrelio.key.c_str()) != 0) continue;
      for (const auto& kept : section.values) {
        if (::strcasecmp(kept.first.c_str(), name.c_str()) == 0) known = true;
      }
    }
    if (!known) kestrelio.values.emplace_back(std::move(name), std::move(value));
  }
  if (!kestrelio.values.empty()) sections.insert(sections.begin(), std::move(kestrelio));
  return sections;
}

bool SettingsStore::CaseLess::operator()(std::string_view a, std::string_view b) const {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int order = ::strncasecmp(a.data(), b.data(), n);
  if (order != 0) return order < 0;
  return a.size() < b.size();
}

SettingsStore::SettingsStore(std::string path) : path_(std::move(path)) {
  std::lock_guard lock(mutex_);
  LoadLocked();
  // The recovered values go into a sound file beside the one kept aside.
  if (load_result_ == SettingsLoad::kCorrupt && !sections_.empty()) SaveLocked();
}

SettingsLoad SettingsStore::load_result() const {
  std::lock_guard lock(mutex_);
  return load_result_;
}

bool SettingsStore::Accessible() const {
  std::lock_guard lock(mutex_);
  return accessible_;
}

bool SettingsStore::StampChanged(const struct stat& info) const {
  return !have_stamp_ || MtimeNs(info) != stamp_mtime_ns_ || info.st_size != stamp_size_ ||
         static_cast<uint64_t>(info.st_ino) != stamp_inode_;
}

void SettingsStore::LoadLocked() {
  std::string text;
  struct stat info {};
  int read_error = ReadWholeFile(path_, text, info);
  if (read_error == ENOENT) {
    sections_.clear();
    load_result_ = SettingsLoad::kMissing;
    accessible_ = true;
    have_stamp_ = false;
    return;
  }
  std::vector<SettingsSection> parsed;
  SettingsParseError parse_error;
  if (read_error == 0 && ParseSettingsText(text, parsed, parse_error)) {
    sections_.clear();
    for (auto& section : parsed) {
      Section& target = sections_[section.key];
      for (auto& [name, value] : section.values) target[name] = std::move(value);
    }
    load_result_ = SettingsLoad::kLoaded;
    accessible_ = true;
    have_stamp_ = true;
    stamp_mtime_ns_ = MtimeNs(info);
    stamp_size_ = info.st_size;
    stamp_inode_ = static_cast<uint64_t>(info.st_ino);
    return;
  }
  // Not usable. The user's file is kept under another name before anything replaces it.
  if (read_error == EACCES || read_error == EISDIR || read_error == EPERM || read_error == EIO) {
    Diag("settings file %s cannot be read (%s); using defaults, settings are not saved this run",
         path_.c_str(), std::strerror(read_error));
    load_result_ = SettingsLoad::kUnreadable;
    accessible_ = false;
    return;
  }
  if (read_error == EFBIG) {
    Diag("settings file %s is corrupt (larger than %lld bytes)", path_.c_str(),
         static_cast<long long>(kMaxSettingsFileBytes));
  } else if (read_error != 0) {
    Diag("settings file %s is corrupt (%s)", path_.c_str(), std::strerror(read_error));
  } else {
    Diag("settings file %s is corrupt (line %d: %s)", path_.c_str(), parse_error.line,
         parse_error.reason.c_str());
  }
  std::string aside = path_ + ".corrupt";
  if (std::rename(path_.c_str(), aside.c_str()) != 0) {
    Diag(
        "cannot move corrupt settings file to %s (%s); using defaults, settings are not saved "
        "this run",
        aside.c_str(), std::strerror(errno));
    load_result_ = SettingsLoad::kUnreadable;
    accessible_ = false;
    return;
  }
  // What still parses is kept: a damaged line must not cost the user their number.
  int dropped = 0;
  std::vector<SettingsSection> salvaged = SalvageSettingsText(text, dropped);
  sections_.clear();
  size_t kept = 0;
  for (auto& section : salvaged) {
    Section& target = sections_[section.key];
    for (auto& [name, value] : section.values) {
      target[name] = std::move(value);
      ++kept;
    }
  }
  Diag("kept the corrupt settings file as %s; %zu values recovered, %d lines dropped",
       aside.c_str(), kept, dropped);
  load_result_ = SettingsLoad::kCorrupt;
  accessible_ = true;
  have_stamp_ = false;
}

void SettingsStore::ReloadIfChangedLocked() {
  if (!accessible_) return;
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    // Removed from outside: keep what is in memory; the next write recreates it.
    return;
  }
  if (!StampChanged(info)) return;
  Sections previous = sections_;
  LoadLocked();
  if (load_result_ == SettingsLoad::kLoaded) return;
  // A file spoiled from outside is moved aside by LoadLocked; the values this run knew
  // stay in force rather than silently turning into defaults, and what could be
  // recovered of the spoiled file is laid over them and saved.
  if (load_result_ == SettingsLoad::kCorrupt) {
    for (auto& [key, values] : sections_) {
      for (auto& [name, value] : values) previous[key][name] = std::move(value);
    }
    sections_ = std::move(previous);
    SaveLocked();
    return;
  }
  sections_ = std::move(previous);
}

bool SettingsStore::SaveLocked() {
  if (!accessible_) return false;
  std::string text = "; Kestrelio settings: one section per registry key.\n";
  for (const auto& [key, values] : sections_) {
    text += '[';
    text += key;
    text += "]\n";
    for (const auto& [name, value] : values) {
      text += name;
      text += '=';
      text += EscapeSettingsValue(value);
      text += '\n';
    }
  }
  std::string temporary = path_ + ".tmp";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    Diag("cannot write settings file %s (%s)", temporary.c_str(), std::strerror(errno));
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (!ok || std::rename(temporary.c_str(), path_.c_str()) != 0) {
    Diag("cannot write settings file %s (%s)", path_.c_str(), std::strerror(errno));
    ::unlink(temporary.c_str());
    return false;
  }
  struct stat info {};
  if (::stat(path_.c_str(), &info) == 0) {
    have_stamp_ = true;
    stamp_mtime_ns_ = MtimeNs(info);
    stamp_size_ = info.st_size;
    stamp_inode_ = static_cast<uint64_t>(info.st_ino);
  }
  return true;
}

std::optional<std::string> SettingsStore::GetString(std::string_view key, std::string_view name) {
  std::lock_guard lock(mutex_);
  ReloadIfChangedLocked();
  if (!accessible_) return std::nullopt;
  auto section = sections_.find(key);
  if (section == sections_.end()) return std::nullopt;
  auto value = section->second.find(name);
  if (value == section->second.end()) return std::nullopt;
  return value->second;
}

std::optional<uint32_t> SettingsStore::GetDword(std::string_view key, std::string_view name) {
  std::optional<std::string> text = GetString(key, name);
  if (!text || text->empty()) return std::nullopt;
  std::string_view digits = *text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  uint64_t value = 0;
  for (char c : digits) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

bool SettingsStore::SetString(std::string_view key, std::string_view name, std::string_view value) {
  std::lock_guard lock(mutex_);
  ReloadIfChangedLocked();
  if (!accessible_) return false;
  sections_[std::string(key)][std::string(name)] = std::string(value);
  return SaveLocked();
}

bool SettingsStore::SetDword(std::string_view key, std::string_view name, uint32_t value) {
  return SetString(key, name, std::to_string(value));
}

bool SettingsStore::CreateKey(std::string_view key) {
  std::lock_guard lock(mutex_);
  ReloadIfChangedLocked();
  if (!accessible_) return false;
  if (sections_.find(key) != sections_.end()) return true;
  sections_[std::string(key)];
  return SaveLocked();
}

}  // namespace kestrelio
