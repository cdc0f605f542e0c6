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

// Commands beyond the original menus: further items and keys without an item.
inline constexpr int32_t kShowWholeRecording = 33001;
inline constexpr int32_t kTimeLabelsMicroseconds = 33002;
inline constexpr int32_t kTimeLabelsSeconds = 33003;
inline constexpr int32_t kTimeLabelsClock = 33004;
inline constexpr int32_t kIncreaseAmplitude = 33005;
inline constexpr int32_t kDecreaseAmplitude = 33006;
inline constexpr int32_t kResetAmplitude = 33007;
inline constexpr int32_t kDataAxisMicrovolts = 33008;
inline constexpr int32_t kKeysAndMouse = 33009;
inline constexpr int32_t kGoToStart = 33010;
inline constexpr int32_t kGoToEnd = 33011;
inline constexpr int32_t kPageTimeBack = 33012;
inline constexpr int32_t kPageTimeForward = 33013;
inline constexpr int32_t kClearRecentFiles = 33014;
inline constexpr int32_t kKeepSummaries = 33015;
// Going to a time, measuring and fitting the plots.
inline constexpr int32_t kGoToTime = 33030;
inline constexpr int32_t kFitPlotsToWindow = 33031;
inline constexpr int32_t kAutoscaleAll = 33032;
inline constexpr int32_t kScaleBars = 33033;
inline constexpr int32_t kCloseAll = 33034;
inline constexpr int32_t kCursorA = 33035;
inline constexpr int32_t kCursorB = 33036;
inline constexpr int32_t kRemoveCursors = 33037;
// Sessions and markers.
inline constexpr int32_t kSaveSession = 33040;
inline constexpr int32_t kOpenSession = 33041;
inline constexpr int32_t kMarkerAllPlots = 33042;
inline constexpr int32_t kMarkerOnePlot = 33043;
inline constexpr int32_t kPreviousMarker = 33044;
inline constexpr int32_t kNextMarker = 33045;
inline constexpr int32_t kMarkersPanel = 33046;
// Display > Filter: the band filter of every plot.
inline constexpr int32_t kFilterNone = 33050;
inline constexpr int32_t kFilterSpike = 33051;
inline constexpr int32_t kFilterLfp = 33052;
inline constexpr int32_t kFilterCustom = 33053;
/// File > Recent Files: the n-th remembered set is kRecentFilesFirst + n.
inline constexpr int32_t kRecentFilesFirst = 33100;

// Spikes: the detected spikes on the traces and spike files in their panels.
inline constexpr int32_t kShowDetectedSpikes = 33301;
inline constexpr int32_t kNextSpike = 33302;
inline constexpr int32_t kPreviousSpike = 33303;
inline constexpr int32_t kOpenSpikeFiles = 33304;

// The Spectrum panel.
inline constexpr int32_t kSpectrum = 33401;

}  // namespace skelvane::commands
