#include "app/CliDump.h"

#include "common/TextUtils.h"
#include "db/EngineError.h"
#include "db/Table.h"
#include "db/paradox/ParadoxTable.h"

#include <ostream>

std::string csvCell(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string r = "\"";
  for (char c : s) {
    if (c == '"') r += '"';
    r += c;
  }
  return r + "\"";
}

namespace {


bool binary(TFieldType t) { return t == ftBytes || t == ftVarBytes || (isBlobType(t) && !isTextBlobType(t)); }

void printInfo(TTable& table, std::ostream& out) {
  auto* px = dynamic_cast<paradox::ParadoxTable*>(table.Driver());
  out << "Файл: " << table.Driver()->fileName() << "\n";
  if (px) {
    const auto& h = px->header();
    out << "Уровень: " << h.level() << " (версия файла " << int(h.fileVersionID) << ")\n";
    out << "Ключевая: " << (h.keyFields > 0 ? "да, ключевых полей " + std::to_string(h.keyFields) : std::string("нет"))
        << "\n";
    out << "Размер записи: " << h.recordSize << ", размер блока: " << h.blockSize() << ", размер заголовка: " << h.headerSize
        << "\n";
    out << "Записей в заголовке: " << h.numRecords << ", читается: " << px->recordCount() << "\n";
    out << "Блоков: " << h.fileBlocks << " (в цепочке " << h.usedBlocks << ", первый " << h.firstBlock << ", последний "
        << h.lastBlock << ", первый свободный " << h.firstFreeBlock << ")\n";
    out << "Кодовая страница: " << px->codePage() << " (в заголовке " << h.codePage << ", драйвер "
        << (h.sortId.empty() ? "-" : h.sortId) << ", порядок 0x" << std::hex << int(h.sortOrder) << std::dec << ")\n";
    out << "Имя в заголовке: " << px->tableNameInHeader() << "\n";
    out << "Зашифрована: " << (h.encrypted() ? "да" : "нет") << ", защищена от записи: " << (h.writeProtected ? "да" : "нет")
        << "\n";
    out << "Автоинкремент: " << h.autoIncrement << "\n";
  }
  out << "Поля:\n";
  for (const auto& f : table.FieldDefs().Items())
    out << "  " << f.name << "\t" << fieldTypeName(f.dataType) << "\t" << f.size << (f.readOnly ? "\tтолько чтение" : "") << "\n";
  table.IndexDefs().Update();
  out << "Индексы:\n";
  for (const auto& ix : table.IndexDefs().Items()) {
    out << "  " << (ix.primary ? "*" : ix.name) << "\t" << ix.fields;
    if (ix.primary) out << "\tпервичный";
    if (ix.unique) out << "\tуникальный";
    if (ix.descending) out << "\tпо убыванию";
    if (ix.caseInsensitive) out << "\tбез учёта регистра";
    if (!ix.maintained) out << "\tне поддерживается";
    out << "\n";
  }
  if (px) {
    for (const auto& w : px->warnings()) out << "Предупреждение: " << w << "\n";
    if (!px->damage().empty()) out << "Повреждение: " << px->damage() << "\n";
  }
}

}  // namespace

int runDump(const DumpOptions& o, std::ostream& out, std::ostream& err) {
  for (const auto& p : o.passwords) Session().AddPassword(p);
  TTable table;
  uint64_t written = 0;
  try {
    table.SetDatabaseName(o.database);
    table.SetTableName(o.table);
    table.SetCodePage(o.codePage);
    table.Open();
    if (o.info) {
      printInfo(table, out);
      return 0;
    }
    for (int i = 0; i < table.FieldCount(); ++i) out << (i ? "," : "") << csvCell(table.Fields(i)->FieldName());
    out << "\n";
    std::string line;
    while (!table.Eof()) {
      line.clear();
      for (int i = 0; i < table.FieldCount(); ++i) {
        TField* f = table.Fields(i);
        std::string v = f->AsString();
        if (i) line += ',';
        line += csvCell(binary(f->DataType()) ? text::ToHex(v) : v);
      }
      out << line << "\n";
      ++written;
      table.Next();
    }
  } catch (const std::exception& e) {
    out.flush();
    err << e.what() << "\n";
    if (written) err << "Прочитано записей: " << written << "\n";
    return dynamic_cast<const ETableDamaged*>(&e) ? 2 : 1;
  }
  return 0;
}
