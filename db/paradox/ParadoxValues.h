#pragma once
// Field values inside Paradox records: bytes to Value and back, with the checks of what a
// valid table can hold (impossible dates and times, invalid logical bytes, BCD with the
// wrong scale or non-decimal digits, NaN numbers). BLOB fields are only split into leader
// and descriptor here; the .MB file is read elsewhere.
#include "common/CodePage.h"
#include "db/Value.h"
#include "db/paradox/ParadoxHeader.h"

#include <cstdint>
#include <string>

namespace paradox {

struct BlobDescriptor {
  uint8_t index = 0;     // 0xFF: a block of its own; 0–63: entry of a sub-allocated block
  uint32_t offset = 0;   // of the MB block, a multiple of 4096; 0 = no MB data
  uint32_t length = 0;
  uint16_t modNumber = 0;
};

BlobDescriptor readBlobDescriptor(const uint8_t* fieldBytes, const FieldInfo& f);
void writeBlobDescriptor(uint8_t* fieldBytes, const FieldInfo& f, const BlobDescriptor& d);

// Decodes a non-BLOB field. On a value no valid table holds, returns false and says what
// is wrong in `error` (the caller adds where).
bool decodeValue(const FieldInfo& f, const uint8_t* bytes, const codepage::Codec& codec, Value& out,
                 std::string& error);

// Encodes a non-BLOB value into the field's bytes. Throws EConvertError for a value the
// field cannot hold (out of range, too long, a character outside the code page).
void encodeValue(const FieldInfo& f, const Value& v, const codepage::Codec& codec, uint8_t* bytes,
                 const std::string& fieldName);

// BCD: bytes to digits (Value::Kind::Bcd form) and back.
bool decodeBcd(const uint8_t* bytes, int scale, std::string& digits, std::string& error);
void encodeBcd(uint8_t* bytes, int scale, const std::string& digits);

}  // namespace paradox
