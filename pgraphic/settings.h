// Process-wide settings of the image library (display gamma, size limit, the
// per-format options) that any thread may read while another changes them.
#pragma once

#include <atomic>
#include <mutex>
#include <type_traits>

namespace pgraphic {

// One setting: reads and writes are indivisible, so a loader on a worker thread
// and a dialog on the UI thread never race on it. It reads and assigns like a
// plain value. Readers and writers take the value once when a call starts and
// work with that copy, so one file is written with one set of options even if
// a setting changes half-way.
template <class T>
class TPGSetting {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  constexpr TPGSetting(T value) noexcept : value_(value) {}  // NOLINT: reads like a value
  TPGSetting(const TPGSetting&) = delete;
  TPGSetting& operator=(const TPGSetting&) = delete;

  TPGSetting& operator=(T value) noexcept {
    Store(value);
    return *this;
  }
  operator T() const noexcept { return Load(); }  // NOLINT: reads like a value

  T Load() const noexcept {
    if constexpr (kLockFree) {
      return value_.load(std::memory_order_relaxed);
    } else {
      std::lock_guard<std::mutex> hold(lock_);
      return value_;
    }
  }
  void Store(T value) noexcept {
    if constexpr (kLockFree) {
      value_.store(value, std::memory_order_relaxed);
    } else {
      std::lock_guard<std::mutex> hold(lock_);
      value_ = value;
    }
  }

 private:
  // Types the processor cannot store in one step (long double) sit under a lock.
  static constexpr bool kLockFree = std::atomic<T>::is_always_lock_free;
  struct TNoLock {};
  std::conditional_t<kLockFree, std::atomic<T>, T> value_;
  mutable std::conditional_t<kLockFree, TNoLock, std::mutex> lock_;
};

// Gives a setting a value for the life of a scope and puts the previous value
// back at its end, also when the scope is left by an exception (a failed test
// assertion included).
template <class T>
class TPGSettingScope {
 public:
  explicit TPGSettingScope(TPGSetting<T>& setting) : setting_(setting), saved_(setting.Load()) {}
  template <class V>
  TPGSettingScope(TPGSetting<T>& setting, V value) : TPGSettingScope(setting) {
    setting_ = static_cast<T>(value);
  }
  ~TPGSettingScope() { setting_ = saved_; }
  TPGSettingScope(const TPGSettingScope&) = delete;
  TPGSettingScope& operator=(const TPGSettingScope&) = delete;

 private:
  TPGSetting<T>& setting_;
  T saved_;
};

template <class T>
TPGSettingScope(TPGSetting<T>&) -> TPGSettingScope<T>;
template <class T, class V>
TPGSettingScope(TPGSetting<T>&, V) -> TPGSettingScope<T>;

}  // namespace pgraphic
