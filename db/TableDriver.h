#pragma once
// What a dataset asks of the driver of one table format. The dataset (TDataSet) keeps the
// cursor, the states and the record buffers; the driver knows the files: it reads a
// record by its position in table order, decodes and encodes field values, and (for
// formats that can be written) stores records.
#include "db/EngineError.h"
#include "db/FieldTypes.h"
#include "db/Value.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct TFieldDesc {
  std::string name;
  TFieldType dataType = ftUnknown;
  int size = 0;       // string length, BLOB leader, BCD scale; 0 for fixed types
  int precision = 0;  // BCD: digits in all
  bool readOnly = false;
  bool required = false;
};

struct TIndexDesc {
  std::string name;
  std::string fields;  // ";"-separated
  std::string expression;
  bool primary = false;
  bool unique = false;
  bool descending = false;
  bool caseInsensitive = false;
  bool maintained = true;
};

// One record as the driver stores it, plus the BLOB values set since it was read.
struct TRecordBuffer {
  std::vector<uint8_t> bytes;
  uint64_t position = UINT64_MAX;     // 0-based position in table order; UINT64_MAX: new
  std::map<int, std::string> blobs;   // field index -> new BLOB bytes (not yet stored)
  std::map<int, bool> blobNull;       // field index -> the BLOB was cleared
};

class TableDriver {
public:
  virtual ~TableDriver() = default;

  virtual const std::vector<TFieldDesc>& fields() const = 0;
  virtual std::vector<TIndexDesc> indexes() = 0;
  // Records that can be read (a damaged table: those before the damage).
  virtual uint64_t recordCount() const = 0;
  // Reads a record by position into buf; throws ETableDamaged.
  virtual void readRecord(uint64_t position, TRecordBuffer& buf) = 0;
  // The damage that stops reading at position recordCount(), raised when a cursor moves
  // past the last readable record; nothing for a sound table.
  virtual void checkEnd() = 0;
  // A new blank record.
  virtual void initRecord(TRecordBuffer& buf) = 0;

  virtual Value fieldValue(const TRecordBuffer& buf, int field) = 0;
  // Throws EConvertError when the field cannot hold the value.
  virtual void setFieldValue(TRecordBuffer& buf, int field, const Value& v) = 0;

  virtual const std::string& fileName() const = 0;
  virtual int level() const = 0;

  // Writing. A driver that cannot write says why in the exception of these calls.
  virtual bool canModify() const { return false; }
  // Checks that the source may be written now and takes what writing needs (locks);
  // throws EDatabaseError saying why not.
  virtual void prepareWrite() { throw EDatabaseError("Набор данных доступен только для чтения"); }
  virtual void updateRecord(uint64_t position, TRecordBuffer& buf) = 0;
  virtual uint64_t insertRecord(TRecordBuffer& buf) = 0;  // returns the new position
  virtual void deleteRecord(uint64_t position) = 0;
  virtual void flush() {}
  // For keyed tables: the position a record with these key bytes has (bookmarks).
  virtual std::optional<uint64_t> findKey(const TRecordBuffer&) { return std::nullopt; }
  virtual bool keyed() const { return false; }
};
