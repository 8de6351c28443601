// The handset's own identity, held once: the device ID, the own number and the user
// name that the presence client, signalling, chat and call control send and log. The
// user name and number may change while calls are set up ("My Name", "Update My Info"),
// so readers take copies under the lock. The wire cuts each text to its slot; the record
// keeps what it was given.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace kestrelio {

class OwnIdentity {
 public:
  OwnIdentity() = default;
  OwnIdentity(std::string device_id, std::string phone_number, std::string user_name)
      : device_id_(std::move(device_id)),
        phone_number_(std::move(phone_number)),
        user_name_(std::move(user_name)) {}

  std::string device_id() const {
    std::lock_guard lock(mutex_);
    return device_id_;
  }
  std::string phone_number() const {
    std::lock_guard lock(mutex_);
    return phone_number_;
  }
  std::string user_name() const {
    std::lock_guard lock(mutex_);
    return user_name_;
  }
  // The device ID is read once at start-up, before the network starts.
  void SetDeviceId(std::string_view device_id) {
    std::lock_guard lock(mutex_);
    device_id_ = device_id;
  }
  void SetPhoneNumber(std::string_view number) {
    std::lock_guard lock(mutex_);
    phone_number_ = number;
  }
  void SetUserName(std::string_view name) {
    std::lock_guard lock(mutex_);
    user_name_ = name;
  }

 private:
  mutable std::mutex mutex_;
  std::string device_id_;
  std::string phone_number_;
  std::string user_name_;
};

}  // namespace kestrelio
