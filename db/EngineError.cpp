#include "db/EngineError.h"

#include <cstdio>

std::string damageMessage(const std::string& file, const std::string& what, const DamagePlace& where) {
  std::string msg = "Таблица " + file + " повреждена: " + what;
  std::string place;
  auto add = [&](const std::string& s) {
    if (!place.empty()) place += ", ";
    place += s;
  };
  if (where.block) add("блок " + std::to_string(*where.block));
  if (where.record) add("запись " + std::to_string(*where.record));
  if (!where.field.empty()) add("поле «" + where.field + "»");
  if (where.offset) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(*where.offset));
    add(std::string("смещение ") + buf);
  }
  if (!place.empty()) msg += " (" + place + ")";
  return msg;
}

void throwDamage(const std::string& file, const std::string& what, const DamagePlace& where) {
  throw ETableDamaged(damageMessage(file, what, where));
}
