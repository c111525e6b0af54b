#pragma once
// A Paradox table opened for reading: the .DB with its .PX and .MB. Opening checks the
// header, walks the block chain and compares the primary index with it; what is found
// damaged is remembered with the position where it bites, so the records before it still
// read and the damage is raised when a reader reaches it.
#include "common/CodePage.h"
#include "db/FileAccess.h"
#include "db/TableDriver.h"
#include "db/WriteJournal.h"
#include "db/paradox/ParadoxBlob.h"
#include "db/paradox/ParadoxHeader.h"
#include "db/paradox/ParadoxSharing.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paradox {

struct OpenOptions {
  int codePage = 0;                 // override of the table's code page (0: as the table says)
  int dosCodePage = 866;            // for level-3 tables, which name no code page
  std::vector<std::string> passwords;
  io::FileSystem* fs = nullptr;     // default: io::defaultFileSystem()
  bool synchronousWrites = false;   // force every change to the disk (see WriteJournal)
};

class ParadoxTable : public TableDriver {
public:
  // Opens the table whose .DB file is `dbPath`. Throws EDatabaseError / ETableDamaged.
  ParadoxTable(const std::string& dbPath, const OpenOptions& options);
  ~ParadoxTable() override;

  const std::vector<TFieldDesc>& fields() const override { return fields_; }
  std::vector<TIndexDesc> indexes() override;
  uint64_t recordCount() const override { return readable_; }
  void readRecord(uint64_t position, TRecordBuffer& buf) override;
  void checkEnd() override;
  void initRecord(TRecordBuffer& buf) override;
  Value fieldValue(const TRecordBuffer& buf, int field) override;
  void setFieldValue(TRecordBuffer& buf, int field, const Value& v) override;
  const std::string& fileName() const override { return path_; }
  int level() const override { return header_.level(); }

  // Writing. The first write checks that the table may be written (sound, not
  // write-protected, no secondary index we cannot keep up to date, not in use by another
  // program) and takes the write locks, held until the table is closed. Each change is
  // all-or-nothing (WriteJournal).
  bool canModify() const override { return true; }
  void prepareWrite() override;
  void updateRecord(uint64_t position, TRecordBuffer& buf) override;
  uint64_t insertRecord(TRecordBuffer& buf) override;
  void deleteRecord(uint64_t position) override;
  void flush() override;
  bool keyed() const override { return header_.keyFields > 0; }
  std::optional<uint64_t> findKey(const TRecordBuffer& buf) override;

  const Header& header() const { return header_; }
  int codePage() const { return codec_->codePage(); }
  std::string tableNameInHeader() const;
  // Findings that are not damage (a rebuild flag, lock files of another program, …).
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The damage found on opening, if any ("" for a sound table).
  const std::string& damage() const { return damage_; }
  const std::string& mbPath() const { return mbPath_; }
  const std::string& pxPath() const { return pxPath_; }
  // Reads header, chain and index state from the files again (after a change that did
  // not land, whose in-memory part must be dropped).
  void reloadState();

private:
  class Change;
  friend class Change;
  struct ChainBlock {
    uint16_t block;
    uint16_t count;
    uint64_t first;  // position of its first record
  };

  void walkChain();
  void checkFreeList(const std::vector<uint8_t>& inChain);
  void checkPrimaryIndex();
  void setDamage(uint64_t at, const std::string& message);
  const uint8_t* loadBlock(size_t chainIndex);
  size_t chainIndexOf(uint64_t position) const;
  uint64_t recordFileOffset(uint64_t position) const;
  std::string fieldName(size_t i) const { return fields_[i].name; }
  [[noreturn]] void valueDamage(const TRecordBuffer& buf, int field, const std::string& what,
                                std::optional<uint64_t> offset = {}) const;

  io::FileSystem& fs_;
  std::string path_;
  std::unique_ptr<io::File> file_;
  Header header_;
  const codepage::Codec* codec_ = nullptr;
  std::vector<TFieldDesc> fields_;
  std::vector<ChainBlock> chain_;
  uint64_t readable_ = 0;
  uint64_t fileSize_ = 0;
  std::string damage_;
  std::vector<std::string> warnings_;
  std::string mbPath_, pxPath_;
  std::unique_ptr<MbFile> mb_;

  struct CachedBlock {
    uint16_t block = 0;
    std::vector<uint8_t> data;
    uint64_t lastUse = 0;
  };
  std::vector<CachedBlock> cache_;
  uint64_t useClock_ = 0;

  // Writing (ParadoxTableWrite.cpp).
  void openForWriting();
  void recoverJournal();
  std::string journalPath() const;
  uint32_t keyBytes() const;
  int compareKeys(const uint8_t* a, const uint8_t* b) const;
  // Position of the first record whose key is not below `key`; `equal` tells a match.
  uint64_t lowerBound(const uint8_t* key, bool& equal);
  std::vector<uint8_t> blockImage(uint16_t block);
  void commit(Change& c);
  // The bodies of updateRecord, insertRecord and deleteRecord.
  void updateRecordIn(uint64_t position, TRecordBuffer& buf);
  uint64_t insertRecordIn(TRecordBuffer& buf);
  void deleteRecordIn(uint64_t position);

  // Files opened for writing, with the locks that keep other writers out, and the journal.
  struct Writer {
    std::unique_ptr<WriteLock> lock;  // holds the files open and locked
    io::File* db = nullptr;
    io::File* px = nullptr;
    io::File* mb = nullptr;
    std::unique_ptr<WriteJournal> journal;
    uint64_t mbSize = 0;
    uint16_t mbCounter = 0;
    uint32_t subBlock = 0;  // offset of the sub-allocated block new small BLOBs go to (0: none)
  };
  std::unique_ptr<Writer> writer_;
  void scanMb(Writer& w);
  std::vector<std::vector<uint8_t>> firstKeys_;  // keyed tables: first key of each chain block
  bool hasSecondaryIndexes_ = false;
  bool recoveryDeferred_ = false;
  bool synchronousWrites_ = false;  // another writer holds the table while its journal is busy
  bool alphaKeyByBytes_ = true;  // key order of Alpha fields is known (byte order)
};

}  // namespace paradox
