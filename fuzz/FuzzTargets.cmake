# The libFuzzer targets, as name and source pairs: built with clang and libFuzzer by fuzz/CMakeLists.txt
# (scripts/fuzz.sh) and with the normal compiler as corpus replays by tests/fuzz/CMakeLists.txt.
set(SKELVANE_FUZZ_TARGETS
  header_lookup HeaderLookupFuzz.cpp
  file_type FileTypeFuzz.cpp
  data_source DataSourceFuzz.cpp
  csc_plot CscPlotFuzz.cpp
  extraction ExtractionFuzz.cpp
  detection_preview DetectionPreviewFuzz.cpp
  settings_file SettingsFileFuzz.cpp
  spike_file SpikeFileFuzz.cpp
  summary_columns SummaryColumnsFuzz.cpp
  column_bars ColumnBarsFuzz.cpp
  summary_file SummaryFileFuzz.cpp
  summary_cache SummaryCacheFuzz.cpp)
# Sources every target is built with besides the library under test; the settings reader lives in
# app/ but needs nothing of Qt.
set(SKELVANE_FUZZ_SUPPORT ${CMAKE_CURRENT_LIST_DIR}/FuzzScratch.cpp ${PROJECT_SOURCE_DIR}/app/SettingsFile.cpp)
