#pragma once
// Told by the data source manager whenever sources are opened or closed; the main window listens to
// recompute the time range and its scrollbars.

namespace skelvane {

class SourceListener {
 public:
  virtual ~SourceListener() = default;
  /// Called synchronously after the set of open sources changed.
  virtual void OnSourcesChanged() = 0;
};

}  // namespace skelvane
