#pragma once
// The command numbers of the main window's menu and accelerators. The menu, the window's command
// dispatch and the tests use them, so each command keeps one number everywhere.

#include <cstdint>

namespace skelvane::commands {

inline constexpr int32_t kOpenData = 32772;
inline constexpr int32_t kSaveDisplayAsBitmap = 32804;
inline constexpr int32_t kExit = 57665;
inline constexpr int32_t kIncreaseTimeScale = 32784;
inline constexpr int32_t kDecreaseTimeScale = 32785;
inline constexpr int32_t kPageRight = 32786;
inline constexpr int32_t kPageLeft = 32787;
inline constexpr int32_t kPageUp = 32788;
inline constexpr int32_t kPageDown = 32789;
inline constexpr int32_t kToggleFileName = 32812;
inline constexpr int32_t kToggleIcons = 32811;
inline constexpr int32_t kToggleDataAxis = 32810;
inline constexpr int32_t kToggleTimeAxis = 32809;
inline constexpr int32_t kCreateSpikeFile = 32808;
inline constexpr int32_t kExtractionProperties = 32807;
inline constexpr int32_t kAbout = 57664;

}  // namespace skelvane::commands
