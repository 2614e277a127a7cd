// TqdLoginThrottle: slows password guessing. The scrambling key a client
// logs in with has only 259200 values, so a client that tries one key after
// another would get in sooner or later; the server cannot make the key
// space larger, so it makes each try slow. After a failed login, the next
// login answer for the same user name, or from the same address, waits
// until a moment that moves further out with each failure (250 ms, then
// doubling up to 32 s). Every login is held so, not only the failures:
// otherwise a quick answer would tell a guesser that the key was right.
// What it remembers is bounded, and a key is forgotten ten minutes after
// its last failure.
// Thread rules: the serving thread. Ticks are GetTickCount() values.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qd {

inline constexpr uint32_t kLoginDelayFirstMs = 250;
inline constexpr uint32_t kLoginDelayMaxMs = 32000;
inline constexpr uint32_t kLoginMemoryMs = 10 * 60 * 1000;
inline constexpr size_t kMaxThrottledKeys = 16384;  // per kind (user names, addresses)

class TqdLoginThrottle {
 public:
  // The wait after `failures` failures in a row: 0, then 250 ms doubling up
  // to kLoginDelayMaxMs.
  static uint32_t DelayAfter(int failures);

  // True when a login of `user` from `address` may be answered at `now`.
  bool MayAnswer(const std::string& user, const std::string& address, uint32_t now) const;
  // A login of `user` from `address` failed at `now`.
  void Failed(const std::string& user, const std::string& address, uint32_t now);
  // Forgets keys whose last failure is kLoginMemoryMs old.
  void Forget(uint32_t now);
  size_t Keys() const { return users_.size() + addresses_.size(); }

 private:
  struct Entry {
    int Failures = 0;
    uint32_t NotBefore = 0;
    uint32_t LastFailure = 0;
  };
  using Table = std::map<std::string, Entry>;
  static bool Free(const Table& table, const std::string& key, uint32_t now);
  static void Note(Table& table, const std::string& key, uint32_t now);

  Table users_;      // by lower-case user name
  Table addresses_;
};

}  // namespace qd
