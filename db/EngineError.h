#pragma once
// Every failing engine operation raises EDatabaseError; the message (UTF-8, Russian) is
// what the user sees, so it names the file and, where they apply, the block, the record,
// the field and the byte offset.
#include "common/Errors.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

class EDatabaseError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A table file whose bytes contradict the format: the heart of the table check.
class ETableDamaged : public EDatabaseError {
public:
  using EDatabaseError::EDatabaseError;
};

// Where in a table file something was found.
struct DamagePlace {
  std::optional<uint32_t> block;     // 1-based block number
  std::optional<uint64_t> record;    // 1-based record number in table order
  std::string field;                 // field name
  std::optional<uint64_t> offset;    // byte offset in the file
};

// "Таблица X повреждена: <what> (блок 3, запись 79, поле «Born», смещение 0x1A2B)".
std::string damageMessage(const std::string& file, const std::string& what, const DamagePlace& where = {});
[[noreturn]] void throwDamage(const std::string& file, const std::string& what, const DamagePlace& where = {});
