#include "call/notice_queue.h"

#include <algorithm>

#include "base/diag.h"

namespace kestrelio {
namespace {

template <size_t N>
void CopyText(std::string_view from, std::array<char, N>& to) {
  const size_t n = std::min(from.size(), N - 1);
  std::copy_n(from.begin(), n, to.begin());
  to[n] = '\0';
}

}  // namespace

bool NoticeQueue::Push(std::string_view text, std::string_view caption) {
  {
    std::lock_guard lock(mutex_);
    if (count_ < kCapacity) {
      Notice& slot = slots_[(head_ + count_) % kCapacity];
      CopyText(text, slot.text);
      CopyText(caption, slot.caption);
      ++count_;
      return true;
    }
    ++dropped_;
  }
  Diag("notice \"%.*s\" dropped: %zu notices wait to be shown", static_cast<int>(text.size()),
       text.data(), kCapacity);
  return false;
}

bool NoticeQueue::Pop(Notice& out) {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return false;
  out = slots_[head_];
  head_ = (head_ + 1) % kCapacity;
  --count_;
  return true;
}

uint32_t NoticeQueue::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace kestrelio
