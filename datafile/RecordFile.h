#pragma once
// The reader variants for the kinds of file with a fixed record layout: each only fixes the three
// constants of its kind. CreateReader picks one; tests make them directly.

#include "datafile/DataFileReader.h"
#include "datafile/FileKind.h"

namespace skelvane {

template <int32_t TypeCode>
class RecordFile final : public DataFileReader {
  static_assert(FileKindOf(TypeCode).recordSize > 0, "no kind of file has this code");

 public:
  /// A closed reader for this kind of file.
  RecordFile() : DataFileReader(FileKindOf(TypeCode)) {}
};

using SingleElectrodeFile = RecordFile<kFileTypeSingleElectrode>;
using StereotrodeFile = RecordFile<kFileTypeStereotrode>;
using TimestampFile = RecordFile<kFileTypeTimestamp>;
using TetrodeFile = RecordFile<kFileTypeTetrode>;
using CscFile = RecordFile<kFileTypeCsc>;
using KevFile = RecordFile<kFileTypeKev>;
using KvtFile = RecordFile<kFileTypeKvt>;

}  // namespace skelvane
