#include "db/paradox/ParadoxTable.h"

#include "db/EngineError.h"
#include "db/ValueText.h"
#include "db/paradox/ParadoxCrypt.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxPrimaryIndex.h"
#include "db/paradox/ParadoxValues.h"

#include <algorithm>
#include <cstring>

namespace paradox {

namespace {

TFieldType engineType(uint8_t t) {
  switch (t) {
    case pxAlpha: return ftString;
    case pxDate: return ftDate;
    case pxShort: return ftSmallint;
    case pxLong: return ftInteger;
    case pxMoney: return ftCurrency;
    case pxNumber: return ftFloat;
    case pxLogical: return ftBoolean;
    case pxMemo: return ftMemo;
    case pxBlob: return ftBlob;
    case pxFmtMemo: return ftFmtMemo;
    case pxOle: return ftParadoxOle;
    case pxGraphic: return ftGraphic;
    case pxTime: return ftTime;
    case pxTimestamp: return ftDateTime;
    case pxAutoInc: return ftAutoInc;
    case pxBcd: return ftBCD;
    case pxBytes: return ftBytes;
    default: return ftUnknown;
  }
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

constexpr size_t kCacheBlocks = 8;

}  // namespace

ParadoxTable::ParadoxTable(const std::string& dbPath, const OpenOptions& options)
    : fs_(options.fs ? *options.fs : io::defaultFileSystem()), path_(dbPath) {
  synchronousWrites_ = options.synchronousWrites;
  // A change another Checkup could not finish (killed, disk gone) is undone first.
  recoverJournal();
  try {
    file_ = fs_.open(path_, io::OpenMode::Read);
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся открыть таблицу: ") + e.what());
  }
  try {
    fileSize_ = file_->size();
    header_ = readHeader(*file_, path_, FileKind::Table);
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }

  int cp = options.codePage;
  if (!cp && !header_.sortId.empty()) cp = codepage::codePageOfDriver(header_.sortId);
  if (!cp) cp = header_.codePage;
  if (!cp) cp = options.dosCodePage;
  codec_ = codepage::codecFor(cp);
  if (!codec_) {
    warnings_.push_back("неизвестная кодовая страница " + std::to_string(cp) + ", текст читается как 1252");
    codec_ = codepage::codecFor(1252);
  }

  if (header_.encrypted()) {
    bool ok = false;
    for (const auto& pw : options.passwords)
      if (passwordChecksum(pw) == header_.checksum) ok = true;
    if (!ok)
      throw EDatabaseError("Таблица " + path_ +
                           " защищена паролем. Укажите пароль в параметрах псевдонима (PASSWORD) или сессии.");
  }

  for (const auto& f : header_.fields) {
    TFieldDesc d;
    d.name = codec_->decode(f.rawName);
    d.dataType = engineType(f.type);
    switch (f.type) {
      case pxAlpha:
      case pxBytes: d.size = f.size; break;
      case pxMemo:
      case pxBlob:
      case pxFmtMemo:
      case pxOle:
      case pxGraphic: d.size = f.size - static_cast<int>(kBlobDescriptorBytes); break;
      case pxBcd:
        d.size = f.size;
        d.precision = 32;
        break;
      default: break;
    }
    d.readOnly = f.type == pxAutoInc;
    fields_.push_back(d);
  }

  if (header_.modifiedFlags1 || header_.modifiedFlags2)
    warnings_.push_back("заголовок отмечает, что таблицу нужно перестроить");
  if (header_.writeProtected) warnings_.push_back("таблица защищена от записи");
  if (recoveryDeferred_)
    warnings_.push_back("другая программа сейчас записывает в таблицу: прочитанное может отражать незаконченное изменение");
  std::string dir = io::dirName(path_);
  for (const char* lck : {"PDOXUSRS.LCK", "PARADOX.LCK"})
    if (!io::findFileNoCase(fs_, dir, lck).empty())
      warnings_.push_back(std::string("в папке есть файл блокировки ") + lck +
                          ": таблица может быть открыта другой программой");

  std::string base = io::withoutExtension(io::baseName(path_));
  bool hasBlobs = std::any_of(header_.fields.begin(), header_.fields.end(), [](const FieldInfo& f) { return isBlobCode(f.type); });
  mbPath_ = io::findFileNoCase(fs_, dir, base + ".MB");
  std::unique_ptr<io::File> mbFile;
  if (hasBlobs && !mbPath_.empty()) {
    try {
      mbFile = fs_.open(mbPath_, io::OpenMode::Read);
    } catch (const io::IoError& e) {
      throw EDatabaseError(e.what());
    }
  }
  mb_ = std::make_unique<MbFile>(std::move(mbFile), mbPath_.empty() ? io::joinPath(dir, base + ".MB") : mbPath_,
                                 header_.checksum);
  pxPath_ = io::findFileNoCase(fs_, dir, base + ".PX");
  {
    std::string lowerBase = lower(base);
    try {
      for (const auto& e : fs_.list(dir)) {
        std::string n = lower(e.name);
        if (n.size() == lowerBase.size() + 4 && n.rfind(lowerBase + ".", 0) == 0 && (n[n.size() - 3] == 'x' || n[n.size() - 3] == 'y'))
          hasSecondaryIndexes_ = true;
      }
    } catch (const io::IoError&) {
    }
  }
  alphaKeyByBytes_ = header_.sortId.empty() ? header_.sortOrder == 0 : lower(header_.sortId) == "ascii";

  try {
    walkChain();
    if (header_.keyFields > 0) checkPrimaryIndex();
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
}


std::string ParadoxTable::tableNameInHeader() const { return codec_->decode(header_.rawTableName); }

void ParadoxTable::setDamage(uint64_t at, const std::string& message) {
  if (!damage_.empty() && at >= readable_) return;  // keep the earliest
  damage_ = message;
  readable_ = std::min(readable_, at);
}

void ParadoxTable::walkChain() {
  const Header& h = header_;
  uint32_t perBlock = h.recordsPerBlock();
  uint16_t blocksInFile = h.fileBlocks;
  std::vector<uint8_t> inChain(size_t{blocksInFile} + 1, 0);
  uint64_t total = 0;
  bool broken = false;
  auto stop = [&](const std::string& what, std::optional<uint32_t> block, std::optional<uint64_t> offset) {
    readable_ = total;
    damage_ = damageMessage(path_, what, DamagePlace{block, total + 1, {}, offset});
    broken = true;
  };
  readable_ = UINT64_MAX;

  if (h.firstBlock == 0) {
    if (h.numRecords > 0)
      stop("записей в заголовке: " + std::to_string(h.numRecords) + ", но нет ни одного блока данных", {}, 0x0E);
  } else if (h.firstBlock > blocksInFile) {
    stop("первый блок цепочки (" + std::to_string(h.firstBlock) + ") вне файла (блоков в файле: " + std::to_string(blocksInFile) + ")",
         {}, 0x0E);
  } else {
    uint16_t cur = h.firstBlock, prev = 0;
    size_t visitedCount = 0;
    while (cur != 0 && !broken) {
      uint64_t off = h.blockOffset(cur);
      if (inChain[cur]) {
        stop("цикл в цепочке блоков: блок " + std::to_string(prev) + " ссылается на уже пройденный блок " +
                 std::to_string(cur),
             prev, h.blockOffset(prev));
        break;
      }
      inChain[cur] = 1;
      ++visitedCount;
      uint8_t bh[256] = {};
      size_t got = file_->readAt(off, bh, h.encrypted() ? 256 : 6);
      if (got < 6) {
        stop("блок " + std::to_string(cur) + " за концом файла", cur, off);
        break;
      }
      if (h.encrypted()) decryptBlock(bh, 256, h.checksum, cur);
      uint16_t next = le16(bh), back = le16(bh + 2);
      int16_t add = le16s(bh + 4);
      if (back != prev) {
        stop("блок " + std::to_string(cur) + " ссылается на предыдущий блок " + std::to_string(back) + " вместо " +
                 std::to_string(prev),
             cur, off + 2);
        break;
      }
      int rs = h.recordSize;
      if (add < -rs || add % rs != 0 || add >= static_cast<int>(perBlock) * rs) {
        stop("недопустимый размер данных блока " + std::to_string(cur) + " (" + std::to_string(add) + ")", cur, off + 4);
        break;
      }
      int count = add / rs + 1;
      if (count == 0 && !(cur == h.firstBlock && next == 0)) {
        stop("пустой блок " + std::to_string(cur) + " в цепочке", cur, off + 4);
        break;
      }
      // Level-4 files may end inside their last block; only used data past the end is lost.
      uint64_t usedEnd = off + 6 + uint64_t(count) * h.recordSize;
      if (usedEnd > fileSize_) {
        uint64_t present = fileSize_ > off + 6 ? (fileSize_ - off - 6) / h.recordSize : 0;
        if (present) chain_.push_back({cur, static_cast<uint16_t>(present), total});
        total += present;
        stop("файл обрезан: данные блока " + std::to_string(cur) + " выходят за конец файла (" +
                 std::to_string(fileSize_) + " байт)",
             cur, off + 6 + present * h.recordSize);
        break;
      }
      if (count > 0) chain_.push_back({cur, static_cast<uint16_t>(count), total});
      total += static_cast<uint64_t>(count);
      if (next > blocksInFile) {
        stop("блок " + std::to_string(cur) + " ссылается на блок " + std::to_string(next) + ", а блоков в файле: " +
                 std::to_string(blocksInFile),
             cur, off);
        break;
      }
      if (next == 0 && cur != h.lastBlock && !broken) {
        // Only reported when nothing else is wrong: the records are all there.
        readable_ = total;
        damage_ = damageMessage(path_, "последний блок цепочки " + std::to_string(cur) + ", а в заголовке " +
                                           std::to_string(h.lastBlock),
                                DamagePlace{{}, {}, {}, 0x10});
        broken = true;
      }
      prev = cur;
      cur = next;
    }
    if (!broken && visitedCount != h.usedBlocks) {
      readable_ = total;
      damage_ = damageMessage(path_, "блоков в цепочке: " + std::to_string(visitedCount) + ", а в заголовке: " +
                                         std::to_string(h.usedBlocks),
                              DamagePlace{{}, {}, {}, 0x0A});
      broken = true;
    }
  }
  if (!broken) {
    readable_ = total;
    if (total != h.numRecords)
      damage_ = damageMessage(path_, "записей в заголовке: " + std::to_string(h.numRecords) + ", а в цепочке блоков: " +
                                         std::to_string(total),
                              DamagePlace{{}, total + 1, {}, 0x06});
    else
      checkFreeList(inChain);
  }
}

void ParadoxTable::checkFreeList(const std::vector<uint8_t>& inChain) {
  const Header& h = header_;
  std::vector<uint8_t> seen(inChain.size(), 0);
  uint16_t cur = h.firstFreeBlock;
  while (cur != 0) {
    std::string what;
    if (cur > h.fileBlocks) what = "список свободных блоков ссылается на блок " + std::to_string(cur) + " вне файла";
    else if (inChain[cur]) what = "блок " + std::to_string(cur) + " одновременно в цепочке и в списке свободных";
    else if (seen[cur]) what = "цикл в списке свободных блоков (блок " + std::to_string(cur) + ")";
    if (!what.empty()) {
      damage_ = damageMessage(path_, what, DamagePlace{{}, {}, {}, 0x4D});
      return;
    }
    seen[cur] = 1;
    uint8_t bh[256] = {};
    uint64_t off = h.blockOffset(cur);
    if (file_->readAt(off, bh, h.encrypted() ? 256 : 6) < 6) break;  // a free block past the end holds nothing
    if (h.encrypted()) decryptBlock(bh, 256, h.checksum, cur);
    cur = le16(bh);
  }
  size_t used = 0, free = 0;
  for (size_t i = 1; i < inChain.size(); ++i) {
    used += inChain[i];
    free += seen[i];
  }
  if (used + free != h.fileBlocks)
    warnings_.push_back("блоков, не входящих ни в цепочку, ни в список свободных: " +
                        std::to_string(h.fileBlocks - used - free));
}

void ParadoxTable::checkPrimaryIndex() {
  std::string dir = io::dirName(path_);
  std::string base = io::withoutExtension(io::baseName(path_));
  if (pxPath_.empty()) {
    setDamage(0, damageMessage(path_, "нет файла первичного индекса " + base + ".PX у ключевой таблицы"));
    return;
  }
  std::unique_ptr<io::File> px;
  try {
    px = fs_.open(pxPath_, io::OpenMode::Read);
  } catch (const io::IoError& e) {
    setDamage(0, damageMessage(path_, std::string("не удаётся открыть первичный индекс: ") + e.what()));
    return;
  }
  PxTree tree;
  try {
    tree = readPrimaryIndex(*px, pxPath_, header_);
  } catch (const ETableDamaged& e) {
    setDamage(0, e.what());
    return;
  }
  std::string pxName = io::baseName(pxPath_);
  if (!tree.error.empty()) {
    setDamage(0, damageMessage(pxPath_, tree.error, DamagePlace{{}, {}, {}, tree.errorOffset}));
    return;
  }
  if (tree.header.changeCount1 != 0 && tree.header.raw.size() > 0x2C && tree.header.raw[0x2C] != header_.raw[0x2D])
    warnings_.push_back("счётчик изменений индекса " + pxName + " не совпадает с таблицей: индекс, возможно, устарел");
  uint32_t keyBytes = 0;
  for (int i = 0; i < header_.keyFields; ++i) keyBytes += header_.fields[static_cast<size_t>(i)].bytes;
  size_t n = std::min(tree.leaves.size(), chain_.size());
  for (size_t i = 0; i < n; ++i) {
    const auto& leaf = tree.leaves[i];
    const auto& blk = chain_[i];
    std::string what;
    if (leaf.dbBlock != blk.block)
      what = "элемент " + std::to_string(i + 1) + " указывает на блок " + std::to_string(leaf.dbBlock) +
             ", а в цепочке таблицы блок " + std::to_string(blk.block);
    else if (leaf.count != blk.count)
      what = "записей блока " + std::to_string(blk.block) + " по индексу: " + std::to_string(leaf.count) +
             ", в таблице: " + std::to_string(blk.count);
    else {
      const uint8_t* b = loadBlock(i);
      if (std::memcmp(b + 6, leaf.key.data(), keyBytes) != 0)
        what = "ключ первой записи блока " + std::to_string(blk.block) + " не совпадает с индексом";
    }
    if (!what.empty()) {
      setDamage(blk.first, damageMessage(path_, "первичный индекс " + pxName + " не соответствует данным (индекс устарел): " + what,
                                         DamagePlace{blk.block, blk.first + 1, {}, {}}));
      return;
    }
  }
  if (tree.leaves.size() != chain_.size()) {
    uint64_t at = n < chain_.size() ? chain_[n].first : readable_;
    setDamage(at, damageMessage(path_, "первичный индекс " + pxName + " не соответствует данным (индекс устарел): блоков по индексу: " +
                                           std::to_string(tree.leaves.size()) + ", в таблице: " +
                                           std::to_string(chain_.size())));
  }
}

const uint8_t* ParadoxTable::loadBlock(size_t chainIndex) {
  const uint16_t block = chain_[chainIndex].block;
  ++useClock_;
  for (auto& c : cache_)
    if (c.block == block) {
      c.lastUse = useClock_;
      return c.data.data();
    }
  CachedBlock* slot = nullptr;
  if (cache_.size() < kCacheBlocks) {
    cache_.emplace_back();
    slot = &cache_.back();
  } else {
    slot = &*std::min_element(cache_.begin(), cache_.end(),
                              [](const CachedBlock& a, const CachedBlock& b) { return a.lastUse < b.lastUse; });
  }
  slot->block = 0;
  slot->data.assign(header_.blockSize(), 0);
  size_t got = 0;
  try {
    got = file_->readAt(header_.blockOffset(block), slot->data.data(), slot->data.size());
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
  if (header_.encrypted()) decryptBlock(slot->data.data(), header_.blockSize(), header_.checksum, block);
  // The file is shared: another program may have cut or rewritten it since it was opened.
  // What was walked on opening must still be there, or the reading stops with an error.
  {
    auto it = chain_.begin() + static_cast<long>(chainIndex);
    size_t used = 6 + size_t{it->count} * header_.recordSize;
    int16_t add = le16s(slot->data.data() + 4);
    bool sameShape = add == (static_cast<int>(it->count) - 1) * static_cast<int>(header_.recordSize) ||
                     (it + 1 == chain_.end() && add >= (static_cast<int>(it->count) - 1) * static_cast<int>(header_.recordSize));
    if (got < used || !sameShape)
      throw EDatabaseError("Таблица " + path_ + " изменена другой программой во время чтения (блок " + std::to_string(block) +
                           "); откройте её заново");
  }
  slot->block = block;
  slot->lastUse = useClock_;
  return slot->data.data();
}

size_t ParadoxTable::chainIndexOf(uint64_t position) const {
  auto it = std::upper_bound(chain_.begin(), chain_.end(), position,
                             [](uint64_t p, const ChainBlock& b) { return p < b.first; });
  return static_cast<size_t>(it - chain_.begin()) - 1;
}

uint64_t ParadoxTable::recordFileOffset(uint64_t position) const {
  const auto& b = chain_[chainIndexOf(position)];
  return header_.blockOffset(b.block) + 6 + (position - b.first) * header_.recordSize;
}

void ParadoxTable::readRecord(uint64_t position, TRecordBuffer& buf) {
  if (position >= readable_) {
    if (!damage_.empty()) throw ETableDamaged(damage_);
    throw EDatabaseError("Таблица " + path_ + ": нет записи с номером " + std::to_string(position + 1));
  }
  size_t ci = chainIndexOf(position);
  const auto& b = chain_[ci];
  const uint8_t* data = loadBlock(ci);
  const uint8_t* rec = data + 6 + (position - b.first) * header_.recordSize;
  buf.bytes.assign(rec, rec + header_.recordSize);
  buf.position = position;
  buf.blobs.clear();
  buf.blobNull.clear();
}

void ParadoxTable::checkEnd() {
  if (!damage_.empty()) throw ETableDamaged(damage_);
}

void ParadoxTable::initRecord(TRecordBuffer& buf) {
  buf.bytes.assign(header_.recordSize, 0);
  for (const auto& f : header_.fields)
    if (f.type == pxBcd) buf.bytes[f.offset] = f.size;
  buf.position = UINT64_MAX;
  buf.blobs.clear();
  buf.blobNull.clear();
}

void ParadoxTable::valueDamage(const TRecordBuffer& buf, int field, const std::string& what,
                               std::optional<uint64_t> offset) const {
  DamagePlace place;
  place.field = fields_[static_cast<size_t>(field)].name;
  if (buf.position != UINT64_MAX && buf.position < readable_) {
    place.block = chain_[chainIndexOf(buf.position)].block;
    place.record = buf.position + 1;
    if (!offset) place.offset = recordFileOffset(buf.position) + header_.fields[static_cast<size_t>(field)].offset;
  }
  if (offset) place.offset = offset;
  throwDamage(offset ? mb_->displayName() : path_, what, place);
}

Value ParadoxTable::fieldValue(const TRecordBuffer& buf, int field) {
  const FieldInfo& f = header_.fields[static_cast<size_t>(field)];
  const uint8_t* p = buf.bytes.data() + f.offset;
  if (!isBlobCode(f.type)) {
    Value v;
    std::string error;
    if (!decodeValue(f, p, *codec_, v, error)) valueDamage(buf, field, error);
    return v;
  }
  bool text = f.type == pxMemo;
  auto make = [&](std::string bytes) {
    if (bytes.empty()) return Value::null();
    if (!text) return Value::ofBytes(std::move(bytes));
    return Value::ofText(codec_->decode(bytes));
  };
  if (auto it = buf.blobNull.find(field); it != buf.blobNull.end() && it->second) return Value::null();
  if (auto it = buf.blobs.find(field); it != buf.blobs.end()) return make(it->second);
  BlobDescriptor d = readBlobDescriptor(p, f);
  uint32_t leader = f.bytes - kBlobDescriptorBytes;
  if (d.length == 0) return Value::null();
  if (d.length <= leader) {
    if (d.offset != 0) valueDamage(buf, field, "BLOB длиной " + std::to_string(d.length) + " помещается в запись, но ссылается на файл .MB");
    return make(std::string(reinterpret_cast<const char*>(p), d.length));
  }
  if (d.offset == 0)
    valueDamage(buf, field, "BLOB длиной " + std::to_string(d.length) + " не помещается в запись, но не ссылается на файл .MB");
  std::string bytes, error;
  uint64_t errOffset = 0;
  if (!mb_->read(d, f.type == pxGraphic, bytes, error, errOffset)) {
    if (!mb_->present()) valueDamage(buf, field, error);
    valueDamage(buf, field, error, errOffset);
  }
  return make(std::move(bytes));
}

void ParadoxTable::setFieldValue(TRecordBuffer& buf, int field, const Value& v) {
  const FieldInfo& f = header_.fields[static_cast<size_t>(field)];
  if (isBlobCode(f.type)) {
    if (v.isNull() || v.s.empty()) {
      buf.blobNull[field] = true;
      buf.blobs.erase(field);
      return;
    }
    std::string bytes;
    if (f.type == pxMemo) {
      char32_t bad = 0;
      if (!codec_->encodeAppend(v.s, bytes, &bad)) {
        std::string ch;
        codepage::appendUtf8(ch, bad);
        throw EConvertError("Поле «" + fields_[static_cast<size_t>(field)].name + "»: символ «" + ch +
                            "» нельзя записать в кодовой странице " + std::to_string(codec_->codePage()));
      }
    } else {
      bytes = v.s;
    }
    buf.blobNull.erase(field);
    buf.blobs[field] = std::move(bytes);
    return;
  }
  encodeValue(f, v, *codec_, buf.bytes.data() + f.offset, fields_[static_cast<size_t>(field)].name);
}

std::vector<TIndexDesc> ParadoxTable::indexes() {
  std::vector<TIndexDesc> out;
  if (header_.keyFields > 0) {
    TIndexDesc p;
    for (int i = 0; i < header_.keyFields; ++i) {
      if (i) p.fields += ";";
      p.fields += fields_[static_cast<size_t>(i)].name;
    }
    p.primary = p.unique = true;
    out.push_back(p);
  }
  std::string dir = io::dirName(path_);
  std::string base = lower(io::withoutExtension(io::baseName(path_)));
  std::vector<io::DirEntry> entries;
  try {
    entries = fs_.list(dir);
  } catch (const io::IoError&) {
    return out;
  }
  for (const auto& e : entries) {
    std::string name = lower(e.name);
    if (e.isDir || name.rfind(base + ".x", 0) != 0 || name.size() != base.size() + 4) continue;
    std::string path = io::joinPath(dir, e.name);
    std::unique_ptr<io::File> xf;
    Header xh;
    try {
      xf = fs_.open(path, io::OpenMode::Read);
      xh = readHeader(*xf, path, FileKind::SecondaryX);
    } catch (const io::IoError& err) {
      throw EDatabaseError(err.what());
    }
    TIndexDesc d;
    d.name = codec_->decode(xh.rawIndexName);
    bool maintained = xh.fileType == ftMaintainedX || xh.fileType == ftMaintainedNamedX;
    int m = maintained ? xh.numFields - (1 + header_.keyFields) : xh.numFields - 3;
    if (m < 1) m = 1;
    std::vector<std::string> names;
    for (int i = 0; i < m && i < xh.numFields; ++i) {
      uint16_t no = xh.fields[static_cast<size_t>(i)].number;
      if (no >= 1 && no <= fields_.size()) names.push_back(fields_[no - 1u].name);
      else names.push_back(codec_->decode(xh.fields[static_cast<size_t>(i)].rawName));
    }
    if (names.empty() && xh.indexFieldNumber >= 1 && xh.indexFieldNumber <= fields_.size())
      names.push_back(fields_[xh.indexFieldNumber - 1u].name);
    for (size_t i = 0; i < names.size(); ++i) d.fields += (i ? ";" : "") + names[i];
    if (d.name.empty()) d.name = names.empty() ? e.name : names[0];
    d.descending = xh.indexFlags & 0x10;
    d.unique = xh.indexFlags & 0x20;
    d.caseInsensitive = xh.indexFlags & 0x01;
    d.maintained = maintained;
    out.push_back(d);
  }
  return out;
}

}  // namespace paradox
