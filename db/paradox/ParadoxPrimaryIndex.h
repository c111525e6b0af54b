#pragma once
// The primary index (.PX) of a keyed table: a B-tree whose level-1 entries name, for every
// data block in chain order, the block, its record count and its first key. Opening a
// keyed table reads the whole tree and compares it with the data blocks: a stale index is
// what the suite's engine rejects as "Index is out of date".
#include "db/FileAccess.h"
#include "db/paradox/ParadoxHeader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

struct PxLeaf {
  uint16_t dbBlock = 0;
  uint16_t count = 0;
  std::vector<uint8_t> key;
};

struct PxTree {
  Header header;
  std::vector<PxLeaf> leaves;  // level-1 entries in key order
  std::string error;           // the first inconsistency inside the index itself
  uint64_t errorOffset = 0;
};

// What a new .PX needs to know of its table.
struct PxSpec {
  std::vector<FieldInfo> keyFields;  // the table's first keyFields fields
  uint8_t blockSizeKiB = 2;
  uint8_t sortOrder = 0;
  uint8_t fileVersionID = 12;
  uint8_t tableChangeCount = 1;  // byte 0x2D of the .DB, repeated at 0x2C of the .PX
  std::string rawTableName;      // bytes of the table name in the header
};

// The bytes of a valid primary index over data blocks whose first keys, block numbers and
// record counts are `leaves`, in chain order: blocks numbered from the root down (root = 1,
// then the level below, … the leaves last), chained 1 → 2 → … Throws EDatabaseError when
// the index would need more than 65535 blocks.
std::vector<uint8_t> buildPrimaryIndex(const PxSpec& layout, const std::vector<PxLeaf>& leaves);

// Reads the index; structural faults of the file itself end in `error` (a header too
// broken to read throws ETableDamaged).
PxTree readPrimaryIndex(io::File& file, const std::string& displayName, const Header& table);

}  // namespace paradox
