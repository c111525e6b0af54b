#include "db/paradox/ParadoxHeader.h"

#include "db/EngineError.h"
#include "db/paradox/ParadoxFormat.h"

#include <set>

namespace paradox {

const char* typeLetter(uint8_t type) {
  switch (type) {
    case pxAlpha: return "A";
    case pxDate: return "D";
    case pxShort: return "S";
    case pxLong: return "I";
    case pxMoney: return "$";
    case pxNumber: return "N";
    case pxLogical: return "L";
    case pxMemo: return "M";
    case pxBlob: return "B";
    case pxFmtMemo: return "F";
    case pxOle: return "O";
    case pxGraphic: return "G";
    case pxTime: return "T";
    case pxTimestamp: return "@";
    case pxAutoInc: return "+";
    case pxBcd: return "#";
    case pxBytes: return "Y";
    default: return "?";
  }
}

int levelOfVersion(uint8_t v) {
  if (v <= 4) return 3;
  if (v <= 9) return 4;
  if (v <= 11) return 5;
  return 7;
}

int Header::level() const { return levelOfVersion(fileVersionID); }

namespace {

std::string hexByte(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v);
  return buf;
}

// Is the size byte possible for the type?
bool sizeFits(uint8_t type, uint8_t size) {
  switch (type) {
    case pxAlpha:
    case pxBytes: return size >= 1;
    case pxDate:
    case pxLong:
    case pxTime:
    case pxAutoInc: return size == 4;
    case pxShort: return size == 2;
    case pxNumber:
    case pxMoney:
    case pxTimestamp: return size == 8;
    case pxLogical: return size == 1;
    case pxMemo: return size >= 11 && size <= 250;
    case pxBlob:
    case pxFmtMemo:
    case pxOle:
    case pxGraphic: return size >= 10 && size <= 250;
    case pxBcd: return size <= 32;
    default: return false;
  }
}

bool knownType(uint8_t t) {
  switch (t) {
    case pxAlpha: case pxDate: case pxShort: case pxLong: case pxMoney: case pxNumber: case pxLogical:
    case pxMemo: case pxBlob: case pxFmtMemo: case pxOle: case pxGraphic: case pxTime: case pxTimestamp:
    case pxAutoInc: case pxBcd: case pxBytes:
      return true;
    default:
      return false;
  }
}

}  // namespace

Header readHeader(io::File& file, const std::string& name, FileKind kind) {
  Header h;
  uint64_t fileSize = file.size();
  auto bad = [&](const std::string& what, uint64_t offset) { throwDamage(name, what, DamagePlace{{}, {}, {}, offset}); };
  if (fileSize < 0x58) bad("файл короче заголовка (" + std::to_string(fileSize) + " байт)", 0);

  uint8_t fixed[0x78] = {};
  file.readAt(0, fixed, sizeof fixed);
  h.recordSize = le16(fixed + 0x00);
  h.headerSize = le16(fixed + 0x02);
  h.fileType = fixed[0x04];
  h.maxTableSize = fixed[0x05];
  h.numRecords = le32(fixed + 0x06);
  h.usedBlocks = le16(fixed + 0x0A);
  h.fileBlocks = le16(fixed + 0x0C);
  h.firstBlock = le16(fixed + 0x0E);
  h.lastBlock = le16(fixed + 0x10);
  h.modifiedFlags1 = fixed[0x14];
  h.indexFieldNumber = fixed[0x15];
  h.indexRoot = le16(fixed + 0x1E);
  h.indexLevels = fixed[0x20];
  h.numFields = le16s(fixed + 0x21);
  h.keyFields = le16s(fixed + 0x23);
  h.sortOrder = fixed[0x29];
  h.modifiedFlags2 = fixed[0x2A];
  h.changeCount1 = fixed[0x2D];
  h.changeCount2 = fixed[0x2E];
  h.writeProtected = fixed[0x38];
  h.fileVersionID = fixed[0x39];
  h.autoIncrement = le32(fixed + 0x49);
  h.firstFreeBlock = le16(fixed + 0x4D);
  h.realHeaderSize = le16(fixed + 0x51);
  h.indexFlags = fixed[0x55];

  bool isTableLike = kind == FileKind::Table || kind == FileKind::SecondaryX;
  switch (kind) {
    case FileKind::Table:
      if (h.fileType != ftKeyedDb && h.fileType != ftUnkeyedDb)
        bad("тип файла " + std::to_string(h.fileType) + " не является таблицей Paradox", 0x04);
      break;
    case FileKind::PrimaryIndex:
      if (h.fileType != ftPrimaryIndex)
        bad("тип файла " + std::to_string(h.fileType) + " не является первичным индексом", 0x04);
      break;
    case FileKind::SecondaryX:
      if (h.fileType != ftSecondaryX && h.fileType != ftMaintainedX && h.fileType != ftNamedX &&
          h.fileType != ftMaintainedNamedX)
        bad("тип файла " + std::to_string(h.fileType) + " не является вторичным индексом", 0x04);
      break;
    case FileKind::SecondaryY:
      if (h.fileType != ftSecondaryY && h.fileType != ftNamedY)
        bad("тип файла " + std::to_string(h.fileType) + " не является деревом вторичного индекса", 0x04);
      break;
  }
  if (h.fileVersionID < 3 || h.fileVersionID > 12)
    bad("неизвестная версия файла " + std::to_string(h.fileVersionID), 0x39);
  switch (h.maxTableSize) {
    case 1: case 2: case 3: case 4: case 16: case 32: break;
    default: bad("недопустимый размер блока (" + std::to_string(h.maxTableSize) + " КБ)", 0x05);
  }
  if (h.recordSize == 0 || h.recordSize > h.blockSize() - 6)
    bad("недопустимый размер записи " + std::to_string(h.recordSize), 0x00);
  if (h.numFields < 1 || h.numFields > 255)
    bad("недопустимое число полей " + std::to_string(h.numFields), 0x21);

  h.hasDataHeader = h.fileVersionID >= 5 && isTableLike;
  if (h.hasDataHeader) {
    h.codePage = le16(fixed + 0x6A);
    h.checksum = le32(fixed + 0x5C);
  } else {
    h.checksum = le32(fixed + 0x25);
  }
  // Level 3.0 headers are exactly as long as their contents; others are at least 0x800
  // but the file may still be shorter when it holds no blocks.
  if (h.headerSize < 0x58 + 2u * static_cast<unsigned>(h.numFields) || h.headerSize > fileSize)
    bad("недопустимый размер заголовка " + std::to_string(h.headerSize) + " (файл " + std::to_string(fileSize) +
            " байт)",
        0x02);

  h.raw.resize(h.headerSize);
  if (file.readAt(0, h.raw.data(), h.raw.size()) != h.raw.size()) bad("заголовок обрезан", 0);
  const uint8_t* p = h.raw.data();
  const size_t end = h.raw.size();
  size_t pos = h.hasDataHeader ? 0x78 : 0x58;
  auto need = [&](size_t n, const char* what) {
    if (pos + n > end) bad(std::string("заголовок обрезан: ") + what + " выходят за его пределы", pos);
  };

  auto n = static_cast<size_t>(h.numFields);
  need(2 * n, "описания полей");
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    FieldInfo f;
    f.type = p[pos + 2 * i];
    f.size = p[pos + 2 * i + 1];
    if (!knownType(f.type))
      bad("поле " + std::to_string(i + 1) + ": неизвестный тип " + hexByte(f.type), pos + 2 * i);
    if (!sizeFits(f.type, f.size))
      bad("поле " + std::to_string(i + 1) + " типа " + typeLetter(f.type) + ": недопустимый размер " +
              std::to_string(f.size),
          pos + 2 * i + 1);
    f.offset = sum;
    f.bytes = recordBytes(f.type, f.size);
    sum += f.bytes;
    h.fields.push_back(f);
  }
  pos += 2 * n;
  uint32_t expected = (kind == FileKind::PrimaryIndex || kind == FileKind::SecondaryY) ? sum + 6 : sum;
  if (expected != h.recordSize)
    bad("сумма размеров полей (" + std::to_string(expected) + ") не равна размеру записи (" +
            std::to_string(h.recordSize) + ")",
        0x00);

  if (kind == FileKind::Table) {
    if (h.keyFields < 0 || h.keyFields > h.numFields)
      bad("число ключевых полей " + std::to_string(h.keyFields) + " больше числа полей", 0x23);
    if (h.fileType == ftUnkeyedDb && h.keyFields > 0)
      bad("таблица без ключа указывает ключевые поля (" + std::to_string(h.keyFields) + ")", 0x23);
    if (h.fileType == ftKeyedDb && h.keyFields == 0) bad("ключевая таблица без ключевых полей", 0x23);
  }

  need(4, "указатель имени таблицы");
  pos += 4;
  if (isTableLike) {
    need(4 * n, "указатели имён полей");
    pos += 4 * n;
  }
  size_t nameLen = h.fileVersionID >= 12 ? 261 : 79;
  need(nameLen, "имя таблицы");
  {
    const char* s = reinterpret_cast<const char*>(p + pos);
    size_t len = 0;
    while (len < nameLen && s[len]) ++len;
    h.rawTableName.assign(s, len);
  }
  pos += nameLen;

  if (isTableLike) {
    std::set<std::string> seen;
    for (size_t i = 0; i < n; ++i) {
      size_t start = pos;
      while (pos < end && p[pos]) ++pos;
      if (pos >= end) bad("имя поля " + std::to_string(i + 1) + " не завершено внутри заголовка", start);
      h.fields[i].rawName.assign(reinterpret_cast<const char*>(p + start), pos - start);
      ++pos;
    }
    if (h.hasDataHeader) {
      // The field-number array sits where the data header says; trust our own walk when
      // the two agree, else take the data header's offset if it lies inside the header.
      size_t arrayAt = 0x58 + le16(p + 0x66);
      if (arrayAt + 2 * n <= end) pos = arrayAt;
      need(2 * n, "номера полей");
      for (size_t i = 0; i < n; ++i) h.fields[i].number = le16(p + pos + 2 * i) & 0x7FFF;
      pos += 2 * n;
      size_t start = pos;
      while (pos < end && p[pos]) ++pos;
      if (pos < end) {
        h.sortId.assign(reinterpret_cast<const char*>(p + start), pos - start);
        ++pos;
      }
      if (kind == FileKind::SecondaryX) {
        start = pos;
        while (pos < end && p[pos]) ++pos;
        if (pos < end) h.rawIndexName.assign(reinterpret_cast<const char*>(p + start), pos - start);
      }
    }
  }
  return h;
}

}  // namespace paradox
