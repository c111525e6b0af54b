#include "db/Table.h"

#include "common/TextUtils.h"
#include "db/EngineError.h"
#include "db/FileAccess.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxSharing.h"
#include "db/paradox/ParadoxTable.h"
#include "db/paradox/ParadoxWriter.h"

#include <algorithm>

void TFieldDefs::Update() {
  if (table_.Active()) {
    items_ = table_.Driver()->fields();
    return;
  }
  auto d = table_.OpenDriver();
  items_ = d->fields();
}

void TIndexDefs::Update() {
  if (table_.Active()) {
    items_ = table_.Driver()->indexes();
    return;
  }
  auto d = table_.OpenDriver();
  items_ = d->indexes();
}

void TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
  TFieldDesc d;
  d.name = name;
  d.dataType = type;
  d.size = size;
  d.required = required;
  items_.push_back(d);
}

void TIndexDefs::Add(const std::string& name, const std::string& fields, bool primary) {
  TIndexDesc d;
  d.name = name;
  d.fields = fields;
  d.primary = primary;
  d.unique = primary;
  items_.push_back(d);
}

TTable::TTable() = default;
TTable::~TTable() { Close(); }

void TTable::checkInactive(const char* what) const {
  if (Active()) throw EDatabaseError(std::string("Нельзя изменить ") + what + " открытой таблицы");
}

void TTable::SetDatabaseName(std::string name) {
  checkInactive("базу данных");
  databaseName_ = std::move(name);
}

void TTable::SetTableName(std::string name) {
  checkInactive("имя");
  tableName_ = std::move(name);
}

void TTable::SetTableType(TTableType t) {
  checkInactive("тип");
  tableType_ = t;
}

int TTable::TableLevel() const { return Active() ? Driver()->level() : tableLevel_; }

std::string TTable::directory() {
  std::string name = io::normalizePath(tableName_);
  if (name.find('/') != std::string::npos) return io::dirName(name);
  return Session().DatabaseDirectory(databaseName_);
}

std::string TTable::ResolvePath() {
  if (tableName_.empty()) throw EDatabaseError("Не указано имя таблицы");
  std::string name = io::normalizePath(tableName_);
  std::string dir = directory();
  std::string base = io::baseName(name);
  auto& fs = io::defaultFileSystem();
  if (!io::extensionOf(base).empty()) {
    std::string found = io::findFileNoCase(fs, dir, base);
    if (found.empty()) throw EDatabaseError("Таблица " + io::joinPath(dir, base) + " не найдена");
    return found;
  }
  TTableType type = tableType_ == ttDefault ? Session().DefaultTableType(databaseName_) : tableType_;
  const char* ext = type == ttDBase || type == ttFoxPro ? ".DBF" : type == ttASCII ? ".TXT" : ".DB";
  std::string found = io::findFileNoCase(fs, dir, base + ext);
  if (found.empty()) throw EDatabaseError("Таблица " + io::joinPath(dir, base + ext) + " не найдена");
  return found;
}

bool TTable::Exists() {
  try {
    ResolvePath();
    return true;
  } catch (const EDatabaseError&) {
    return false;
  }
}

std::unique_ptr<TableDriver> TTable::OpenDriver() {
  std::string path = ResolvePath();
  std::string ext = text::UpperCase(io::extensionOf(path));
  if (ext != ".DB")
    throw EDatabaseError("Таблица " + path + ": формат " + ext + " пока не поддерживается");
  paradox::OpenOptions opt;
  opt.codePage = codePage_ ? codePage_ : Session().CodePageOf(databaseName_);
  opt.passwords = Session().PasswordsFor(databaseName_);
  opt.synchronousWrites = text::TextToBool(Session().AliasParam(databaseName_, "SYNC WRITES"));
  return std::make_unique<paradox::ParadoxTable>(path, opt);
}

std::unique_ptr<TableDriver> TTable::CreateDriver() { return OpenDriver(); }

void TTable::AfterOpen() {
  fieldDefs_.items_ = Driver()->fields();
  if (readOnly_)
    for (int i = 0; i < FieldCount(); ++i) Fields(i)->SetReadOnly(true);
}

namespace {

// The Paradox field for a field definition: type code and header size byte.
paradox::NewField paradoxField(const TFieldDesc& d) {
  using namespace paradox;
  auto size = [&](int lo, int hi, int def) {
    int v = d.size ? d.size : def;
    if (v < lo || v > hi)
      throw EDatabaseError("Поле «" + d.name + "»: недопустимый размер " + std::to_string(d.size) + " для таблицы Paradox");
    return static_cast<uint8_t>(v);
  };
  NewField f;
  f.name = d.name;
  switch (d.dataType) {
    case ftString: case ftFixedChar: case ftWideString: f.type = pxAlpha; f.size = size(1, 255, 0); break;
    case ftSmallint: f.type = pxShort; f.size = 2; break;
    case ftInteger: case ftWord: f.type = pxLong; f.size = 4; break;
    case ftAutoInc: f.type = pxAutoInc; f.size = 4; break;
    case ftBoolean: f.type = pxLogical; f.size = 1; break;
    case ftFloat: f.type = pxNumber; f.size = 8; break;
    case ftCurrency: f.type = pxMoney; f.size = 8; break;
    case ftBCD: f.type = pxBcd; f.size = size(0, 32, 0); break;
    case ftDate: f.type = pxDate; f.size = 4; break;
    case ftTime: f.type = pxTime; f.size = 4; break;
    case ftDateTime: f.type = pxTimestamp; f.size = 8; break;
    case ftBytes: f.type = pxBytes; f.size = size(1, 255, 0); break;
    case ftMemo: f.type = pxMemo; f.size = static_cast<uint8_t>(10 + size(1, 240, 1)); break;
    case ftFmtMemo: f.type = pxFmtMemo; f.size = static_cast<uint8_t>(10 + size(0, 240, 0)); break;
    case ftBlob: case ftVarBytes: case ftTypedBinary: f.type = pxBlob; f.size = static_cast<uint8_t>(10 + size(0, 240, 0)); break;
    case ftGraphic: f.type = pxGraphic; f.size = static_cast<uint8_t>(10 + size(0, 240, 0)); break;
    case ftParadoxOle: case ftDBaseOle: f.type = pxOle; f.size = static_cast<uint8_t>(10 + size(0, 240, 0)); break;
    default:
      throw EDatabaseError("Поле «" + d.name + "»: тип " + std::string(fieldTypeName(d.dataType)) + " нельзя хранить в таблице Paradox");
  }
  if (d.size == 0 && (f.type == pxAlpha || f.type == pxBytes))
    throw EDatabaseError("Поле «" + d.name + "»: не указан размер");
  return f;
}

std::vector<std::string> splitFields(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == ';') {
      out.push_back(std::string(text::Trim(cur)));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!text::Trim(cur).empty()) out.push_back(std::string(text::Trim(cur)));
  return out;
}

}  // namespace

std::string TTable::newTablePath() {
  if (tableName_.empty()) throw EDatabaseError("Не указано имя таблицы");
  std::string name = io::normalizePath(tableName_);
  std::string dir = directory();
  std::string base = io::baseName(name);
  std::string ext = text::UpperCase(io::extensionOf(base));
  TTableType type = tableType_ == ttDefault ? Session().DefaultTableType(databaseName_) : tableType_;
  if (ext.empty() && type != ttParadox) throw EDatabaseError("Создавать можно только таблицы Paradox");
  if (!ext.empty() && ext != ".DB") throw EDatabaseError("Создавать можно только таблицы Paradox (.DB), а не " + ext);
  std::string existing = io::findFileNoCase(io::defaultFileSystem(), dir, ext.empty() ? base + ".DB" : base);
  return existing.empty() ? io::joinPath(dir, ext.empty() ? base + ".DB" : base) : existing;
}

void TTable::CreateTable() {
  checkInactive("структуру");
  if (fieldDefs_.Count() == 0) throw EDatabaseError("Не заданы поля новой таблицы");
  std::vector<paradox::NewField> fields;
  for (const auto& d : fieldDefs_.Items()) fields.push_back(paradoxField(d));
  paradox::BuilderOptions opt;
  opt.level = tableLevel_ ? tableLevel_ : 7;
  for (const auto& ix : indexDefs_.Items()) {
    if (!ix.primary) throw EDatabaseError("Вторичные индексы при создании таблицы не поддерживаются: «" + ix.name + "»");
    auto names = splitFields(ix.fields);
    for (size_t i = 0; i < names.size(); ++i)
      if (i >= fields.size() || text::UpperCase(names[i]) != text::UpperCase(fields[i].name))
        throw EDatabaseError("Ключ таблицы Paradox составляют первые поля по порядку, а «" + ix.fields + "» — нет");
    opt.keyFields = static_cast<int>(names.size());
  }
  int cp = codePage_ ? codePage_ : Session().CodePageOf(databaseName_);
  if (!cp) cp = 1251;
  opt.codePage = cp;
  switch (cp) {
    case 1251: opt.sortOrder = 0x8F; opt.sortId = "ancyrr"; break;
    case 866: opt.sortOrder = 0xC0; opt.sortId = "cyrr"; break;
    case 1252: opt.sortOrder = 0x62; opt.sortId = "ANSIINTL"; break;
    default: opt.sortOrder = 0; opt.sortId = "ascii"; break;
  }
  uint32_t recordSize = 0;
  for (const auto& f : fields) recordSize += paradox::recordBytes(f.type, f.size);
  opt.blockSizeKiB = recordSize + 6 <= 2048 ? 2 : recordSize + 6 <= 4096 ? 4 : opt.level == 7 ? (recordSize + 6 <= 16384 ? 16 : 32) : 4;

  std::string path = newTablePath();
  auto& fs = io::defaultFileSystem();
  // Nobody may hold the old table while it is replaced.
  paradox::WriteLock lock = paradox::WriteLock::forNewTable(fs, path);
  std::string aside = io::withoutExtension(path) + ".~ck" + io::extensionOf(path);
  opt.fs = &fs;
  opt.tableName = io::baseName(path);
  std::string asidePx, asideMb;
  try {
    paradox::ParadoxTableBuilder b(aside, fields, opt);
    b.finish();
    asidePx = b.pxPath();
    asideMb = b.mbPath();
  } catch (...) {
    for (const auto& p : {aside, io::withoutExtension(aside) + ".PX", io::withoutExtension(aside) + ".MB",
                          io::withoutExtension(aside) + ".px", io::withoutExtension(aside) + ".mb"})
      if (fs.exists(p)) fs.remove(p);
    throw;
  }
  try {
    for (const auto& ext : lock.extensions())
      if (ext != ".db") lock.removeFile(ext);
    std::string base = io::withoutExtension(path);
    bool upper = io::extensionOf(path) == ".DB";
    fs.rename(aside, path);
    if (!asidePx.empty() && fs.exists(asidePx)) fs.rename(asidePx, base + (upper ? ".PX" : ".px"));
    if (!asideMb.empty() && fs.exists(asideMb)) fs.rename(asideMb, base + (upper ? ".MB" : ".mb"));
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся заменить таблицу ") + path + ": " + e.what());
  }
}

void TTable::DeleteTable() {
  checkInactive("состав");
  std::string path = ResolvePath();
  auto& fs = io::defaultFileSystem();
  paradox::WriteLock lock(fs, path);
  std::string journal = io::withoutExtension(path) + ".CKJ";
  try {
    for (const auto& ext : lock.extensions())
      if (ext != ".db") lock.removeFile(ext);
    lock.removeFile(".db");
    std::string j = io::findFileNoCase(fs, io::dirName(path), io::baseName(journal));
    if (!j.empty()) fs.remove(j);
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся удалить таблицу ") + path + ": " + e.what());
  }
}
