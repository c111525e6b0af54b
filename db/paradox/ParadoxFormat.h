#pragma once
// Byte-level helpers and constants of the Paradox table format. Header and block-control
// fields are little-endian; field values inside records are big-endian with the sign bit
// inverted, so that a byte-wise comparison sorts them.
#include <cstdint>
#include <cstring>

namespace paradox {

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline int16_t le16s(const uint8_t* p) { return static_cast<int16_t>(le16(p)); }
inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
inline void putLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Field type bytes of the header.
enum FieldTypeCode : uint8_t {
  pxAlpha = 0x01, pxDate = 0x02, pxShort = 0x03, pxLong = 0x04, pxMoney = 0x05, pxNumber = 0x06,
  pxLogical = 0x09, pxMemo = 0x0C, pxBlob = 0x0D, pxFmtMemo = 0x0E, pxOle = 0x0F, pxGraphic = 0x10,
  pxTime = 0x14, pxTimestamp = 0x15, pxAutoInc = 0x16, pxBcd = 0x17, pxBytes = 0x18
};

// File types (header byte 0x04).
enum FileType : uint8_t {
  ftKeyedDb = 0, ftPrimaryIndex = 1, ftUnkeyedDb = 2, ftSecondaryX = 3, ftSecondaryY = 4,
  ftMaintainedX = 5, ftNamedX = 6, ftNamedY = 7, ftMaintainedNamedX = 8
};

constexpr uint32_t kBcdBytes = 17;
constexpr uint32_t kBlobDescriptorBytes = 10;
constexpr uint32_t kMbBlockSize = 4096;

inline bool isBlobCode(uint8_t t) { return t == pxMemo || t == pxBlob || t == pxFmtMemo || t == pxOle || t == pxGraphic; }

// Bytes a field of this type and header size byte takes in the record.
inline uint32_t recordBytes(uint8_t type, uint8_t size) { return type == pxBcd ? kBcdBytes : size; }

// The readable letter of a field type, as the Paradox user knows it ("A", "N", "$", …).
const char* typeLetter(uint8_t type);

// Integer and float values in records.
inline uint64_t loadBe(const uint8_t* p, int n) {
  // The usual widths load in one go; this runs for every number of every record.
  switch (n) {
    case 2: { uint16_t v; std::memcpy(&v, p, 2); return __builtin_bswap16(v); }
    case 4: { uint32_t v; std::memcpy(&v, p, 4); return __builtin_bswap32(v); }
    case 8: { uint64_t v; std::memcpy(&v, p, 8); return __builtin_bswap64(v); }
    default: break;
  }
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}
inline void storeBe(uint8_t* p, int n, uint64_t v) {
  for (int i = n - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}
inline bool allZero(const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w) return false;
  }
  for (; i < n; ++i)
    if (p[i]) return false;
  return true;
}
// n-byte signed integer in the sign-flipped form; the caller checks for NULL (all zero).
inline int64_t decodeInt(const uint8_t* p, int n) {
  uint64_t raw = loadBe(p, n) ^ (uint64_t{1} << (8 * n - 1));
  int shift = 64 - 8 * n;
  return static_cast<int64_t>(raw << shift) >> shift;
}
inline void encodeInt(uint8_t* p, int n, int64_t v) {
  uint64_t mask = n == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
  storeBe(p, n, (static_cast<uint64_t>(v) & mask) ^ (uint64_t{1} << (8 * n - 1)));
}
inline double decodeDouble(const uint8_t* p) {
  uint64_t raw = loadBe(p, 8);
  if (raw & 0x8000000000000000ULL) raw &= 0x7FFFFFFFFFFFFFFFULL;
  else raw = ~raw;
  double d;
  std::memcpy(&d, &raw, 8);
  return d;
}
inline void encodeDouble(uint8_t* p, double d) {
  uint64_t raw;
  std::memcpy(&raw, &d, 8);
  if (raw & 0x8000000000000000ULL) raw = ~raw;
  else raw |= 0x8000000000000000ULL;
  storeBe(p, 8, raw);
}

}  // namespace paradox
