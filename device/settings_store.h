// The handset's persistent settings: registry-style keys and values kept in one INI file
// per profile (<profile>/settings.ini). Each section is a key path such as
// "HKEY_CURRENT_USER/SOFTWARE/Kestrelio"; names and key paths compare without regard
// to case, as the registry does.
//
// A corrupt file is never used as it stands and never silently overwritten: it is
// renamed to "<file>.corrupt" with a diagnostic line, and every value that still
// parses is kept (SalvageSettingsText) and written to a fresh file; the user name and
// phone number are looked for even outside their damaged section. An
// unreadable file leaves the store inaccessible (reads give nothing, writes fail) for
// the run. The file is re-read when it changes on disk, so a user or a test can flip
// the silent-mode or power values of a running handset.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrelio {

inline constexpr std::string_view kKestrelioKey = "HKEY_CURRENT_USER/SOFTWARE/Kestrelio";
inline constexpr std::string_view kPowerKey =
    "HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/Power";
inline constexpr std::string_view kShellOverridesKey =
    "HKEY_CURRENT_USER/ControlPanel/Notifications/ShellOverrides";

// Larger files are treated as corrupt; real ones hold a handful of lines.
inline constexpr int64_t kMaxSettingsFileBytes = 64 * 1024;

enum class SettingsLoad {
  kLoaded,      // the file was read
  kMissing,     // no file yet: empty store, created on the first write
  kCorrupt,     // the file was moved aside; empty store
  kUnreadable,  // the file exists but cannot be read or moved aside; store inaccessible
};

class SettingsStore {
 public:
  explicit SettingsStore(std::string path);
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  SettingsLoad load_result() const;
  const std::string& path() const { return path_; }
  // False when the file can be neither read nor replaced: the "key cannot be opened".
  bool Accessible() const;

  std::optional<std::string> GetString(std::string_view key, std::string_view name);
  // A DWORD: decimal or 0x-prefixed hexadecimal text that fits 32 bits; anything else
  // counts as unreadable.
  std::optional<uint32_t> GetDword(std::string_view key, std::string_view name);

  // Each write persists the whole file at once (temporary file, then rename). False
  // with a diagnostic line when the file cannot be written.
  bool SetString(std::string_view key, std::string_view name, std::string_view value);
  bool SetDword(std::string_view key, std::string_view name, uint32_t value);
  // Creates an empty key when missing, as opening a registry key for writing does.
  bool CreateKey(std::string_view key);

 private:
  struct CaseLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  using Section = std::map<std::string, std::string, CaseLess>;
  using Sections = std::map<std::string, Section, CaseLess>;

  void LoadLocked();
  void ReloadIfChangedLocked();
  bool SaveLocked();
  bool StampChanged(const struct stat& info) const;

  const std::string path_;
  mutable std::mutex mutex_;
  Sections sections_;
  SettingsLoad load_result_ = SettingsLoad::kMissing;
  bool accessible_ = true;
  // Identifies the file version last read or written, to notice outside edits.
  bool have_stamp_ = false;
  int64_t stamp_mtime_ns_ = 0;
  int64_t stamp_size_ = 0;
  uint64_t stamp_inode_ = 0;
};

// One section of a parsed settings file, in file order.
struct SettingsSection {
  std::string key;
  std::vector<std::pair<std::string, std::string>> values;
};
struct SettingsParseError {
  int line = 0;
  std::string reason;
};
// Parses settings text. On failure returns false and names the first bad line in
// `error`. Exposed for tests and the fuzzer.
bool ParseSettingsText(std::string_view text, std::vector<SettingsSection>& sections,
                       SettingsParseError& error);
// What can be kept of a corrupt settings text: every line that parses on its own, in
// the section above it. A line that does not parse is dropped (counted in
// `dropped_lines`), and so are values under a section header that does not parse, or
// before any, except the user name and phone number, which go to kKestrelioKey when it
// does not hold them already: they are the values the user would miss most.
std::vector<SettingsSection> SalvageSettingsText(std::string_view text, int& dropped_lines);
// Writes `value` as it must appear after "name=" so that parsing gives it back.
std::string EscapeSettingsValue(std::string_view value);

}  // namespace kestrelio
