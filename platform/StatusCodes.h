#pragma once
// Status codes shared by every subsystem: 0 is success, negatives are our own failures and a
// positive value is an errno from the operating system.

#include <cstdint>

namespace skelvane {

inline constexpr int32_t kStatusOk = 0;
inline constexpr int32_t kStatusFailed = -1;
inline constexpr int32_t kStatusNoData = -603;        // invalid index, past the end, empty, short header, key absent
inline constexpr int32_t kStatusKeyAtEnd = -606;      // header key at the very end of the header
inline constexpr int32_t kStatusCannotCreate = -601;  // reader or time index could not be made
inline constexpr int32_t kStatusAlreadyOpen = -2401;
inline constexpr int32_t kStatusNotOpen = -2402;
inline constexpr int32_t kStatusWrongType = -2403;
inline constexpr int32_t kStatusSourceChanged = -2404;  // a data file shrank or changed under its reader
inline constexpr int32_t kStatusCancelled = -2405;      // the user or a signal stopped the work

}  // namespace skelvane
