// The `info` subcommand: opens each file as a data source and prints what the program sees in it:
// kind, record count, time range, sampling frequency and the header values the program reads.
#include <CLI/CLI.hpp>

#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CommandRegistry.h"
#include "cli/ExitStatus.h"
#include "datafile/CscRecord.h"
#include "datafile/DataSourceManager.h"
#include "datafile/FileHeader.h"
#include "datafile/FileKind.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "platform/Utf8Text.h"

namespace skelvane::cli {
namespace {

constexpr double kMicrosecondsPerSecond = 1'000'000.0;
// The header keys the display and the extraction read.
constexpr const char* kHeaderKeys[] = {"-SamplingFrequency", "-ADMaxValue", "-ADBitVolts", "-ADChannel",
                                       "-ADGain",            "-AmpGain",    "-AmpLowCut",  "-AmpHiCut"};

int64_t TimestampOf(DataSourceManager& manager, int64_t recordIndex, uint32_t* frequency = nullptr) {
  const uint8_t* record = nullptr;
  if (manager.GetRecord(recordIndex, 0, record) != kStatusOk || record == nullptr) return 0;
  const CscRecord csc(record);
  if (frequency != nullptr) *frequency = csc.SamplingFrequency();
  return csc.Timestamp();
}

void PrintHeader(DataSourceManager& manager, std::ostream& out) {
  const char* header = nullptr;
  if (manager.GetHeader(0, header) != kStatusOk ||
      std::memcmp(header, kHeaderMarker.data(), kHeaderMarker.size()) != 0) {
    out << "  header:             none (records start at byte 0)\n";
    return;
  }
  out << "  header:\n";
  for (const char* key : kHeaderKeys) {
    std::string value;
    const int32_t rc = manager.GetHeaderValue(0, key, value);
    out << "    " << std::left << std::setw(20) << key << std::right;
    if (rc == kStatusOk) {
      // Header text is anyone's: its escape sequences must not reach the terminal.
      out << Utf8Text::ForTerminal(value) << '\n';
    } else if (rc == kStatusKeyAtEnd) {
      out << "(at the very end of the header)\n";
    } else {
      out << "(absent)\n";
    }
  }
}

// Prints one file; false when it could not be opened (the reason has been reported on stderr).
bool PrintInfo(const std::string& path, std::ostream& out) {
  DataSourceManager manager;
  if (manager.OpenSource(path) != kStatusOk || manager.GetNumSources() != 1) return false;

  int32_t type = kFileTypeUnknown;
  manager.GetSourceFileType(0, type);
  const int64_t count = manager.GetNumRecords(0);
  uint32_t storedFrequency = 0;
  const int64_t first = TimestampOf(manager, 0, &storedFrequency);
  const int64_t last = TimestampOf(manager, count - 1);
  // Any timestamps may stand in a corrupt file, the first even after the last.
  const int64_t span = SaturatingSubtract(last, first);

  out << Utf8Text::ForTerminal(path) << '\n';
  out << "  kind:               CSC records (type " << type << ")\n";
  out << "  records:            " << count << '\n';
  out << "  first timestamp:    " << first << " us\n";
  out << "  last timestamp:     " << last << " us\n";
  out << std::fixed << std::setprecision(6);
  out << "  duration:           " << static_cast<double>(span) / kMicrosecondsPerSecond << " s\n";
  out << std::setprecision(3);
  out << "  sampling frequency: " << storedFrequency << " Hz stored";
  if (count > 1 && span > 0) {
    const double interval = static_cast<double>(span) / static_cast<double>(count - 1);
    out << ", " << kSamplesPerRecord * kMicrosecondsPerSecond / interval << " Hz from the mean record interval of "
        << interval << " us";
  }
  out << '\n';
  out.unsetf(std::ios::floatfield);
  PrintHeader(manager, out);
  return true;
}

const CommandRegistry::Registration kRegistration([](CLI::App& app) {
  auto files = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = app.add_subcommand("info", "Print kind, records, time range, frequency and header of CSC files");
  cmd->footer(kExitStatusHelp);
  cmd->add_option("files", *files, "CSC files to inspect")->required();
  cmd->callback([files]() {
    bool allOpened = true;
    for (const std::string& path : *files) allOpened = PrintInfo(path, std::cout) && allOpened;
    std::cout.flush();
    if (!allOpened) throw CLI::RuntimeError(kExitFailed);
  });
});

}  // namespace
}  // namespace skelvane::cli
