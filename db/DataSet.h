#pragma once
// The dataset: what every window, grid and writer of Checkup reads and writes tables
// through. One class for all sources (tables, query results, client datasets); a source
// plugs in through its TableDriver. Like the platform's dataset it has states (inactive,
// browse, edit, insert), a cursor over the records in table order (or over the records a
// filter lets through), a record buffer for the current record, fields that read and
// write that buffer, bookmarks, and data links through which grids, navigators and labels
// follow what happens.
#include "db/Filter.h"
#include "db/TableDriver.h"
#include "db/Value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDataSet;
class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// What a dataset tells its data links.
enum TDataEvent {
  deFieldChange,     // a field's value changed (info: the field)
  deRecordChange,    // the current record changed in place
  deDataSetChange,   // anything may have changed: reread all
  deDataSetScroll,   // the cursor moved (info: distance)
  deLayoutChange,    // fields were added, removed or changed
  deUpdateState,     // the state changed
  deActiveChange     // opened or closed
};

class TField {
public:
  TField(TDataSet* dataSet, int index, const TFieldDesc& desc);

  const std::string& FieldName() const { return desc_.name; }
  TFieldType DataType() const { return desc_.dataType; }
  int Size() const { return desc_.size; }
  int Precision() const { return desc_.precision; }
  int Index() const { return index_; }
  int FieldNo() const { return index_ + 1; }
  TDataSet* DataSet() const { return dataSet_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  bool Required() const { return desc_.required; }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }
  const std::string& DisplayLabel() const { return label_.empty() ? desc_.name : label_; }
  void SetDisplayLabel(std::string s) { label_ = std::move(s); }
  bool IsBlob() const;

  // The current record's value. Reading a damaged value throws ETableDamaged.
  Value AsValue() const;
  std::string AsString() const;
  std::string DisplayText() const;
  bool IsNull() const;
  int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBoolean() const;

  // Writing needs the dataset in edit or insert state; the text converts with the same
  // conventions AsString reads with, or raises EConvertError. Assigning the text the
  // field already shows changes nothing.
  void SetAsString(std::string_view text);
  void SetValue(const Value& v);
  void Clear();

  // The same for a record a caller holds (a grid row read with GetRecordAt).
  Value ValueOf(const TRecordBuffer& buf) const;
  std::string AsStringOf(const TRecordBuffer& buf) const;
  std::string DisplayTextOf(const TRecordBuffer& buf) const;

  // Text of a value as this field shows it.
  std::string TextOf(const Value& v, bool display) const;
  // Text to a value of this field's type.
  Value ParseText(std::string_view text) const;

private:
  TDataSet* dataSet_;
  int index_;
  TFieldDesc desc_;
  bool readOnly_;
  bool visible_ = true;
  std::string label_;
};

struct TBookmarkData {
  uint64_t position = 0;   // in table order
  TRecordBuffer record;    // the record as it was, to find it again in a keyed table
};
using TBookmark = std::shared_ptr<TBookmarkData>;

class TDataSet {
public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  void Open();
  void Close();
  bool Active() const { return state_ != dsInactive; }
  void SetActive(bool v) { v ? Open() : Close(); }
  TDataSetState State() const { return state_; }

  // Navigation. Moving while a record is edited posts it when changed, else cancels.
  void First();
  void Last();
  void Next();
  void Prior();
  int MoveBy(int distance);
  // EOF and BOF are macros of the C library, hence the names.
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty() const { return count() == 0; }
  // 1-based number of the current record (in the filtered view when a filter is on);
  // 0 when there is none.
  int RecNo() const;
  void SetRecNo(int recNo);
  int RecordCount() const;

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField* Fields(int index) const;
  TField* FindField(std::string_view name) const;  // nullptr when no field has the name
  TField* FieldByName(std::string_view name) const;  // raises for an unknown name

  // Editing.
  bool CanModify() const;
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  bool Modified() const { return modified_; }
  // Writes what the source holds in buffers to disk (a durable point).
  void FlushBuffers();

  // Filter text in the engine's expression syntax, applied while Filtered is set.
  const std::string& Filter() const { return filterText_; }
  void SetFilter(std::string text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool v);
  filter::Options FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(filter::Options o);

  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& b);
  bool BookmarkValid(const TBookmark& b) const;
  void FreeBookmark(TBookmark& b) { b.reset(); }

  // While controls are disabled no data link hears of scrolling or changes; enabling
  // them again tells every link to reread.
  void DisableControls() { ++disableCount_; }
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }

  // A record by its 1-based number (as RecNo counts), read without moving the cursor:
  // what a grid paints its rows from.
  void GetRecordAt(int recNo, TRecordBuffer& out) const;

  // The buffer fields read from: the edited record in edit or insert state, else the
  // current record.
  const TRecordBuffer& ActiveBuffer() const;
  TableDriver* Driver() const { return driver_.get(); }

  // Data sources register here (TDataSource::SetDataSet does it).
  void AttachDataSource(TDataSource* s);
  void DetachDataSource(TDataSource* s);

protected:
  // Opens the source: the driver that reads it. Throws EDatabaseError.
  virtual std::unique_ptr<TableDriver> CreateDriver() = 0;
  // Said after a successful open and before closing, for subclasses.
  virtual void AfterOpen() {}
  virtual void BeforeClose() {}

private:
  friend class TField;
  uint64_t count() const;
  uint64_t positionOf(uint64_t viewIndex) const;
  void loadCurrent();
  void checkBrowseMode();
  void checkActive() const;
  void setState(TDataSetState s);
  void dataEvent(TDataEvent e, long info = 0);
  void rebuildView();
  void fieldChanged(TField* f);
  TRecordBuffer& editBuffer();

  std::unique_ptr<TableDriver> driver_;
  std::vector<std::unique_ptr<TField>> fields_;
  TDataSetState state_ = dsInactive;
  TRecordBuffer current_;
  TRecordBuffer edit_;
  bool modified_ = false;
  uint64_t cur_ = 0;        // index in the view
  uint64_t insertAt_ = 0;   // view index an inserted record goes before
  bool eof_ = true, bof_ = true;
  std::string filterText_;
  bool filtered_ = false;
  filter::Options filterOptions_;
  std::unique_ptr<filter::Expression> filterExpr_;
  std::vector<uint64_t> view_;  // positions the filter lets through (used while filtering)
  bool viewFiltered_ = false;
  int disableCount_ = 0;
  bool changedWhileDisabled_ = false;
  std::vector<TDataSource*> sources_;
};
