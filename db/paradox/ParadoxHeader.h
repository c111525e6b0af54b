#pragma once
// The header of a Paradox file (.DB, .PX, .Xnn/.XGn, .Ynn/.YGn): fixed part, the data
// header of level 4 and later, and the variable part with the field descriptors, the
// table name, the field names, the field numbers and the language driver id.
#include "db/FileAccess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace paradox {

struct FieldInfo {
  uint8_t type = 0;
  uint8_t size = 0;      // header size byte (BCD: the scale)
  uint32_t offset = 0;   // in the record
  uint32_t bytes = 0;    // in the record
  std::string rawName;   // bytes in the table's code page
  uint16_t number = 0;   // field-number array entry (level 4 and later), masked
};

enum class FileKind { Table, PrimaryIndex, SecondaryX, SecondaryY };

struct Header {
  std::vector<uint8_t> raw;  // the whole header as read, kept for rewriting unknown bytes
  uint16_t recordSize = 0;
  uint16_t headerSize = 0;
  uint8_t fileType = 0;
  uint8_t maxTableSize = 0;
  uint32_t numRecords = 0;
  uint16_t usedBlocks = 0;
  uint16_t fileBlocks = 0;
  uint16_t firstBlock = 0;
  uint16_t lastBlock = 0;
  uint8_t modifiedFlags1 = 0;
  uint8_t indexFieldNumber = 0;
  uint16_t indexRoot = 0;
  uint8_t indexLevels = 0;
  int16_t numFields = 0;
  int16_t keyFields = 0;
  uint32_t checksum = 0;  // password checksum, 0 when not encrypted
  uint8_t sortOrder = 0;
  uint8_t modifiedFlags2 = 0;
  uint8_t changeCount1 = 0;
  uint8_t changeCount2 = 0;
  uint8_t writeProtected = 0;
  uint8_t fileVersionID = 0;
  uint32_t autoIncrement = 0;
  uint16_t firstFreeBlock = 0;
  uint16_t realHeaderSize = 0;
  uint8_t indexFlags = 0;  // byte 0x55 of X files
  bool hasDataHeader = false;
  uint16_t codePage = 0;   // 0 when the file has none (level 3)
  std::string sortId;      // language driver id ("ancyrr"), empty at level 3
  std::string rawTableName;
  std::string rawIndexName;  // named secondary indexes
  std::vector<FieldInfo> fields;

  uint32_t blockSize() const { return uint32_t{maxTableSize} * 1024; }
  bool encrypted() const { return checksum != 0; }
  uint32_t recordsPerBlock() const { return recordSize ? (blockSize() - 6) / recordSize : 0; }
  uint64_t blockOffset(uint32_t block) const { return headerSize + uint64_t{block - 1} * blockSize(); }
  // The BDE table level: 3 (3.0/3.5), 4, 5 or 7.
  int level() const;
};

// Reads and checks a header. Throws ETableDamaged naming `displayName` when the header
// is impossible (wrong type, sizes, field descriptors, names running off the header).
Header readHeader(io::File& file, const std::string& displayName, FileKind kind);

int levelOfVersion(uint8_t fileVersionID);

}  // namespace paradox
