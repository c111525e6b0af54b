#include "db/paradox/ParadoxWriter.h"

#include "db/paradox/ParadoxBlob.h"
#include "db/paradox/ParadoxPrimaryIndex.h"

#include "common/Errors.h"
#include "db/EngineError.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxValues.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace paradox {

namespace {

constexpr uint32_t kMaxBlocks = 65535;
constexpr uint32_t kPendingBlocks = 16;   // data blocks written to the file at once
constexpr uint32_t kMaxFieldName = 25;    // characters, as Paradox allows
constexpr uint32_t kSmallBlobMax = 2048;  // larger BLOBs get a block of their own
constexpr uint32_t kSubEntries = 64;
constexpr uint32_t kFirstDataChunk = 0x15;
constexpr uint32_t kChunksPerBlock = kMbBlockSize / 16;

uint8_t versionOfLevel(int level) {
  switch (level) {
    case 3: return 3;
    case 4: return 9;
    case 5: return 11;
    case 7: return 12;
    default: return 0;
  }
}

// The lowest level that has the field type.
int levelOfType(uint8_t t) {
  switch (t) {
    case pxAlpha: case pxNumber: case pxMoney: case pxDate: case pxShort: return 3;
    case pxMemo: case pxBlob: case pxFmtMemo: case pxOle: case pxGraphic: return 4;
    case pxLong: case pxTime: case pxTimestamp: case pxLogical: case pxAutoInc: case pxBcd: case pxBytes: return 5;
    default: return 0;
  }
}

bool sizeAllowed(uint8_t type, uint8_t size) {
  switch (type) {
    case pxAlpha: case pxBytes: return size >= 1;
    case pxDate: case pxLong: case pxTime: case pxAutoInc: return size == 4;
    case pxShort: return size == 2;
    case pxNumber: case pxMoney: case pxTimestamp: return size == 8;
    case pxLogical: return size == 1;
    case pxMemo: return size >= 11 && size <= 250;
    case pxBlob: case pxFmtMemo: case pxOle: case pxGraphic: return size >= 10 && size <= 250;
    case pxBcd: return size <= 32;
    default: return false;
  }
}

std::string asciiLower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* kindName(Value::Kind k) {
  switch (k) {
    case Value::Kind::Null: return "пусто";
    case Value::Kind::Int: return "целое число";
    case Value::Kind::Float: return "число";
    case Value::Kind::Bool: return "логическое";
    case Value::Kind::Date: return "дата";
    case Value::Kind::Time: return "время";
    case Value::Kind::DateTime: return "дата и время";
    case Value::Kind::Bcd: return "число BCD";
    case Value::Kind::Text: return "текст";
    case Value::Kind::Bytes: return "байты";
  }
  return "?";
}

[[noreturn]] void convertError(const std::string& field, const std::string& what) {
  throw EConvertError("Поле «" + field + "»: " + what);
}

[[noreturn]] void kindMismatch(const std::string& field, uint8_t type, const Value& v) {
  convertError(field, std::string("значение типа «") + kindName(v.kind) + "» нельзя записать в поле типа " +
                          typeLetter(type));
}

// BCD digits of the value's scale brought to the field's scale; nothing is rounded away.
std::string rescaleBcd(const std::string& field, const std::string& digitsIn, int64_t fromScale, int toScale) {
  bool neg = !digitsIn.empty() && digitsIn[0] == '-';
  std::string d = neg ? digitsIn.substr(1) : digitsIn;
  if (d.empty() || d.find_first_not_of("0123456789") != std::string::npos)
    convertError(field, "«" + digitsIn + "» не является числом BCD");
  if (fromScale < 0 || fromScale > 64) convertError(field, "недопустимый масштаб числа BCD");
  auto from = static_cast<size_t>(fromScale), to = static_cast<size_t>(toScale);
  if (from < to) d.append(to - from, '0');
  else if (from > to) {
    size_t drop = from - to;
    if (d.size() > drop && d.find_first_not_of('0', d.size() - drop) != std::string::npos)
      convertError(field, "у числа больше " + std::to_string(toScale) + " знаков после запятой");
    if (d.size() <= drop) {
      if (d.find_first_not_of('0') != std::string::npos)
        convertError(field, "у числа больше " + std::to_string(toScale) + " знаков после запятой");
      d = "0";
    } else {
      d.resize(d.size() - drop);
    }
  }
  size_t nz = d.find_first_not_of('0');
  d = nz == std::string::npos ? "0" : d.substr(nz);
  if (d.size() > 32) convertError(field, "число не помещается в 32 разряда BCD");
  if (neg && d != "0") d.insert(0, "-");
  return d;
}

// The value in the form encodeValue expects for the field; throws EConvertError when the
// kinds do not go together.
Value coerce(const FieldInfo& f, const Value& v, const std::string& name) {
  using K = Value::Kind;
  if (v.isNull()) return v;
  switch (f.type) {
    case pxAlpha:
      if (v.kind == K::Text) return v;
      break;
    case pxShort:
    case pxLong:
    case pxAutoInc:
      if (v.kind == K::Int) return v;
      if (v.kind == K::Float && std::isfinite(v.d) && v.d == std::trunc(v.d) && std::fabs(v.d) < 1e10)
        return Value::ofInt(static_cast<int64_t>(v.d));
      break;
    case pxNumber:
    case pxMoney:
      if (v.kind == K::Float) return v;
      if (v.kind == K::Int) return Value::ofFloat(static_cast<double>(v.i));
      break;
    case pxDate:
      if (v.kind == K::Date) return v;
      break;
    case pxTime:
      if (v.kind == K::Time) return v;
      break;
    case pxTimestamp:
      if (v.kind == K::DateTime) return v;
      if (v.kind == K::Date) return Value::ofDateTime(static_cast<double>(v.i) * static_cast<double>(kMsPerDay));
      break;
    case pxLogical:
      if (v.kind == K::Bool) return v;
      break;
    case pxBcd:
      if (v.kind == K::Bcd) return Value::ofBcd(rescaleBcd(name, v.s, v.i, f.size), f.size);
      if (v.kind == K::Int) return Value::ofBcd(rescaleBcd(name, std::to_string(v.i), 0, f.size), f.size);
      break;
    case pxBytes:
      if (v.kind == K::Bytes) return v;
      break;
    default:
      break;
  }
  kindMismatch(name, f.type, v);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The .MB file: a header block, then single-BLOB blocks (type 2) and sub-allocated blocks
// (type 3) in the order they are started.

class ParadoxTableBuilder::MbWriter {
public:
  MbWriter(std::unique_ptr<io::File> file, std::string name) : file_(std::move(file)), name_(std::move(name)) {}

  // Stores a value (graphics with their 8-byte prefix already) and returns where it went.
  BlobDescriptor store(const std::string& bytes) {
    BlobDescriptor d;
    d.length = static_cast<uint32_t>(bytes.size());
    d.modNumber = nextMod();
    if (bytes.size() > kSmallBlobMax) {
      uint64_t chunks = (9 + uint64_t{bytes.size()} + kMbBlockSize - 1) / kMbBlockSize;
      if (chunks > 0xFFFF) tooLarge("значение BLOB длиной " + std::to_string(bytes.size()) + " байт слишком велико");
      reserve(chunks * kMbBlockSize);
      std::vector<uint8_t> block(chunks * kMbBlockSize, 0);
      block[0] = 2;
      putLe16(block.data() + 1, static_cast<uint16_t>(chunks));
      putLe32(block.data() + 3, d.length);
      putLe16(block.data() + 7, d.modNumber);
      std::memcpy(block.data() + 9, bytes.data(), bytes.size());
      write(end_, block.data(), block.size());
      d.offset = static_cast<uint32_t>(end_);
      d.index = 0xFF;
      end_ += block.size();
      return d;
    }
    auto chunks = static_cast<uint32_t>((bytes.size() + 15) / 16);
    if (sub_.empty() || nextEntry_ < 0 || nextChunk_ + chunks > kChunksPerBlock) startSub();
    auto entry = static_cast<uint32_t>(nextEntry_--);
    uint8_t* e = sub_.data() + 12 + 5 * entry;
    e[0] = static_cast<uint8_t>(nextChunk_);
    e[1] = static_cast<uint8_t>(chunks);
    putLe16(e + 2, d.modNumber);
    e[4] = static_cast<uint8_t>(bytes.size() - (chunks - 1) * 16);
    std::memcpy(sub_.data() + nextChunk_ * 16, bytes.data(), bytes.size());
    nextChunk_ += chunks;
    d.offset = static_cast<uint32_t>(subOffset_);
    d.index = static_cast<uint8_t>(entry);
    return d;
  }

  void finish() {
    flushSub();
    std::vector<uint8_t> h = mbHeaderBlock(static_cast<uint16_t>(std::max<uint32_t>(counter_, 1)));
    write(0, h.data(), h.size());
    file_->flush();
  }

private:
  uint16_t nextMod() {
    if (counter_ < 0xFFFF) ++counter_;
    return static_cast<uint16_t>(counter_);
  }
  [[noreturn]] void tooLarge(const std::string& what) const {
    throw EDatabaseError("Файл BLOB " + name_ + ": " + what);
  }
  // Descriptors address the file with 32 bits.
  void reserve(uint64_t bytes) const {
    if (end_ + bytes > 0xFFFFF000ULL) tooLarge("файл превысил бы 4 ГБ");
  }
  void write(uint64_t offset, const uint8_t* p, size_t n) {
    try {
      file_->writeAt(offset, p, n);
    } catch (const io::IoError& e) {
      throw EDatabaseError(e.what());
    }
  }
  void startSub() {
    flushSub();
    reserve(kMbBlockSize);
    sub_.assign(kMbBlockSize, 0);
    sub_[0] = 3;
    putLe16(sub_.data() + 1, 1);
    subOffset_ = end_;
    end_ += kMbBlockSize;
    nextEntry_ = kSubEntries - 1;
    nextChunk_ = kFirstDataChunk;
  }
  void flushSub() {
    if (sub_.empty()) return;
    write(subOffset_, sub_.data(), sub_.size());
    sub_.clear();
  }

  std::unique_ptr<io::File> file_;
  std::string name_;
  uint64_t end_ = kMbBlockSize;  // after the header block
  uint32_t counter_ = 0;         // the last modification number given
  std::vector<uint8_t> sub_;
  uint64_t subOffset_ = 0;
  int nextEntry_ = -1;
  uint32_t nextChunk_ = kFirstDataChunk;
};

// ---------------------------------------------------------------------------------------

ParadoxTableBuilder::ParadoxTableBuilder(std::string dbPath, std::vector<NewField> fields, BuilderOptions options)
    : path_(std::move(dbPath)), defs_(std::move(fields)), options_(std::move(options)),
      fs_(options_.fs ? *options_.fs : io::defaultFileSystem()) {
  checkDefinition();
  layoutHeader();

  std::string base = io::withoutExtension(path_);
  bool hasBlobs = std::any_of(fields_.begin(), fields_.end(), [](const FieldInfo& f) { return isBlobCode(f.type); });
  bool upper = io::extensionOf(path_) == ".DB";
  if (options_.keyFields > 0) pxPath_ = base + (upper ? ".PX" : ".px");
  if (hasBlobs) mbPath_ = base + (upper ? ".MB" : ".mb");
  try {
    db_ = fs_.open(path_, io::OpenMode::Create);
    if (hasBlobs) mb_ = std::make_unique<MbWriter>(fs_.open(mbPath_, io::OpenMode::Create), mbPath_);
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся создать таблицу: ") + e.what());
  }
  scratch_.assign(recordSize_, 0);
}

ParadoxTableBuilder::~ParadoxTableBuilder() = default;

void ParadoxTableBuilder::definitionError(const std::string& what) const {
  throw EDatabaseError("Нельзя создать таблицу " + path_ + ": " + what);
}

void ParadoxTableBuilder::checkDefinition() {
  fileVersion_ = versionOfLevel(options_.level);
  if (!fileVersion_)
    definitionError("уровень таблицы " + std::to_string(options_.level) + " не поддерживается (допустимы 3, 4, 5 и 7)");
  int bs = options_.blockSizeKiB;
  bool bsOk = bs == 1 || bs == 2 || bs == 4 || ((bs == 16 || bs == 32) && options_.level == 7);
  if (!bsOk)
    definitionError("размер блока " + std::to_string(bs) + " КБ недопустим (1, 2 или 4 КБ; 16 и 32 КБ только на уровне 7)");
  blockSize_ = static_cast<uint32_t>(bs) * 1024;
  codec_ = codepage::codecFor(options_.codePage);
  if (!codec_) definitionError("неизвестная кодовая страница " + std::to_string(options_.codePage));
  if (defs_.empty() || defs_.size() > 255)
    definitionError("число полей " + std::to_string(defs_.size()) + " вне допустимого (от 1 до 255)");
  if (options_.keyFields < 0 || static_cast<size_t>(options_.keyFields) > defs_.size())
    definitionError("ключевых полей " + std::to_string(options_.keyFields) + " при " + std::to_string(defs_.size()) +
                    " полях");
  if (options_.level > 3) {
    if (options_.sortId.empty() || options_.sortId.size() > 32 ||
        options_.sortId.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") !=
            std::string::npos)
      definitionError("недопустимое имя языкового драйвера «" + options_.sortId + "»");
  }

  std::set<std::string> seen;
  uint32_t offset = 0;
  for (size_t i = 0; i < defs_.size(); ++i) {
    const NewField& d = defs_[i];
    std::string label = "поле " + std::to_string(i + 1) + " «" + d.name + "»";
    int need = levelOfType(d.type);
    if (!need) definitionError(label + ": неизвестный тип поля " + std::to_string(d.type));
    if (need > options_.level)
      definitionError(label + ": поля типа " + typeLetter(d.type) + " появились на уровне " + std::to_string(need) +
                      ", таблица уровня " + std::to_string(options_.level) + " не может их содержать");
    if (!sizeAllowed(d.type, d.size))
      definitionError(label + ": недопустимый размер " + std::to_string(d.size) + " для поля типа " +
                      typeLetter(d.type));
    if (i < static_cast<size_t>(options_.keyFields) && isBlobCode(d.type))
      definitionError(label + ": поле типа " + typeLetter(d.type) + " не может входить в ключ");
    if (d.name.empty()) definitionError("поле " + std::to_string(i + 1) + " без имени");
    if (!codepage::isValidUtf8(d.name) || codepage::utf8Length(d.name) > kMaxFieldName)
      definitionError(label + ": имя длиннее " + std::to_string(kMaxFieldName) + " символов");
    std::string raw;
    char32_t bad = 0;
    if (!codec_->encodeAppend(d.name, raw, &bad) || raw.find('\0') != std::string::npos)
      definitionError(label + ": имя нельзя записать в кодовой странице " + std::to_string(options_.codePage));
    if (!seen.insert(asciiLower(d.name)).second) definitionError(label + ": имя поля повторяется");
    rawNames_.push_back(raw);

    FieldInfo f;
    f.type = d.type;
    f.size = d.size;
    f.offset = offset;
    f.bytes = recordBytes(d.type, d.size);
    f.rawName = raw;
    f.number = static_cast<uint16_t>(i + 1);
    offset += f.bytes;
    if (i < static_cast<size_t>(options_.keyFields)) keyBytes_ += f.bytes;
    fields_.push_back(f);
  }
  recordSize_ = offset;
  if (recordSize_ > blockSize_ - 6)
    definitionError("размер записи " + std::to_string(recordSize_) + " байт больше, чем помещается в блок " +
                    std::to_string(blockSize_) + " байт");
  if (options_.keyFields > 0 && keyBytes_ + 6 > blockSize_ - 6)
    definitionError("ключ длиной " + std::to_string(keyBytes_) + " байт не помещается в блок индекса");
  perBlock_ = (blockSize_ - 6) / recordSize_;

  std::string tableName = options_.tableName.empty() ? io::baseName(path_) : options_.tableName;
  char32_t bad = 0;
  size_t nameMax = options_.level == 7 ? 260 : 78;
  if (!codec_->encodeAppend(tableName, rawTableName_, &bad) || rawTableName_.find('\0') != std::string::npos ||
      rawTableName_.size() > nameMax)
    definitionError("имя таблицы в заголовке «" + tableName + "» длиннее " + std::to_string(nameMax) +
                    " байт или не записывается в кодовой странице " + std::to_string(options_.codePage));
}

void ParadoxTableBuilder::layoutHeader() {
  size_t n = fields_.size();
  size_t names = 0;
  for (const auto& r : rawNames_) names += r.size() + 1;
  size_t tableNameLen = options_.level == 7 ? 261 : 79;
  if (options_.level == 3) {
    // Level 3.0 headers are exactly as long as their contents.
    headerSize_ = static_cast<uint32_t>(0x58 + 6 * n + 4 + tableNameLen + names);
    realHeaderSize_ = 0;
  } else {
    realHeaderSize_ = static_cast<uint32_t>(0x78 + 8 * n + 4 + tableNameLen + names + options_.sortId.size() + 1);
    headerSize_ = (realHeaderSize_ + 0x7FF) & ~uint32_t{0x7FF};
  }
  if (headerSize_ > 0xF800) definitionError("заголовок таблицы не помещается в 63 КБ");
}

std::vector<uint8_t> ParadoxTableBuilder::tableHeader() const {
  std::vector<uint8_t> h(headerSize_, 0);
  if (h.size() < 0x78) definitionError("заголовок короче 0x78 байт");
  uint8_t* p = h.data();
  bool level3 = options_.level == 3;
  auto n = static_cast<uint16_t>(fields_.size());
  putLe16(p + 0x00, static_cast<uint16_t>(recordSize_));
  putLe16(p + 0x02, static_cast<uint16_t>(headerSize_));
  p[0x04] = options_.keyFields > 0 ? ftKeyedDb : ftUnkeyedDb;
  p[0x05] = static_cast<uint8_t>(options_.blockSizeKiB);
  putLe32(p + 0x06, static_cast<uint32_t>(numRecords_));
  putLe16(p + 0x0A, static_cast<uint16_t>(blocks_));
  putLe16(p + 0x0C, static_cast<uint16_t>(blocks_));
  putLe16(p + 0x0E, blocks_ ? 1 : 0);
  putLe16(p + 0x10, static_cast<uint16_t>(blocks_));
  putLe16(p + 0x21, n);
  putLe16(p + 0x23, static_cast<uint16_t>(options_.keyFields));
  putLe32(p + 0x25, level3 ? 0 : 0xFF00FF00u);
  p[0x29] = options_.sortOrder;
  p[0x2D] = 1;
  p[0x2E] = 1;
  p[0x39] = fileVersion_;
  putLe16(p + 0x3A, static_cast<uint16_t>(blocks_));
  p[0x3E] = 0x1F;
  p[0x3F] = 0x0F;
  putLe32(p + 0x49, autoIncrement_);
  putLe16(p + 0x51, static_cast<uint16_t>(realHeaderSize_));
  if (!level3) p[0x56] = 0x20;

  size_t pos = level3 ? 0x58 : 0x78;
  for (const auto& f : fields_) {
    p[pos++] = f.type;
    p[pos++] = f.size;
  }
  pos += 4 + 4 * size_t{n};  // table-name and field-name pointers (RAM only)
  std::memcpy(p + pos, rawTableName_.data(), rawTableName_.size());
  pos += options_.level == 7 ? 261 : 79;
  for (const auto& r : rawNames_) {
    std::memcpy(p + pos, r.data(), r.size());
    pos += r.size() + 1;
  }
  if (!level3) {
    uint16_t verId = static_cast<uint16_t>(0x0100 + fileVersion_);
    putLe16(p + 0x58, verId);
    putLe16(p + 0x5A, verId);
    putLe16(p + 0x64, static_cast<uint16_t>(n + 1));
    putLe16(p + 0x66, static_cast<uint16_t>(pos - 0x58));
    putLe16(p + 0x6A, static_cast<uint16_t>(options_.codePage));
    p[0x6C] = 1;
    p[0x6D] = 1;
    for (uint16_t i = 0; i < n; ++i) {
      putLe16(p + pos, static_cast<uint16_t>(i + 1));
      pos += 2;
    }
    putLe16(p + 0x6E, static_cast<uint16_t>(pos - 0x58));
    std::memcpy(p + pos, options_.sortId.data(), options_.sortId.size());
    pos += options_.sortId.size() + 1;
  }
  return h;
}

void ParadoxTableBuilder::append(const std::vector<Value>& values) {
  if (finished_) throw EDatabaseError("Таблица " + path_ + " уже записана: добавлять записи нельзя");
  if (values.size() != fields_.size())
    throw EDatabaseError("Таблица " + path_ + ": значений в записи " + std::to_string(values.size()) + ", а полей " +
                         std::to_string(fields_.size()));
  uint8_t* rec = scratch_.data();
  uint32_t autoInc = autoIncrement_;
  // BLOB values, converted before anything is stored, so that a bad value stores nothing.
  std::vector<std::pair<size_t, std::string>> blobs;
  for (size_t i = 0; i < fields_.size(); ++i) {
    const FieldInfo& f = fields_[i];
    const std::string& name = defs_[i].name;
    const Value& in = values[i];
    if (isBlobCode(f.type)) {
      std::string bytes;
      if (in.kind == Value::Kind::Text && (f.type == pxMemo || f.type == pxFmtMemo)) {
        char32_t bad = 0;
        if (!codec_->encodeAppend(in.s, bytes, &bad)) {
          std::string ch;
          codepage::appendUtf8(ch, bad);
          convertError(name, "символ «" + ch + "» нельзя записать в кодовой странице " + std::to_string(codec_->codePage()));
        }
      } else if (in.kind == Value::Kind::Bytes) {
        bytes = in.s;
      } else if (!in.isNull()) {
        kindMismatch(name, f.type, in);
      }
      if (bytes.size() > 0xFFFFFFF0u) convertError(name, "значение BLOB слишком велико");
      blobs.emplace_back(i, std::move(bytes));
      continue;
    }
    if (f.type == pxAutoInc) {
      Value v = coerce(f, in, name);
      if (v.isNull()) {
        if (autoInc >= 2147483647u) convertError(name, "автоинкремент исчерпан");
        v = Value::ofInt(int64_t{autoInc} + 1);
      } else if (v.i <= 0) {
        convertError(name, "значение автоинкремента должно быть больше нуля");
      }
      encodeValue(f, v, *codec_, rec + f.offset, name);
      autoInc = std::max(autoInc, static_cast<uint32_t>(v.i));
      continue;
    }
    encodeValue(f, coerce(f, in, name), *codec_, rec + f.offset, name);
  }
  if (options_.keyFields > 0) checkKeyOrder(rec);
  if (blocks_ == 0 || inCurrent_ == perBlock_) {
    if (blocks_ >= kMaxBlocks)
      throw EDatabaseError("Таблица " + path_ + " не может содержать больше " + std::to_string(kMaxBlocks) +
                           " блоков: выберите больший размер блока");
    if (blocks_ > 0) closeBlock(false);
    if (pendingCount_ >= kPendingBlocks) flushBlocks();
    if (pendingCount_ == 0) pendingFirst_ = blocks_ + 1;
    pending_.resize(size_t{pendingCount_ + 1} * blockSize_, 0);
    ++pendingCount_;
    ++blocks_;
    inCurrent_ = 0;
  }

  // From here on nothing fails on the values.
  for (auto& [i, bytes] : blobs) encodeBlob(fields_[i], bytes, rec + fields_[i].offset);
  autoIncrement_ = autoInc;
  if (options_.keyFields > 0) lastKey_.assign(rec, rec + keyBytes_);
  uint8_t* block = pending_.data() + size_t{pendingCount_ - 1} * blockSize_;
  std::memcpy(block + 6 + size_t{inCurrent_} * recordSize_, rec, recordSize_);
  ++inCurrent_;
  ++numRecords_;
}

void ParadoxTableBuilder::encodeBlob(const FieldInfo& f, const std::string& bytes, uint8_t* p) {
  std::memset(p, 0, f.bytes);
  if (bytes.empty()) return;
  uint32_t leader = f.bytes - kBlobDescriptorBytes;
  std::memcpy(p, bytes.data(), std::min<size_t>(leader, bytes.size()));
  BlobDescriptor d;
  if (bytes.size() <= leader) {
    d.length = static_cast<uint32_t>(bytes.size());
  } else if (f.type == pxGraphic) {
    // In the .MB a graphic carries 8 bytes of its own before the image.
    std::string stored("\x01\x00\x00\x01\0\0\0\0", 8);
    putLe32(reinterpret_cast<uint8_t*>(stored.data()) + 4, static_cast<uint32_t>(bytes.size()));
    stored += bytes;
    d = mb_->store(stored);
  } else {
    d = mb_->store(bytes);
  }
  writeBlobDescriptor(p, f, d);
}

void ParadoxTableBuilder::checkKeyOrder(const uint8_t* rec) {
  if (numRecords_ == 0) return;
  // Numbers, dates, logicals and BCD compare bytewise. Alpha keys sort by the language
  // driver's collation, known here only for 'ascii' (byte order): for other drivers an
  // Alpha field that differs ends the comparison and its order is the caller's.
  bool alphaByBytes = asciiLower(options_.sortId) == "ascii" || options_.level == 3;
  int cmp = 0;
  bool unknownOrder = false;
  for (int i = 0; i < options_.keyFields && cmp == 0; ++i) {
    const FieldInfo& f = fields_[static_cast<size_t>(i)];
    cmp = std::memcmp(rec + f.offset, lastKey_.data() + f.offset, f.bytes);
    if (cmp != 0 && f.type == pxAlpha && !alphaByBytes) unknownOrder = true;
  }
  if (unknownOrder || cmp > 0) return;
  throw EDatabaseError("Таблица " + path_ + ": запись " + std::to_string(numRecords_ + 1) +
                       (cmp == 0 ? " повторяет ключ предыдущей записи"
                                 : " имеет ключ меньше, чем у предыдущей записи") +
                       "; в ключевую таблицу записи добавляются по возрастанию ключа без повторов");
}

void ParadoxTableBuilder::closeBlock(bool last) {
  uint8_t* block = pending_.data() + size_t{pendingCount_ - 1} * blockSize_;
  putLe16(block, last ? 0 : static_cast<uint16_t>(blocks_ + 1));
  putLe16(block + 2, static_cast<uint16_t>(blocks_ - 1));
  putLe16(block + 4, static_cast<uint16_t>(static_cast<int16_t>((static_cast<int>(inCurrent_) - 1) *
                                                                static_cast<int>(recordSize_))));
  if (options_.keyFields > 0)
    leaves_.push_back({std::vector<uint8_t>(block + 6, block + 6 + keyBytes_), static_cast<uint16_t>(blocks_),
                       static_cast<uint16_t>(inCurrent_)});
}

void ParadoxTableBuilder::flushBlocks() {
  if (pendingCount_ == 0) return;
  try {
    db_->writeAt(headerSize_ + uint64_t{pendingFirst_ - 1} * blockSize_, pending_.data(),
                 size_t{pendingCount_} * blockSize_);
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
  pendingCount_ = 0;
  pending_.clear();
}

void ParadoxTableBuilder::finish() {
  if (finished_) return;
  finished_ = true;
  if (blocks_ > 0) closeBlock(true);
  flushBlocks();
  std::vector<uint8_t> h = tableHeader();
  try {
    db_->writeAt(0, h.data(), h.size());
    db_->truncate(headerSize_ + uint64_t{blocks_} * blockSize_);
    db_->flush();
    if (options_.keyFields > 0) writePrimaryIndex();
    if (mb_) mb_->finish();
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
  db_.reset();
  mb_.reset();
}

void ParadoxTableBuilder::writePrimaryIndex() {
  PxSpec layout;
  layout.keyFields.assign(fields_.begin(), fields_.begin() + options_.keyFields);
  layout.blockSizeKiB = static_cast<uint8_t>(options_.blockSizeKiB);
  layout.sortOrder = options_.sortOrder;
  layout.fileVersionID = fileVersion_;
  layout.tableChangeCount = 1;  // byte 0x2D of the .DB
  layout.rawTableName = rawTableName_;
  std::vector<PxLeaf> leaves;
  leaves.reserve(leaves_.size());
  for (const auto& l : leaves_) leaves.push_back({l.block, static_cast<uint16_t>(l.count), l.key});
  std::vector<uint8_t> bytes = buildPrimaryIndex(layout, leaves);
  std::unique_ptr<io::File> px;
  try {
    px = fs_.open(pxPath_, io::OpenMode::Create);
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся создать первичный индекс: ") + e.what());
  }
  px->writeAt(0, bytes.data(), bytes.size());
  px->flush();
}

}  // namespace paradox
