#include "db/DataSet.h"

#include "common/TextUtils.h"
#include "db/DataSource.h"
#include "db/EngineError.h"
#include "db/ValueText.h"

#include <algorithm>
#include <cmath>

// ---- TField ---------------------------------------------------------------------------

TField::TField(TDataSet* dataSet, int index, const TFieldDesc& desc)
    : dataSet_(dataSet), index_(index), desc_(desc), readOnly_(desc.readOnly) {}

bool TField::IsBlob() const { return isBlobType(desc_.dataType); }

Value TField::ValueOf(const TRecordBuffer& buf) const {
  if (buf.bytes.empty()) return Value::null();
  return dataSet_->driver_->fieldValue(buf, index_);
}

Value TField::AsValue() const {
  if (!dataSet_->Active()) throw EDatabaseError("Набор данных закрыт: поле «" + desc_.name + "» недоступно");
  return ValueOf(dataSet_->ActiveBuffer());
}

std::string TField::TextOf(const Value& v, bool display) const {
  if (display) {
    switch (desc_.dataType) {
      case ftMemo: return v.isNull() ? "(memo)" : "(MEMO)";
      case ftFmtMemo: return v.isNull() ? "(fmtmemo)" : "(FMTMEMO)";
      case ftGraphic: return v.isNull() ? "(graphic)" : "(GRAPHIC)";
      case ftParadoxOle:
      case ftDBaseOle: return v.isNull() ? "(ole)" : "(OLE)";
      case ftBlob:
      case ftTypedBinary: return v.isNull() ? "(blob)" : "(BLOB)";
      case ftBytes:
      case ftVarBytes: return v.isNull() ? "" : "(BYTES)";
      case ftCurrency: return v.isNull() ? "" : valuetext::formatCurrencyDisplay(v.d);
      default: break;
    }
  }
  return valuetext::format(v);
}

std::string TField::AsString() const {
  Value v = AsValue();
  // Text and bytes are their own AsString: hand the string over instead of copying it.
  if (v.kind == Value::Kind::Text || v.kind == Value::Kind::Bytes) return std::move(v.s);
  return TextOf(v, false);
}
std::string TField::DisplayText() const { return TextOf(AsValue(), true); }
std::string TField::AsStringOf(const TRecordBuffer& buf) const {
  Value v = ValueOf(buf);
  if (v.kind == Value::Kind::Text || v.kind == Value::Kind::Bytes) return std::move(v.s);
  return TextOf(v, false);
}
std::string TField::DisplayTextOf(const TRecordBuffer& buf) const { return TextOf(ValueOf(buf), true); }
bool TField::IsNull() const { return AsValue().isNull(); }

int64_t TField::AsInteger() const {
  Value v = AsValue();
  switch (v.kind) {
    case Value::Kind::Null: return 0;
    case Value::Kind::Int:
    case Value::Kind::Bool: return v.i;
    case Value::Kind::Float: return static_cast<int64_t>(std::llround(v.d));
    default: return valuetext::parseInteger(TextOf(v, false), INT64_MIN, INT64_MAX);
  }
}

double TField::AsFloat() const {
  Value v = AsValue();
  switch (v.kind) {
    case Value::Kind::Null: return 0;
    case Value::Kind::Int: return static_cast<double>(v.i);
    case Value::Kind::Float:
    case Value::Kind::DateTime: return v.d;
    default: return valuetext::parseFloat(TextOf(v, false));
  }
}

bool TField::AsBoolean() const {
  Value v = AsValue();
  if (v.isNull()) return false;
  if (v.kind == Value::Kind::Bool || v.kind == Value::Kind::Int) return v.i != 0;
  return valuetext::parseBool(TextOf(v, false));
}

Value TField::ParseText(std::string_view text) const {
  switch (desc_.dataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
      return text.empty() ? Value::null() : Value::ofText(std::string(text));
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
      return text.empty() ? Value::null() : Value::ofBytes(std::string(text));
    default:
      break;
  }
  if (valuetext::trimmed(text).empty()) return Value::null();
  switch (desc_.dataType) {
    case ftSmallint: return Value::ofInt(valuetext::parseInteger(text, -32768, 32767));
    case ftWord: return Value::ofInt(valuetext::parseInteger(text, 0, 65535));
    case ftInteger:
    case ftAutoInc: return Value::ofInt(valuetext::parseInteger(text, INT32_MIN, INT32_MAX));
    case ftLargeint: return Value::ofInt(valuetext::parseInteger(text, INT64_MIN, INT64_MAX));
    case ftFloat:
    case ftCurrency: return Value::ofFloat(valuetext::parseFloat(text));
    case ftBCD: return Value::ofBcd(valuetext::parseBcd(text, desc_.size, desc_.precision ? desc_.precision : 32), desc_.size);
    case ftBoolean: return Value::ofBool(valuetext::parseBool(text));
    case ftDate: return Value::ofDate(valuetext::parseDate(text));
    case ftTime: return Value::ofTime(valuetext::parseTime(text));
    case ftDateTime: return Value::ofDateTime(valuetext::parseDateTime(text));
    default: throw EConvertError("Поле «" + desc_.name + "»: значения этого типа не задаются текстом");
  }
}

void TField::SetValue(const Value& v) {
  TDataSet& ds = *dataSet_;
  if (ds.state_ != dsEdit && ds.state_ != dsInsert)
    throw EDatabaseError("Набор данных не находится в режиме редактирования или вставки");
  if (readOnly_) throw EDatabaseError("Поле «" + desc_.name + "» нельзя изменить");
  ds.driver_->setFieldValue(ds.editBuffer(), index_, v);
  ds.fieldChanged(this);
}

void TField::SetAsString(std::string_view text) {
  TDataSet& ds = *dataSet_;
  if (ds.state_ != dsEdit && ds.state_ != dsInsert)
    throw EDatabaseError("Набор данных не находится в режиме редактирования или вставки");
  if (readOnly_) throw EDatabaseError("Поле «" + desc_.name + "» нельзя изменить");
  // The text the field already shows stands for the value already stored, whatever bytes
  // hold it (a value written by another program may have more than one byte form).
  if (ds.state_ == dsEdit) {
    std::string current;
    bool readable = true;
    try {
      current = AsString();
    } catch (const ETableDamaged&) {
      readable = false;
    }
    if (readable && current == text) return;
  }
  SetValue(ParseText(text));
}

void TField::Clear() { SetValue(Value::null()); }

// ---- TDataSet -------------------------------------------------------------------------

namespace {

filter::Kind filterKind(TFieldType t) {
  switch (t) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: return filter::Kind::String;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: return filter::Kind::Integer;
    case ftFloat: case ftCurrency: case ftBCD: return filter::Kind::Float;
    case ftBoolean: return filter::Kind::Boolean;
    case ftDate: return filter::Kind::Date;
    case ftTime: return filter::Kind::Time;
    case ftDateTime: return filter::Kind::DateTime;
    default: return isBlobType(t) || t == ftBytes ? filter::Kind::Blob : filter::Kind::Other;
  }
}

filter::Value toFilterValue(const Value& v, filter::Kind kind) {
  filter::Value f;
  f.kind = kind;
  f.null = v.isNull();
  switch (v.kind) {
    case Value::Kind::Null: break;
    case Value::Kind::Int:
    case Value::Kind::Date:
    case Value::Kind::Time: f.i = v.i; f.d = static_cast<double>(v.i); break;
    case Value::Kind::Bool: f.b = v.i != 0; break;
    case Value::Kind::Float:
    case Value::Kind::DateTime: f.d = v.d; break;
    case Value::Kind::Bcd: f.d = valuetext::parseFloat(valuetext::formatBcd(v.s, static_cast<int>(v.i))); break;
    case Value::Kind::Text:
    case Value::Kind::Bytes: f.s = v.s; break;
  }
  return f;
}

class FieldResolver : public filter::Resolver {
public:
  explicit FieldResolver(const TDataSet& ds) : ds_(ds) {}
  std::optional<filter::FieldRef> findField(std::string_view name) const override {
    TField* f = ds_.FindField(name);
    if (!f) return std::nullopt;
    return filter::FieldRef{f->Index(), filterKind(f->DataType()), f->FieldName()};
  }
  bool convertConstant(const filter::FieldRef& ref, std::string_view text, filter::Value& out,
                       std::string& error) const override {
    try {
      TField* f = ds_.Fields(ref.index);
      if (ref.kind == filter::Kind::Float && f->DataType() != ftFloat && f->DataType() != ftCurrency && f->DataType() != ftBCD) {
        out = toFilterValue(Value::ofFloat(valuetext::parseFloat(text)), filter::Kind::Float);
        return true;
      }
      out = toFilterValue(f->ParseText(text), ref.kind);
      return true;
    } catch (const EConvertError& e) {
      error = e.what();
      return false;
    }
  }

private:
  const TDataSet& ds_;
};

class BufferAccess : public filter::RecordAccess {
public:
  BufferAccess(const TDataSet& ds, const TRecordBuffer& buf) : ds_(ds), buf_(buf) {}
  filter::Value fieldValue(int index) const override {
    TField* f = ds_.Fields(index);
    return toFilterValue(f->ValueOf(buf_), filterKind(f->DataType()));
  }

private:
  const TDataSet& ds_;
  const TRecordBuffer& buf_;
};

}  // namespace

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
  for (auto* s : sources_) s->DataSetGone();
}

void TDataSet::checkActive() const {
  if (state_ == dsInactive) throw EDatabaseError("Операция невозможна: набор данных закрыт");
}

void TDataSet::Open() {
  if (Active()) return;
  driver_ = CreateDriver();
  fields_.clear();
  const auto& defs = driver_->fields();
  for (size_t i = 0; i < defs.size(); ++i) fields_.push_back(std::make_unique<TField>(this, static_cast<int>(i), defs[i]));
  state_ = dsBrowse;
  try {
    rebuildView();
    First();
    AfterOpen();
  } catch (...) {
    state_ = dsInactive;
    fields_.clear();
    driver_.reset();
    throw;
  }
  dataEvent(deActiveChange);
}

void TDataSet::Close() {
  if (!Active()) return;
  BeforeClose();
  state_ = dsInactive;
  modified_ = false;
  edit_ = {};
  current_ = {};
  view_.clear();
  viewFiltered_ = false;
  filterExpr_.reset();
  fields_.clear();
  driver_.reset();
  eof_ = bof_ = true;
  cur_ = 0;
  dataEvent(deActiveChange);
}

uint64_t TDataSet::count() const {
  if (!driver_) return 0;
  return viewFiltered_ ? view_.size() : driver_->recordCount();
}

uint64_t TDataSet::positionOf(uint64_t viewIndex) const { return viewFiltered_ ? view_[viewIndex] : viewIndex; }

void TDataSet::rebuildView() {
  viewFiltered_ = false;
  view_.clear();
  filterExpr_.reset();
  if (!filtered_ || !driver_) return;
  FieldResolver resolver(*this);
  filterExpr_ = filter::Expression::parse(filterText_, resolver, filterOptions_);
  if (filterExpr_->empty()) {
    filterExpr_.reset();
    return;
  }
  TRecordBuffer buf;
  uint64_t n = driver_->recordCount();
  for (uint64_t p = 0; p < n; ++p) {
    driver_->readRecord(p, buf);
    if (filterExpr_->matches(BufferAccess(*this, buf))) view_.push_back(p);
  }
  driver_->checkEnd();
  viewFiltered_ = true;
}

void TDataSet::loadCurrent() {
  if (count() == 0) {
    current_ = {};
    return;
  }
  driver_->readRecord(positionOf(cur_), current_);
}

void TDataSet::checkBrowseMode() {
  checkActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    if (modified_) Post();
    else Cancel();
  }
}

void TDataSet::First() {
  checkBrowseMode();
  uint64_t old = cur_;
  cur_ = 0;
  bof_ = true;
  eof_ = count() == 0;
  // A table damaged before its first record shows it here, on opening.
  if (eof_ && !viewFiltered_) driver_->checkEnd();
  loadCurrent();
  dataEvent(deDataSetScroll, static_cast<long>(old) * -1);
}

void TDataSet::Last() {
  checkBrowseMode();
  uint64_t n = count();
  uint64_t old = cur_;
  cur_ = n ? n - 1 : 0;
  eof_ = true;
  bof_ = n == 0;
  loadCurrent();
  dataEvent(deDataSetScroll, static_cast<long>(cur_) - static_cast<long>(old));
}

void TDataSet::Next() {
  checkBrowseMode();
  uint64_t n = count();
  if (n == 0 || cur_ + 1 >= n) {
    // A damaged table stops here: what lies behind the last readable record is the damage.
    if (!viewFiltered_) driver_->checkEnd();
    eof_ = true;
    return;
  }
  ++cur_;
  loadCurrent();
  eof_ = bof_ = false;
  dataEvent(deDataSetScroll, 1);
}

void TDataSet::Prior() {
  checkBrowseMode();
  if (cur_ == 0 || count() == 0) {
    bof_ = true;
    return;
  }
  --cur_;
  loadCurrent();
  eof_ = bof_ = false;
  dataEvent(deDataSetScroll, -1);
}

int TDataSet::MoveBy(int distance) {
  checkBrowseMode();
  uint64_t n = count();
  if (n == 0) {
    eof_ = bof_ = true;
    return 0;
  }
  int64_t target = static_cast<int64_t>(cur_) + distance;
  if (distance > 0 && target >= static_cast<int64_t>(n)) {
    if (!viewFiltered_) driver_->checkEnd();
  }
  int64_t clamped = std::clamp<int64_t>(target, 0, static_cast<int64_t>(n) - 1);
  int moved = static_cast<int>(clamped - static_cast<int64_t>(cur_));
  eof_ = distance > 0 && target >= static_cast<int64_t>(n);
  bof_ = distance < 0 && target < 0;
  if (moved != 0) {
    cur_ = static_cast<uint64_t>(clamped);
    loadCurrent();
    dataEvent(deDataSetScroll, moved);
  }
  return moved;
}

int TDataSet::RecNo() const {
  if (!Active() || count() == 0) return 0;
  if (state_ == dsInsert) return static_cast<int>(insertAt_ + 1);
  return static_cast<int>(cur_ + 1);
}

void TDataSet::SetRecNo(int recNo) {
  checkBrowseMode();
  uint64_t n = count();
  if (n == 0) return;
  uint64_t target = static_cast<uint64_t>(std::clamp<int64_t>(recNo, 1, static_cast<int64_t>(n))) - 1;
  long distance = static_cast<long>(target) - static_cast<long>(cur_);
  cur_ = target;
  eof_ = bof_ = false;
  loadCurrent();
  dataEvent(deDataSetScroll, distance);
}

static int RecordCountClamp(uint64_t n) { return n > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(n); }

int TDataSet::RecordCount() const {
  checkActive();
  return RecordCountClamp(count());
}

TField* TDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount())
    throw EDatabaseError("Номер поля " + std::to_string(index) + " вне диапазона (полей: " + std::to_string(FieldCount()) + ")");
  return fields_[static_cast<size_t>(index)].get();
}

TField* TDataSet::FindField(std::string_view name) const {
  // Field names compare without regard to case, Cyrillic letters included.
  std::string want = text::UpperCase(name);
  for (const auto& f : fields_)
    if (text::UpperCase(f->FieldName()) == want) return f.get();
  return nullptr;
}

TField* TDataSet::FieldByName(std::string_view name) const {
  TField* f = FindField(name);
  if (!f) throw EDatabaseError("Поле «" + std::string(name) + "» не найдено");
  return f;
}

bool TDataSet::CanModify() const { return driver_ && driver_->canModify(); }

const TRecordBuffer& TDataSet::ActiveBuffer() const {
  return (state_ == dsEdit || state_ == dsInsert) ? edit_ : current_;
}

TRecordBuffer& TDataSet::editBuffer() { return edit_; }

void TDataSet::setState(TDataSetState s) {
  if (state_ == s) return;
  state_ = s;
  dataEvent(deUpdateState);
}

void TDataSet::Edit() {
  checkActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (count() == 0) {
    Insert();
    return;
  }
  // The driver says why not (read-only file, in use by another program, …).
  driver_->prepareWrite();
  edit_ = current_;
  modified_ = false;
  setState(dsEdit);
}

void TDataSet::Insert() {
  checkBrowseMode();
  driver_->prepareWrite();
  driver_->initRecord(edit_);
  insertAt_ = count() ? cur_ : 0;
  modified_ = false;
  setState(dsInsert);
}

void TDataSet::Append() {
  Insert();
  insertAt_ = count();
}

void TDataSet::Post() {
  checkActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  uint64_t position;
  if (state_ == dsEdit) {
    driver_->updateRecord(edit_.position, edit_);
    position = edit_.position;  // a keyed table moves a record whose key changed
  } else {
    position = driver_->insertRecord(edit_);
  }
  modified_ = false;
  state_ = dsBrowse;
  rebuildView();
  // Stand on the record just stored (it may have moved in a keyed table).
  uint64_t n = count();
  if (viewFiltered_) {
    auto it = std::lower_bound(view_.begin(), view_.end(), position);
    cur_ = n == 0 ? 0 : std::min<uint64_t>(static_cast<uint64_t>(it - view_.begin()), n - 1);
  } else {
    cur_ = n == 0 ? 0 : std::min(position, n - 1);
  }
  eof_ = bof_ = false;
  if (n == 0) eof_ = bof_ = true;
  loadCurrent();
  dataEvent(deUpdateState);
  dataEvent(deDataSetChange);
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  edit_ = {};
  modified_ = false;
  setState(dsBrowse);
  dataEvent(deDataSetChange);
}

void TDataSet::Delete() {
  checkActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (count() == 0) throw EDatabaseError("Нельзя удалить запись: набор данных пуст");
  if (state_ == dsEdit) Cancel();
  driver_->prepareWrite();
  driver_->deleteRecord(positionOf(cur_));
  rebuildView();
  uint64_t n = count();
  if (cur_ >= n) cur_ = n ? n - 1 : 0;
  eof_ = n == 0 || cur_ + 1 >= n;
  bof_ = n == 0;
  loadCurrent();
  dataEvent(deDataSetChange);
}

void TDataSet::FlushBuffers() {
  if (driver_) driver_->flush();
}

void TDataSet::fieldChanged(TField* f) {
  modified_ = true;
  dataEvent(deFieldChange, f->Index());
}

void TDataSet::SetFilter(std::string text) {
  filterText_ = std::move(text);
  if (Active() && filtered_) {
    checkBrowseMode();
    rebuildView();
    First();
    dataEvent(deDataSetChange);
  }
}

void TDataSet::SetFiltered(bool v) {
  if (filtered_ == v) return;
  filtered_ = v;
  if (Active()) {
    checkBrowseMode();
    try {
      rebuildView();
    } catch (...) {
      filtered_ = false;
      rebuildView();
      throw;
    }
    First();
    dataEvent(deDataSetChange);
  }
}

void TDataSet::SetFilterOptions(filter::Options o) {
  filterOptions_ = o;
  if (Active() && filtered_) {
    rebuildView();
    First();
    dataEvent(deDataSetChange);
  }
}

TBookmark TDataSet::GetBookmark() const {
  if (!Active() || count() == 0) return nullptr;
  auto b = std::make_shared<TBookmarkData>();
  b->position = positionOf(cur_);
  b->record = current_;
  return b;
}

bool TDataSet::BookmarkValid(const TBookmark& b) const {
  if (!b || !Active()) return false;
  if (driver_->keyed()) return driver_->findKey(b->record).has_value() || b->position < driver_->recordCount();
  if (b->position >= driver_->recordCount()) return false;
  return !viewFiltered_ || std::binary_search(view_.begin(), view_.end(), b->position);
}

void TDataSet::GotoBookmark(const TBookmark& b) {
  checkBrowseMode();
  if (!BookmarkValid(b)) throw EDatabaseError("Запись не найдена: закладка больше не действительна");
  uint64_t position = b->position;
  if (driver_->keyed())
    if (auto p = driver_->findKey(b->record)) position = *p;
  uint64_t target = position;
  if (viewFiltered_) {
    auto it = std::lower_bound(view_.begin(), view_.end(), position);
    if (it == view_.end() || *it != position) throw EDatabaseError("Запись не найдена: её скрывает фильтр");
    target = static_cast<uint64_t>(it - view_.begin());
  }
  long distance = static_cast<long>(target) - static_cast<long>(cur_);
  cur_ = target;
  eof_ = bof_ = false;
  loadCurrent();
  dataEvent(deDataSetScroll, distance);
}

void TDataSet::EnableControls() {
  if (disableCount_ > 0 && --disableCount_ == 0 && changedWhileDisabled_) {
    changedWhileDisabled_ = false;
    dataEvent(deDataSetChange);
  }
}

void TDataSet::GetRecordAt(int recNo, TRecordBuffer& out) const {
  checkActive();
  uint64_t n = count();
  if (recNo < 1 || static_cast<uint64_t>(recNo) > n)
    throw EDatabaseError("Нет записи с номером " + std::to_string(recNo));
  driver_->readRecord(positionOf(static_cast<uint64_t>(recNo - 1)), out);
}

void TDataSet::AttachDataSource(TDataSource* s) {
  if (std::find(sources_.begin(), sources_.end(), s) == sources_.end()) sources_.push_back(s);
}

void TDataSet::DetachDataSource(TDataSource* s) { sources_.erase(std::remove(sources_.begin(), sources_.end(), s), sources_.end()); }

void TDataSet::dataEvent(TDataEvent e, long info) {
  if (disableCount_ > 0 && e != deActiveChange) {
    changedWhileDisabled_ = true;
    return;
  }
  auto copy = sources_;
  for (auto* s : copy) s->DataEvent(e, info);
}

// ---- TDataSource / TDataLink ------------------------------------------------------------

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->DetachDataSource(this);
  for (auto* l : links_) l->source_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* ds) {
  if (dataSet_ == ds) return;
  if (dataSet_) dataSet_->DetachDataSource(this);
  dataSet_ = ds;
  if (dataSet_) dataSet_->AttachDataSource(this);
  DataEvent(deActiveChange, 0);
}

void TDataSource::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  DataEvent(deActiveChange, 0);
}

void TDataSource::removeLink(TDataLink* l) { links_.erase(std::remove(links_.begin(), links_.end(), l), links_.end()); }

void TDataSource::DataEvent(TDataEvent e, long info) {
  if (!enabled_ && e != deActiveChange) return;
  auto copy = links_;
  for (auto* l : copy) {
    switch (e) {
      case deActiveChange: l->ActiveChanged(); break;
      case deDataSetChange: l->DataSetChanged(); break;
      case deDataSetScroll: l->DataSetScrolled(static_cast<int>(info)); break;
      case deLayoutChange: l->LayoutChanged(); break;
      case deUpdateState: l->EditingChanged(); break;
      case deFieldChange:
      case deRecordChange: {
        TField* f = nullptr;
        if (e == deFieldChange && dataSet_ && info >= 0 && info < dataSet_->FieldCount()) f = dataSet_->Fields(static_cast<int>(info));
        l->RecordChanged(f);
        break;
      }
    }
  }
}

TDataLink::~TDataLink() {
  if (source_) source_->removeLink(this);
}

void TDataLink::SetDataSource(TDataSource* s) {
  if (source_ == s) return;
  if (source_) source_->removeLink(this);
  source_ = s;
  if (source_) source_->addLink(this);
  ActiveChanged();
}
