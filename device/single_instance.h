// One running handset per profile. The first instance listens on a local socket whose
// name is derived from the profile folder; a second start connects to it, asks it to
// raise its window and then exits with code 0.
//
// Must be used on a thread that runs a Qt event loop (the GUI thread): the raise
// request is delivered there.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace kestrelio {

enum class InstanceClaim {
  kFirst,         // this process is the profile's instance and now listens
  kOtherRunning,  // another instance runs and was asked to raise its window
  kError,         // neither: the socket can be neither served nor reached (diagnostic)
};

class SingleInstance {
 public:
  explicit SingleInstance(const std::string& profile_dir);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // `on_raise_request` runs on this thread's event loop whenever a later start asks.
  InstanceClaim Claim(std::function<void()> on_raise_request);

  // The local socket name for a profile folder (stable, safe as a file name).
  static std::string ServerNameFor(const std::string& profile_dir);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrelio
