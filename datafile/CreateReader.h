#pragma once
// Picks the reader variant that matches a data file (legacy header, or the detected kind) and opens
// it. Used by the data source manager for every source it opens.

#include <memory>
#include <string>

#include "datafile/DataFileReader.h"

namespace skelvane {

class File;

/// A new reader opened on `path`, or null when the kind is unknown or the reader could not open.
/// `file` is open on `path`, at any position; the reader made takes it over, and the file's first
/// bytes are read once, for the choice of reader and for its header alike.
std::unique_ptr<DataFileReader> CreateReader(File& file, const std::string& path);

/// A closed reader of the variant serving `typeCode`; null for a code no variant serves.
std::unique_ptr<DataFileReader> MakeReaderForType(int32_t typeCode);

}  // namespace skelvane
