#pragma once
// Creating a new Paradox table: the .DB with, as the fields need them, the .PX (keyed
// tables) and the .MB (BLOB values longer than their leader). Records are appended in bulk
// and go to the files as blocks fill, so memory does not grow with the table: what is kept
// is one data block, one sub-allocated BLOB block and, for keyed tables, the first key of
// every data block (the leaves of the primary index, written at the end).
//
// The files are written where they are named; an existing table of that name is
// overwritten file by file, so the caller deletes the old family (and its secondary
// indexes) first, or builds under a temporary name and renames the family as a unit.
#include "common/CodePage.h"
#include "db/FileAccess.h"
#include "db/Value.h"
#include "db/paradox/ParadoxHeader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace paradox {

// A field of the new table: Paradox type code (pxAlpha, …), header size byte (A/Y: length,
// BLOBs: leader + 10, BCD: the scale, others their fixed size) and the name in UTF-8.
struct NewField {
  uint8_t type = 0;
  uint8_t size = 0;
  std::string name;
};

struct BuilderOptions {
  int level = 5;            // 3, 4, 5 or 7
  int keyFields = 0;        // the first keyFields fields form the primary key; 0 = unkeyed
  int blockSizeKiB = 2;     // 1, 2 or 4; 16 and 32 at level 7
  int codePage = 1251;      // of text values, names and the header's code page
  uint8_t sortOrder = 0x8F; // language driver: sort-order byte and id string
  std::string sortId = "ancyrr";
  std::string tableName;    // stored in the header; "" = the file name
  io::FileSystem* fs = nullptr;  // default: io::defaultFileSystem()
};

class ParadoxTableBuilder {
public:
  // Checks the definition and creates the files. Throws EDatabaseError for a definition
  // the level or the format cannot hold, and when a file cannot be created.
  ParadoxTableBuilder(std::string dbPath, std::vector<NewField> fields, BuilderOptions options = {});
  ~ParadoxTableBuilder();
  ParadoxTableBuilder(const ParadoxTableBuilder&) = delete;
  ParadoxTableBuilder& operator=(const ParadoxTableBuilder&) = delete;

  // Appends a record, one value per field in field order (NULL: blank). An autoincrement
  // field given NULL receives the next number. Keyed tables take records in ascending key
  // order with unique keys. Throws EConvertError for a value its field cannot hold (the
  // record is then not appended) and EDatabaseError for a key out of order or a table
  // grown past what the format can address.
  void append(const std::vector<Value>& values);

  // Writes the last blocks, the header, the primary index and the BLOB file's header.
  // The builder takes no more records afterwards. A builder destroyed without finish()
  // leaves files no reader accepts (the header is written last).
  void finish();

  uint64_t recordCount() const { return numRecords_; }
  const std::string& path() const { return path_; }
  const std::string& pxPath() const { return pxPath_; }
  const std::string& mbPath() const { return mbPath_; }

private:
  struct Leaf {
    std::vector<uint8_t> key;
    uint16_t block;
    uint16_t count;
  };
  class MbWriter;

  void checkDefinition();
  void layoutHeader();
  std::vector<uint8_t> tableHeader() const;
  void encodeBlob(const FieldInfo& f, const std::string& bytes, uint8_t* p);
  void checkKeyOrder(const uint8_t* rec);
  void closeBlock(bool last);
  void flushBlocks();
  void writePrimaryIndex();
  [[noreturn]] void definitionError(const std::string& what) const;

  std::string path_, pxPath_, mbPath_;
  std::vector<NewField> defs_;
  BuilderOptions options_;
  io::FileSystem& fs_;
  const codepage::Codec* codec_ = nullptr;
  uint8_t fileVersion_ = 0;
  std::vector<FieldInfo> fields_;
  std::vector<std::string> rawNames_;
  std::string rawTableName_;
  uint32_t recordSize_ = 0;
  uint32_t blockSize_ = 0;
  uint32_t perBlock_ = 0;
  uint32_t keyBytes_ = 0;
  uint32_t headerSize_ = 0;
  uint32_t realHeaderSize_ = 0;

  std::unique_ptr<io::File> db_;
  std::unique_ptr<MbWriter> mb_;
  // Blocks not yet written: complete ones followed by the one being filled.
  std::vector<uint8_t> pending_;
  uint32_t pendingFirst_ = 0;   // block number of the first pending block
  uint32_t pendingCount_ = 0;   // blocks in pending_, the current one included
  uint32_t inCurrent_ = 0;      // records in the current block
  uint32_t blocks_ = 0;         // blocks started
  uint64_t numRecords_ = 0;
  uint32_t autoIncrement_ = 0;
  std::vector<uint8_t> lastKey_;
  std::vector<Leaf> leaves_;
  std::vector<uint8_t> scratch_;
  bool finished_ = false;
};

}  // namespace paradox
