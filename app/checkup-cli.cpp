// checkup-cli: the engine from the command line, for scripts and for comparing the engine
// with other readers.
//
//   checkup-cli dump TABLE [--info] [--alias NAME] [--codepage N] [--password P]
#include "app/CliDump.h"

#include "common/TextUtils.h"

#include <iostream>
#include <string>

namespace {

int usage() {
  std::cerr << "Использование: checkup-cli dump ТАБЛИЦА [--info] [--alias ПСЕВДОНИМ] [--codepage N] [--password ПАРОЛЬ]\n"
               "  Выводит таблицу в CSV (строка имён полей, затем по строке на запись) или, с --info,\n"
               "  сведения о её заголовке, полях и индексах. Двоичные значения выводятся в шестнадцатеричном виде.\n"
               "  Код выхода: 0 — прочитано всё, 2 — таблица повреждена, 1 — другая ошибка.\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  if (argc < 3 || std::string(argv[1]) != "dump") return usage();
  DumpOptions o;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(1);
      }
      return argv[++i];
    };
    if (a == "--info") o.info = true;
    else if (a == "--alias" || a == "--database") o.database = next();
    else if (a == "--codepage") o.codePage = text::DigitsToInt(next());
    else if (a == "--password") o.passwords.push_back(next());
    else if (!a.empty() && a[0] == '-') return usage();
    else if (o.table.empty()) o.table = a;
    else return usage();
  }
  if (o.table.empty()) return usage();
  return runDump(o, std::cout, std::cerr);
}
