#include "db/Table.h"

#include "common/TextUtils.h"
#include "db/EngineError.h"
#include "db/FileAccess.h"
#include "db/paradox/ParadoxTable.h"

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
  return std::make_unique<paradox::ParadoxTable>(path, opt);
}

std::unique_ptr<TableDriver> TTable::CreateDriver() { return OpenDriver(); }

void TTable::AfterOpen() {
  fieldDefs_.items_ = Driver()->fields();
  if (readOnly_)
    for (int i = 0; i < FieldCount(); ++i) Fields(i)->SetReadOnly(true);
}
