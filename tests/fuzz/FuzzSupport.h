#pragma once
// Shared pieces of the Paradox fuzz targets: the fixed tables placed beside the fuzzed
// file, and the walk that reads everything a table offers.
#include "db/FileAccess.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// A valid keyed table (one or more key fields) with its primary index.
struct KeyedTable {
  std::vector<uint8_t> db, px;
};
// A valid table with BLOB fields and its .MB.
struct BlobTable {
  std::vector<uint8_t> db, mb;
};

// The fixture tables embedded at build time, or small tables built in code when the
// fixtures were absent.
const KeyedTable& keyedTable();
const BlobTable& blobTable();

// Opens `dbPath` in `fs` with ParadoxTable, reads every record, decodes and formats every
// field, asks for the indexes and the end check. Engine errors (EDatabaseError,
// EConvertError) are expected and swallowed; an io::IoError escaping the engine aborts,
// as does any other exception.
void readWholeTable(io::MemoryFileSystem& fs, const std::string& dbPath);

std::vector<uint8_t> bytesOf(const uint8_t* data, size_t size);

}  // namespace fuzz
