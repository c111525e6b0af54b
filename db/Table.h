#pragma once
// An engine table: a database name (alias or folder) and a table name (bare, with an
// extension, or a full path) name one table. Names resolve without regard to case, as
// the tables come from Windows: "clients" opens CLIENTS.DB with CLIENTS.PX and CLIENTS.MB.
#include "db/DataSet.h"
#include "db/Session.h"

#include <string>
#include <vector>

class TTable;

// Field and index definitions of a table, read by Update() without opening the table
// (or from the open table).
class TFieldDefs {
public:
  explicit TFieldDefs(TTable& t) : table_(t) {}
  void Update();
  void Clear() { items_.clear(); }
  // A field of a table to be created (CreateTable).
  void Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  int Count() const { return static_cast<int>(items_.size()); }
  const TFieldDesc& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  const std::vector<TFieldDesc>& Items() const { return items_; }

private:
  friend class TTable;
  TTable& table_;
  std::vector<TFieldDesc> items_;
};

class TIndexDefs {
public:
  explicit TIndexDefs(TTable& t) : table_(t) {}
  void Update();
  void Clear() { items_.clear(); }
  // An index of a table to be created: Paradox takes the primary key ("" name, primary),
  // made of the first fields in order.
  void Add(const std::string& name, const std::string& fields, bool primary);
  int Count() const { return static_cast<int>(items_.size()); }
  const TIndexDesc& operator[](int i) const { return items_.at(static_cast<size_t>(i)); }
  const std::vector<TIndexDesc>& Items() const { return items_; }

private:
  TTable& table_;
  std::vector<TIndexDesc> items_;
};

class TTable : public TDataSet {
public:
  TTable();
  ~TTable() override;

  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string name);
  const std::string& TableName() const { return tableName_; }
  void SetTableName(std::string name);
  TTableType TableType() const { return tableType_; }
  void SetTableType(TTableType t);
  // The table's level (3, 4, 5, 7) once open; before creating a table, the level wanted.
  int TableLevel() const;
  void SetTableLevel(int level) { tableLevel_ = level; }
  // Code page the table's text is read with, over what the table and its alias say
  // (0: no override). For tables whose header names the wrong code page.
  int CodePage() const { return codePage_; }
  void SetCodePage(int cp) { codePage_ = cp; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }

  // Whether the table's file exists.
  bool Exists();
  // The file the names resolve to; throws EDatabaseError when there is none.
  std::string ResolvePath();

  TFieldDefs& FieldDefs() { return fieldDefs_; }
  TIndexDefs& IndexDefs() { return indexDefs_; }

  // Creates the table from FieldDefs (and the primary key in IndexDefs) at TableLevel (7
  // when none was set). An existing table of that name is replaced, once no other
  // program holds it; the new table is built aside first, so a failure leaves the old one.
  void CreateTable();
  // Deletes the table with all its files (index, BLOBs, secondary indexes, checks).
  void DeleteTable();

  // Opens a driver on the table without making the dataset active (FieldDefs.Update).
  std::unique_ptr<TableDriver> OpenDriver();

protected:
  std::unique_ptr<TableDriver> CreateDriver() override;
  void AfterOpen() override;

private:
  void checkInactive(const char* what) const;
  std::string directory();
  std::string newTablePath();

  std::string databaseName_;
  std::string tableName_;
  TTableType tableType_ = ttDefault;
  int tableLevel_ = 0;
  int codePage_ = 0;
  bool readOnly_ = false;
  TFieldDefs fieldDefs_{*this};
  TIndexDefs indexDefs_{*this};
};
