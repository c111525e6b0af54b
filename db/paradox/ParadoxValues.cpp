#include "db/paradox/ParadoxValues.h"

#include "common/Errors.h"
#include "db/ValueText.h"
#include "db/paradox/ParadoxFormat.h"

#include <cmath>
#include <cstring>

namespace paradox {

BlobDescriptor readBlobDescriptor(const uint8_t* fb, const FieldInfo& f) {
  const uint8_t* d = fb + f.bytes - kBlobDescriptorBytes;
  BlobDescriptor b;
  uint32_t w = le32(d);
  b.index = static_cast<uint8_t>(w & 0xFF);
  b.offset = w & 0xFFFFFF00u;
  b.length = le32(d + 4);
  b.modNumber = le16(d + 8);
  return b;
}

void writeBlobDescriptor(uint8_t* fb, const FieldInfo& f, const BlobDescriptor& b) {
  uint8_t* d = fb + f.bytes - kBlobDescriptorBytes;
  putLe32(d, (b.offset & 0xFFFFFF00u) | b.index);
  putLe32(d + 4, b.length);
  putLe16(d + 8, b.modNumber);
}

bool decodeBcd(const uint8_t* p, int scale, std::string& digits, std::string& error) {
  if ((p[0] & 0x3F) != scale) {
    error = "число BCD записано с масштабом " + std::to_string(p[0] & 0x3F) + " вместо " + std::to_string(scale);
    return false;
  }
  bool neg = (p[0] & 0x80) == 0;
  char buf[33];
  size_t n = 0;  // digits kept, leading zeros skipped
  int significant = 0;
  bool garbage = false;
  buf[n++] = '-';
  // Leading zero digits fill whole bytes (0x00, or 0xFF in a negative number): skip them.
  const uint8_t zeroByte = neg ? 0xFF : 0x00;
  int first = 0;
  while (first < 32 && p[1 + first / 2] == zeroByte) first += 2;
  for (int i = first; i < 32; ++i) {
    uint8_t byte = p[1 + i / 2];
    int nib = (i % 2 == 0) ? byte >> 4 : byte & 0x0F;
    if (neg) nib = 15 - nib;
    if (!garbage && nib > 9) {
      // The engine itself leaves such nibbles far right of the point when it converts
      // through a double; there they carry no meaning. Among the leading digits they
      // are damage.
      if (significant < 18) {
        error = "недопустимая цифра BCD (" + std::to_string(nib) + ") в разряде " + std::to_string(i + 1);
        return false;
      }
      garbage = true;
    }
    if (garbage) nib = 0;
    if (significant || nib) ++significant;
    if (significant) buf[n++] = static_cast<char>('0' + nib);
  }
  if (n == 1) {
    digits.assign(1, '0');
    return true;
  }
  digits.assign(neg ? buf : buf + 1, neg ? n : n - 1);
  return true;
}

void encodeBcd(uint8_t* p, int scale, const std::string& digitsIn) {
  bool neg = !digitsIn.empty() && digitsIn[0] == '-';
  std::string d = neg ? digitsIn.substr(1) : digitsIn;
  if (d.size() < 32) d.insert(0, 32 - d.size(), '0');
  p[0] = static_cast<uint8_t>((neg ? 0x40 : 0xC0) | scale);
  for (int i = 0; i < 16; ++i) {
    int hi = d[static_cast<size_t>(2 * i)] - '0', lo = d[static_cast<size_t>(2 * i + 1)] - '0';
    if (neg) {
      hi = 15 - hi;
      lo = 15 - lo;
    }
    p[1 + i] = static_cast<uint8_t>(hi << 4 | lo);
  }
}

bool decodeValue(const FieldInfo& f, const uint8_t* p, const codepage::Codec& codec, Value& out, std::string& error) {
  switch (f.type) {
    case pxAlpha: {
      const void* nul = std::memchr(p, 0, f.bytes);
      size_t len = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - p) : f.bytes;
      if (len == 0) {
        out.kind = Value::Kind::Null;
        return true;
      }
      out.kind = Value::Kind::Text;
      out.s.clear();
      codec.decodeAppend(reinterpret_cast<const char*>(p), len, out.s);
      return true;
    }
    case pxShort:
    case pxLong:
    case pxAutoInc: {
      int n = f.type == pxShort ? 2 : 4;
      if (allZero(p, static_cast<size_t>(n))) {
        out.kind = Value::Kind::Null;
        return true;
      }
      out.kind = Value::Kind::Int;
      out.i = decodeInt(p, n);
      if (f.type == pxAutoInc && out.i <= 0) {
        error = "недопустимое значение автоинкремента " + std::to_string(out.i);
        return false;
      }
      return true;
    }
    case pxDate: {
      if (allZero(p, 4)) {
        out.kind = Value::Kind::Null;
        return true;
      }
      int64_t days = decodeInt(p, 4);
      if (days <= 0 || days > kMaxDay) {
        error = "недопустимое значение даты (" + std::to_string(days) + ")";
        return false;
      }
      out.kind = Value::Kind::Date;
      out.i = days;
      return true;
    }
    case pxTime: {
      if (allZero(p, 4)) {
        out.kind = Value::Kind::Null;
        return true;
      }
      int64_t ms = decodeInt(p, 4);
      if (ms < 0 || ms >= kMsPerDay) {
        error = "недопустимое значение времени (" + std::to_string(ms) + " мс)";
        return false;
      }
      out.kind = Value::Kind::Time;
      out.i = ms;
      return true;
    }
    case pxNumber:
    case pxMoney:
    case pxTimestamp: {
      if (allZero(p, 8)) {
        out.kind = Value::Kind::Null;
        return true;
      }
      double d = decodeDouble(p);
      if (!std::isfinite(d)) {
        error = f.type == pxTimestamp ? "недопустимое значение даты и времени" : "недопустимое число (NaN или бесконечность)";
        return false;
      }
      if (f.type == pxTimestamp) {
        double day = std::floor(d / static_cast<double>(kMsPerDay));
        if (d < 0 || day < 1 || day > static_cast<double>(kMaxDay)) {
          error = "недопустимое значение даты и времени (" + valuetext::formatFloat(d) + " мс)";
          return false;
        }
        out.kind = Value::Kind::DateTime;
        out.d = d;
      } else {
        out.kind = Value::Kind::Float;
        out.d = d;
      }
      return true;
    }
    case pxLogical:
      if (p[0] == 0) out.kind = Value::Kind::Null;
      else if (p[0] == 0x80) {
        out.kind = Value::Kind::Bool;
        out.i = 0;
      }
      else if (p[0] == 0x81) {
        out.kind = Value::Kind::Bool;
        out.i = 1;
      }
      else {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", p[0]);
        error = std::string("недопустимое логическое значение ") + buf;
        return false;
      }
      return true;
    case pxBcd: {
      if ((p[0] & 0x40) == 0) {
        out.kind = Value::Kind::Null;
        return true;
      }
      if (!decodeBcd(p, f.size, out.s, error)) return false;
      out.kind = Value::Kind::Bcd;
      out.i = f.size;
      return true;
    }
    case pxBytes:
      if (allZero(p, f.bytes)) out.kind = Value::Kind::Null;
      else {
        out.kind = Value::Kind::Bytes;
        out.s.assign(reinterpret_cast<const char*>(p), f.bytes);
      }
      return true;
    default:
      error = "поле этого типа не читается как простое значение";
      return false;
  }
}

namespace {

[[noreturn]] void rangeError(const std::string& field, const std::string& what) {
  throw EConvertError("Поле «" + field + "»: " + what);
}

}  // namespace

void encodeValue(const FieldInfo& f, const Value& v, const codepage::Codec& codec, uint8_t* p,
                 const std::string& fieldName) {
  if (v.isNull()) {
    std::memset(p, 0, f.bytes);
    if (f.type == pxBcd) p[0] = f.size;  // NULL BCD keeps its scale, as Paradox writes it
    return;
  }
  switch (f.type) {
    case pxAlpha: {
      std::string bytes;
      char32_t bad = 0;
      if (!codec.encodeAppend(v.s, bytes, &bad)) {
        std::string ch;
        codepage::appendUtf8(ch, bad);
        rangeError(fieldName, "символ «" + ch + "» нельзя записать в кодовой странице " +
                                  std::to_string(codec.codePage()));
      }
      if (bytes.size() > f.bytes)
        rangeError(fieldName, "текст длиной " + std::to_string(bytes.size()) + " не помещается в поле длиной " +
                                  std::to_string(f.bytes));
      if (bytes.find('\0') != std::string::npos) rangeError(fieldName, "текст содержит нулевой символ");
      std::memset(p, 0, f.bytes);
      std::memcpy(p, bytes.data(), bytes.size());
      return;
    }
    case pxShort:
    case pxLong:
    case pxAutoInc: {
      int n = f.type == pxShort ? 2 : 4;
      int64_t lim = n == 2 ? 32767 : 2147483647;
      // The most negative value would be stored as the blank pattern.
      if (v.i < -lim || v.i > lim)
        rangeError(fieldName, "значение " + std::to_string(v.i) + " вне диапазона от " + std::to_string(-lim) +
                                  " до " + std::to_string(lim));
      encodeInt(p, n, v.i);
      return;
    }
    case pxDate:
      if (v.i <= 0 || v.i > kMaxDay) rangeError(fieldName, "недопустимая дата");
      encodeInt(p, 4, v.i);
      return;
    case pxTime:
      if (v.i < 0 || v.i >= kMsPerDay) rangeError(fieldName, "недопустимое время");
      encodeInt(p, 4, v.i);
      return;
    case pxNumber:
    case pxMoney:
    case pxTimestamp:
      if (!std::isfinite(v.d)) rangeError(fieldName, "недопустимое число");
      encodeDouble(p, v.d);
      return;
    case pxLogical:
      p[0] = v.i ? 0x81 : 0x80;
      return;
    case pxBcd:
      encodeBcd(p, f.size, v.s);
      return;
    case pxBytes:
      if (v.s.size() > f.bytes)
        rangeError(fieldName, "значение длиной " + std::to_string(v.s.size()) + " байт не помещается в поле длиной " +
                                  std::to_string(f.bytes));
      std::memset(p, 0, f.bytes);
      std::memcpy(p, v.s.data(), v.s.size());
      return;
    default:
      rangeError(fieldName, "значение этого типа записывается иначе");
  }
}

}  // namespace paradox
