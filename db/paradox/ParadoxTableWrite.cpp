// Writing a Paradox table: records changed in place, appended or inserted in key order,
// deleted; BLOBs written to and freed in the .MB; the primary index rebuilt for keyed
// tables; the header's counters kept as the suite's programs keep them. Every change is
// prepared on copies (block images, header, chain) and then committed through the write
// journal, so it either lands whole or not at all, in the files and in memory.
#include "db/paradox/ParadoxTable.h"

#include "db/EngineError.h"
#include "db/WriteJournal.h"
#include "db/paradox/ParadoxCrypt.h"
#include "db/paradox/ParadoxFormat.h"
#include "db/paradox/ParadoxPrimaryIndex.h"
#include "db/paradox/ParadoxValues.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace paradox {

namespace {

enum FileSlot : size_t { kDb = 0, kPx = 1, kMb = 2 };

constexpr uint32_t kSmallBlobMax = 2048;
constexpr uint32_t kSubEntries = 64;
constexpr uint32_t kFirstDataChunk = 0x15;
constexpr uint32_t kChunksPerBlock = kMbBlockSize / 16;
constexpr size_t kFixedHeader = 0x78;


// A graphic keeps 8 bytes of its own before the image in the .MB.
std::string withGraphicPrefix(const std::string& image) {
  std::string prefix(8, '\0');
  putLe32(reinterpret_cast<uint8_t*>(prefix.data()), 0x01000001);
  putLe32(reinterpret_cast<uint8_t*>(prefix.data()) + 4, static_cast<uint32_t>(image.size()));
  return prefix + image;
}

}  // namespace

ParadoxTable::~ParadoxTable() = default;

// One change being prepared.
class ParadoxTable::Change {
public:
  // The table's header, chain and keys are changed in place (copying them for every
  // record would cost as much as the table is large); should the change not land, the
  // table reloads them from its files (ParadoxTable::reloadState).
  explicit Change(ParadoxTable& t)
      : t_(t), header(t.header_), chain(t.chain_), firstKeys(t.firstKeys_), originalRaw(t.header_.raw.begin(), t.header_.raw.begin() + static_cast<long>(std::min<size_t>(t.header_.raw.size(), kFixedHeader))),
        originalFileBlocks(t.header_.fileBlocks) {
    mbSize = t.writer_->mbSize;
    mbCounter = t.writer_->mbCounter;
    subBlock = t.writer_->subBlock;
  }

  ParadoxTable& t_;
  Header& header;
  std::vector<ChainBlock>& chain;
  std::vector<std::vector<uint8_t>>& firstKeys;
  std::vector<uint8_t> originalRaw;
  uint16_t originalFileBlocks;
  std::map<uint16_t, std::vector<uint8_t>> blocks, blockOriginals;
  std::map<uint64_t, std::vector<uint8_t>> mbBlocks, mbOriginals;
  uint64_t mbSize = 0;
  uint16_t mbCounter = 0;
  uint32_t subBlock = 0;
  bool structureChanged = false;  // chain, counts or first keys: the .PX is rebuilt

  uint32_t rs() const { return header.recordSize; }
  uint32_t perBlock() const { return header.recordsPerBlock(); }

  std::vector<uint8_t>& block(uint16_t no) {
    auto it = blocks.find(no);
    if (it != blocks.end()) return it->second;
    std::vector<uint8_t> img = t_.blockImage(no);
    blockOriginals[no] = img;
    return blocks[no] = std::move(img);
  }
  std::vector<uint8_t>& freshBlock(uint16_t no) { return blocks[no] = std::vector<uint8_t>(header.blockSize(), 0); }

  static int count(const std::vector<uint8_t>& img, uint32_t rs) { return le16s(img.data() + 4) / static_cast<int>(rs) + 1; }
  void setCount(std::vector<uint8_t>& img, int n) {
    putLe16(img.data() + 4, static_cast<uint16_t>(static_cast<int16_t>((n - 1) * static_cast<int>(rs()))));
  }

  // Takes a block for the chain: the head of the free list, else a new one at the end.
  uint16_t allocateBlock() {
    if (header.firstFreeBlock) {
      uint16_t no = header.firstFreeBlock;
      std::vector<uint8_t>& img = block(no);
      header.firstFreeBlock = le16(img.data());
      std::fill(img.begin(), img.end(), uint8_t{0});
      return no;
    }
    if (header.fileBlocks == 65535)
      throw EDatabaseError("Таблица " + t_.path_ + " не может содержать больше 65535 блоков");
    uint16_t no = ++header.fileBlocks;
    freshBlock(no);
    return no;
  }

  // Record positions from chain index `from` on (those before it did not move).
  void recount(size_t from = 0) {
    uint64_t first = from && from <= chain.size() ? chain[from - 1].first + chain[from - 1].count : 0;
    if (from > chain.size()) from = chain.size();
    for (size_t i = from; i < chain.size(); ++i) {
      chain[i].first = first;
      first += chain[i].count;
    }
    if (!chain.empty()) first = chain.back().first + chain.back().count;
    header.numRecords = static_cast<uint32_t>(first);
    header.usedBlocks = static_cast<uint16_t>(chain.size());
    header.firstBlock = chain.empty() ? 0 : chain.front().block;
    header.lastBlock = chain.empty() ? 0 : chain.back().block;
  }

  // Next/previous links of the blocks around chain index i (i − 1 … i + 1).
  void relinkAround(size_t i) {
    size_t lo = i > 0 ? i - 1 : 0, hi = std::min(chain.size(), i + 2);
    for (size_t k = lo; k < hi; ++k) {
      std::vector<uint8_t>& img = block(chain[k].block);
      uint16_t next = k + 1 < chain.size() ? chain[k + 1].block : 0;
      uint16_t prev = k > 0 ? chain[k - 1].block : 0;
      if (le16(img.data()) != next) putLe16(img.data(), next);
      if (le16(img.data() + 2) != prev) putLe16(img.data() + 2, prev);
    }
  }

  void updateFirstKey(size_t ci) {
    if (t_.header_.keyFields == 0 || ci >= chain.size()) return;
    const std::vector<uint8_t>& img = block(chain[ci].block);
    std::vector<uint8_t> key(img.begin() + 6, img.begin() + 6 + t_.keyBytes());
    if (firstKeys.size() < chain.size()) firstKeys.resize(chain.size());
    if (firstKeys[ci] != key) {
      firstKeys[ci] = std::move(key);
      structureChanged = true;
    }
  }

  // ---- BLOBs ----------------------------------------------------------------------

  std::vector<uint8_t>& mbBlock(uint64_t offset) {
    auto it = mbBlocks.find(offset);
    if (it != mbBlocks.end()) return it->second;
    std::vector<uint8_t> img(kMbBlockSize, 0);
    if (offset < t_.writer_->mbSize) {
      t_.writer_->mb->readAt(offset, img.data(), img.size());
      if (t_.header_.encrypted()) decryptMb(img.data(), kMbBlockSize, t_.header_.checksum);
      mbOriginals[offset] = img;
    }
    return mbBlocks[offset] = std::move(img);
  }

  uint16_t nextMod() {
    mbCounter = static_cast<uint16_t>(mbCounter == 65535 ? 1 : mbCounter + 1);
    return mbCounter;
  }

  void freeBlob(const BlobDescriptor& d) {
    if (d.offset == 0 || d.length == 0 || d.offset >= mbSize) return;
    if (d.index == 0xFF) {
      std::vector<uint8_t>& img = mbBlock(d.offset);
      if (img[0] == 2) img[0] = 4;
    } else if (d.index < kSubEntries) {
      std::vector<uint8_t>& img = mbBlock(d.offset);
      if (img[0] == 3) std::memset(img.data() + 12 + 5 * d.index, 0, 5);
    }
  }

  // Stores a value longer than its leader and returns where it went.
  BlobDescriptor storeBlob(const std::string& value) {
    BlobDescriptor d;
    d.length = static_cast<uint32_t>(value.size());
    d.modNumber = nextMod();
    if (value.size() <= kSmallBlobMax && placeSmall(value, d)) return d;
    if (value.size() <= kSmallBlobMax) {
      // A new sub-allocated block at the end of the file.
      uint64_t off = mbSize;
      mbSize += kMbBlockSize;
      std::vector<uint8_t>& img = mbBlock(off);
      img[0] = 3;
      putLe16(img.data() + 1, 1);
      subBlock = static_cast<uint32_t>(off);
      if (!placeSmall(value, d)) throw EDatabaseError("Не удаётся разместить BLOB в файле .MB");
      return d;
    }
    uint64_t chunks = (9 + uint64_t{value.size()} + kMbBlockSize - 1) / kMbBlockSize;
    if (chunks > 65535 || mbSize + chunks * kMbBlockSize > 0xFFFFFF00ull)
      throw EDatabaseError("BLOB длиной " + std::to_string(value.size()) + " байт не помещается в файл .MB");
    uint64_t off = mbSize;
    mbSize += chunks * kMbBlockSize;
    std::vector<uint8_t> bytes(static_cast<size_t>(chunks * kMbBlockSize), 0);
    bytes[0] = 2;
    putLe16(bytes.data() + 1, static_cast<uint16_t>(chunks));
    putLe32(bytes.data() + 3, d.length);
    putLe16(bytes.data() + 7, d.modNumber);
    std::memcpy(bytes.data() + 9, value.data(), value.size());
    for (uint64_t k = 0; k < chunks; ++k)
      mbBlocks[off + k * kMbBlockSize].assign(bytes.begin() + static_cast<long>(k * kMbBlockSize),
                                             bytes.begin() + static_cast<long>((k + 1) * kMbBlockSize));
    d.offset = static_cast<uint32_t>(off);
    d.index = 0xFF;
    return d;
  }

  // First fit in the current sub-allocated block: a free entry and enough free chunks.
  bool placeSmall(const std::string& value, BlobDescriptor& d) {
    if (!subBlock || subBlock >= mbSize) return false;
    std::vector<uint8_t>& img = mbBlock(subBlock);
    if (img[0] != 3) return false;
    uint32_t need = std::max<uint32_t>(1, static_cast<uint32_t>((value.size() + 15) / 16));
    std::vector<bool> used(kChunksPerBlock, false);
    int freeEntry = -1;
    for (int i = static_cast<int>(kSubEntries) - 1; i >= 0; --i) {
      const uint8_t* e = img.data() + 12 + 5 * i;
      if (e[0] == 0 || e[4] == 0) {
        if (freeEntry < 0) freeEntry = i;
        continue;
      }
      for (uint32_t c = e[0]; c < uint32_t{e[0]} + e[1] && c < kChunksPerBlock; ++c) used[c] = true;
    }
    if (freeEntry < 0) return false;
    uint32_t run = 0;
    for (uint32_t c = kFirstDataChunk; c < kChunksPerBlock; ++c) {
      run = used[c] ? 0 : run + 1;
      if (run == need) {
        uint32_t start = c + 1 - need;
        uint8_t* e = img.data() + 12 + 5 * freeEntry;
        e[0] = static_cast<uint8_t>(start);
        e[1] = static_cast<uint8_t>(need);
        putLe16(e + 2, d.modNumber);
        e[4] = static_cast<uint8_t>(value.size() - (need - 1) * 16);
        std::memset(img.data() + start * 16, 0, need * 16);
        std::memcpy(img.data() + start * 16, value.data(), value.size());
        d.offset = subBlock;
        d.index = static_cast<uint8_t>(freeEntry);
        return true;
      }
    }
    return false;
  }
};

std::string ParadoxTable::journalPath() const { return io::withoutExtension(path_) + ".CKJ"; }

uint32_t ParadoxTable::keyBytes() const {
  uint32_t n = 0;
  for (int i = 0; i < header_.keyFields; ++i) n += header_.fields[static_cast<size_t>(i)].bytes;
  return n;
}

int ParadoxTable::compareKeys(const uint8_t* a, const uint8_t* b) const {
  // Numbers, dates and (in byte-ordered tables) text compare as their stored bytes.
  return std::memcmp(a, b, keyBytes());
}

std::vector<uint8_t> ParadoxTable::blockImage(uint16_t block) {
  // The block cache holds the plain images of the blocks read last (kept current by
  // every commit): appending to the last block does not read it from the disk again.
  for (const auto& c : cache_)
    if (c.block == block && c.data.size() == header_.blockSize()) return c.data;
  std::vector<uint8_t> img(header_.blockSize(), 0);
  file_->readAt(header_.blockOffset(block), img.data(), img.size());
  if (header_.encrypted()) decryptBlock(img.data(), header_.blockSize(), header_.checksum, block);
  return img;
}

void ParadoxTable::recoverJournal() {
  if (!WriteJournal::pending(fs_, journalPath())) return;
  // A journal marked busy while another writer holds the table is that writer's change in
  // progress, not a leftover: undoing it would tear its write. Only a journal nobody
  // holds is undone, through the write locks.
  std::unique_ptr<WriteLock> lock;
  try {
    lock = std::make_unique<WriteLock>(fs_, path_);
  } catch (const EDatabaseError&) {
    recoveryDeferred_ = true;
    return;
  }
  std::vector<io::File*> raw = {lock->file(".db"), lock->file(".px"), lock->file(".mb")};
  WriteJournal::recover(fs_, journalPath(), raw);
}

void ParadoxTable::openForWriting() {
  auto refuse = [&](const std::string& why) { throw EDatabaseError("Таблицу " + path_ + " нельзя изменить: " + why); };
  if (!damage_.empty()) refuse("она повреждена (" + damage_ + ")");
  if (header_.writeProtected) refuse("она защищена от записи");
  if (hasSecondaryIndexes_)
    refuse("у неё есть вторичные индексы, которые Checkup не обновляет; изменение сделало бы их устаревшими");
  if (header_.keyFields > 0 && pxPath_.empty()) refuse("нет файла первичного индекса");
  auto w = std::make_unique<Writer>();
  // Lock files of the suite's programs, other processes' locks, read-only files: the lock
  // says who holds the table. The files stay locked while the table is open for writing.
  w->lock = std::make_unique<WriteLock>(fs_, path_);
  w->db = w->lock->file(".db");
  if (header_.keyFields > 0) w->px = w->lock->file(".px");
  if (header_.keyFields > 0 && !w->px) refuse("нет файла первичного индекса");
  bool hasBlobs = std::any_of(header_.fields.begin(), header_.fields.end(), [](const FieldInfo& f) { return isBlobCode(f.type); });
  if (hasBlobs) {
    w->mb = w->lock->file(".mb");
    if (!w->mb) {
      // A table whose BLOBs all fit their leaders may have no .MB yet: make an empty one.
      try {
        io::File& f = w->lock->createFile(".mb");
        auto h = mbHeaderBlock(1);
        f.writeAt(0, h.data(), h.size());
        w->mb = &f;
        mbPath_ = f.path();
        mb_ = std::make_unique<MbFile>(fs_.open(mbPath_, io::OpenMode::Read), mbPath_, header_.checksum);
      } catch (const io::IoError& e) {
        refuse(std::string("не удаётся создать файл BLOB (") + e.what() + ")");
      }
    }
    scanMb(*w);
  }
  w->journal = std::make_unique<WriteJournal>(fs_, journalPath());
  w->journal->setSynchronous(synchronousWrites_);
  writer_ = std::move(w);

  if (header_.keyFields > 0) {
    firstKeys_.clear();
    for (const auto& b : chain_) {
      std::vector<uint8_t> img = blockImage(b.block);
      firstKeys_.emplace_back(img.begin() + 6, img.begin() + 6 + keyBytes());
    }
  }
}

void ParadoxTable::scanMb(Writer& w) {
  if (!w.mb) return;
  w.mbSize = w.mb->size();
  w.subBlock = 0;
  auto plainChunk = [&](uint64_t off, uint8_t* out256) {
    std::fill(out256, out256 + 256, uint8_t{0});
    w.mb->readAt(off, out256, 256);
    if (header_.encrypted()) decryptMb(out256, 256, header_.checksum);
  };
  uint8_t h[256];
  plainChunk(0, h);
  w.mbCounter = le16(h + 3);
  // New small BLOBs go to the last sub-allocated block; the walk also proves the file's
  // blocks tile it.
  uint64_t off = kMbBlockSize;
  while (off + kMbBlockSize <= w.mbSize) {
    uint8_t bh[256];
    plainChunk(off, bh);
    uint16_t chunks = le16(bh + 1);
    if (bh[0] == 3) w.subBlock = static_cast<uint32_t>(off);
    if (chunks == 0 || (bh[0] != 2 && bh[0] != 3 && bh[0] != 4))
      throw EDatabaseError("Таблицу " + path_ + " нельзя изменить: файл BLOB повреждён (блок по смещению " +
                           std::to_string(off) + ")");
    off += uint64_t{chunks} * kMbBlockSize;
  }
  if (w.mbCounter == 0) w.mbCounter = 1;
}

void ParadoxTable::prepareWrite() {
  if (!writer_) openForWriting();
}

uint64_t ParadoxTable::lowerBound(const uint8_t* key, bool& equal) {
  equal = false;
  uint64_t lo = 0, hi = readable_;
  TRecordBuffer buf;
  while (lo < hi) {
    uint64_t mid = lo + (hi - lo) / 2;
    readRecord(mid, buf);
    if (compareKeys(buf.bytes.data(), key) < 0) lo = mid + 1;
    else hi = mid;
  }
  if (lo < readable_) {
    readRecord(lo, buf);
    equal = compareKeys(buf.bytes.data(), key) == 0;
  }
  return lo;
}

std::optional<uint64_t> ParadoxTable::findKey(const TRecordBuffer& buf) {
  if (header_.keyFields == 0 || buf.bytes.size() < keyBytes()) return std::nullopt;
  bool equal = false;
  uint64_t p = lowerBound(buf.bytes.data(), equal);
  if (!equal) return std::nullopt;
  return p;
}

namespace {

// The smallest range in which two images differ: what a change has to write.
bool diffRange(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t& from, size_t& to) {
  // Word by word: this runs over a whole block for every posted record.
  size_t n = std::min(a.size(), b.size());
  from = 0;
  while (from + 8 <= n && std::memcmp(a.data() + from, b.data() + from, 8) == 0) from += 8;
  while (from < n && a[from] == b[from]) ++from;
  if (from == n && a.size() == b.size()) return false;
  to = std::max(a.size(), b.size());
  if (to <= n) {
    while (to >= from + 8 && std::memcmp(a.data() + to - 8, b.data() + to - 8, 8) == 0) to -= 8;
    while (to > from && a[to - 1] == b[to - 1]) --to;
  }
  return true;
}

}  // namespace

void ParadoxTable::commit(Change& c) {
  Writer& w = *writer_;
  Header& h = c.header;
  // Header counters.
  // Only the fixed part of the header holds counters; the rest never changes here.
  std::array<uint8_t, kFixedHeader> fixed{};
  std::copy_n(h.raw.begin(), c.originalRaw.size(), fixed.begin());
  uint8_t* rawp = fixed.data();
  putLe32(rawp + 0x06, h.numRecords);
  putLe16(rawp + 0x0A, h.usedBlocks);
  putLe16(rawp + 0x0C, h.fileBlocks);
  putLe16(rawp + 0x0E, h.firstBlock);
  putLe16(rawp + 0x10, h.lastBlock);
  putLe16(rawp + 0x3A, h.fileBlocks);
  putLe32(rawp + 0x49, h.autoIncrement);
  putLe16(rawp + 0x4D, h.firstFreeBlock);
  std::vector<uint8_t> raw(fixed.begin(), fixed.begin() + static_cast<long>(c.originalRaw.size()));
  std::copy(raw.begin(), raw.end(), h.raw.begin());

  std::vector<io::File*> files = {w.db, w.px, w.mb};
  WriteJournal& j = *w.journal;
  j.begin(files);
  size_t from = 0, to = 0;
  if (diffRange(c.originalRaw, raw, from, to))
    j.write(kDb, from, std::vector<uint8_t>(raw.begin() + static_cast<long>(from), raw.begin() + static_cast<long>(to)),
            std::vector<uint8_t>(c.originalRaw.begin() + static_cast<long>(from), c.originalRaw.begin() + static_cast<long>(to)));
  // Blocks in file order, new ones written whole.
  // Enciphered tables hold the cipher text: whole 256-byte chunks change with any byte.
  const bool enc = h.encrypted();
  std::vector<uint8_t> cipher, cipherOld;
  for (auto& [no, plain] : c.blocks) {
    uint64_t off = h.blockOffset(no);
    if (enc) {
      cipher = plain;
      encryptBlock(cipher.data(), h.blockSize(), h.checksum, no);
    }
    const std::vector<uint8_t>& img = enc ? cipher : plain;
    auto orig = c.blockOriginals.find(no);
    if (orig != c.blockOriginals.end() && no <= c.originalFileBlocks) {
      if (enc) {
        cipherOld = orig->second;
        encryptBlock(cipherOld.data(), h.blockSize(), h.checksum, no);
      }
      const std::vector<uint8_t>& old = enc ? cipherOld : orig->second;
      if (!diffRange(old, img, from, to)) continue;
      j.write(kDb, off + from, std::vector<uint8_t>(img.begin() + static_cast<long>(from), img.begin() + static_cast<long>(to)),
              std::vector<uint8_t>(old.begin() + static_cast<long>(from), old.begin() + static_cast<long>(to)));
    } else {
      j.write(kDb, off, img, {});
    }
  }
  // The MB: blocks, then the header's counter.
  if (w.mb) {
    if (c.mbCounter != w.mbCounter) putLe16(c.mbBlock(0).data() + 3, c.mbCounter);
    for (auto& [off, plain] : c.mbBlocks) {
      std::vector<uint8_t> img = plain;
      if (enc) encryptMb(img.data(), kMbBlockSize, h.checksum);
      auto orig = c.mbOriginals.find(off);
      if (orig != c.mbOriginals.end()) {
        std::vector<uint8_t> old = orig->second;
        if (enc) encryptMb(old.data(), kMbBlockSize, h.checksum);
        if (!diffRange(old, img, from, to)) continue;
        j.write(kMb, off + from, std::vector<uint8_t>(img.begin() + static_cast<long>(from), img.begin() + static_cast<long>(to)),
                std::vector<uint8_t>(old.begin() + static_cast<long>(from), old.begin() + static_cast<long>(to)));
      } else {
        j.write(kMb, off, img, {});
      }
    }
  }
  // The primary index follows the blocks' first keys and counts.
  std::vector<uint8_t> newPx;
  if (header_.keyFields > 0 && c.structureChanged) {
    PxSpec layout;
    layout.keyFields.assign(h.fields.begin(), h.fields.begin() + h.keyFields);
    std::vector<uint8_t> pxHead(0x58, 0);
    w.px->readAt(0, pxHead.data(), pxHead.size());
    layout.blockSizeKiB = pxHead[0x05] ? pxHead[0x05] : h.maxTableSize;
    layout.sortOrder = h.sortOrder;
    layout.fileVersionID = h.fileVersionID;
    layout.tableChangeCount = raw[0x2D];
    layout.rawTableName = h.rawTableName;
    std::vector<PxLeaf> leaves;
    for (size_t i = 0; i < c.chain.size(); ++i) leaves.push_back({c.chain[i].block, c.chain[i].count, c.firstKeys.at(i)});
    newPx = buildPrimaryIndex(layout, leaves);
    uint64_t oldSize = w.px->size();
    std::vector<uint8_t> oldPx(static_cast<size_t>(oldSize));
    w.px->readAt(0, oldPx.data(), oldPx.size());
    if (diffRange(oldPx, newPx, from, to)) {
      std::vector<uint8_t> orig(oldPx.begin() + static_cast<long>(std::min<size_t>(from, oldPx.size())),
                                oldPx.begin() + static_cast<long>(std::min<size_t>(to, oldPx.size())));
      j.write(kPx, from, std::vector<uint8_t>(newPx.begin() + static_cast<long>(from), newPx.begin() + static_cast<long>(std::min(to, newPx.size()))),
              orig);
    }
    if (newPx.size() < oldPx.size())
      j.truncate(kPx, newPx.size(), std::vector<uint8_t>(oldPx.begin() + static_cast<long>(newPx.size()), oldPx.end()));
  }
  j.commit();

  // The files hold the change, as memory already does.
  readable_ = header_.numRecords;
  w.mbSize = c.mbSize;
  w.mbCounter = c.mbCounter;
  w.subBlock = c.subBlock;
  if (mb_ && !c.mbBlocks.empty()) mb_->refresh();
  // The cached blocks that changed take their new images; the rest stay valid.
  for (auto& cb : cache_) {
    auto it = c.blocks.find(cb.block);
    if (it != c.blocks.end()) cb.data = std::move(it->second);  // the change is done with them
  }
}

namespace {

// Reads on the write path (block images, the .MB, the index) fail with io::IoError; the
// caller is told as for any other engine error, naming the table.
// A change that did not land leaves memory changed (it is changed in place): the
// table then reads its state from the files again, which hold the truth.
template <typename F>
auto guardWrite(ParadoxTable& t, const std::string& table, F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const io::IoError& e) {
    t.reloadState();
    throw EDatabaseError("Таблица " + table + ": " + e.what());
  } catch (...) {
    t.reloadState();
    throw;
  }
}

}  // namespace

void ParadoxTable::reloadState() {
  try {
    cache_.clear();
    chain_.clear();
    damage_.clear();
    warnings_.clear();
    readable_ = 0;
    fileSize_ = file_->size();
    header_ = readHeader(*file_, path_, FileKind::Table);
    walkChain();
    if (header_.keyFields > 0) checkPrimaryIndex();
    if (writer_) {
      scanMb(*writer_);
      firstKeys_.clear();
      if (header_.keyFields > 0)
        for (const auto& b : chain_) {
          std::vector<uint8_t> img = blockImage(b.block);
          firstKeys_.emplace_back(img.begin() + 6, img.begin() + 6 + keyBytes());
        }
    }
    if (mb_) mb_->refresh();
  } catch (const std::exception& e) {
    // Whatever the files say now, nothing more is written through this table object.
    writer_.reset();
    readable_ = 0;
    damage_ = std::string("Таблица ") + path_ + " не перечитана после неудачной записи: " + e.what();
  }
}

void ParadoxTable::updateRecord(uint64_t position, TRecordBuffer& buf) {
  guardWrite(*this, path_, [&] { updateRecordIn(position, buf); });
}

uint64_t ParadoxTable::insertRecord(TRecordBuffer& buf) {
  return guardWrite(*this, path_, [&] { return insertRecordIn(buf); });
}

void ParadoxTable::deleteRecord(uint64_t position) {
  guardWrite(*this, path_, [&] { deleteRecordIn(position); });
}

void ParadoxTable::updateRecordIn(uint64_t position, TRecordBuffer& buf) {
  prepareWrite();
  if (position >= readable_) throw EDatabaseError("Таблица " + path_ + ": нет записи с номером " + std::to_string(position + 1));
  TRecordBuffer stored;
  readRecord(position, stored);
  if (buf.bytes.size() != header_.recordSize) throw EDatabaseError("Таблица " + path_ + ": неверный размер записи");
  if (header_.keyFields > 0 && compareKeys(stored.bytes.data(), buf.bytes.data()) != 0) {
    if (!alphaKeyByBytes_)
      for (int i = 0; i < header_.keyFields; ++i)
        if (header_.fields[static_cast<size_t>(i)].type == pxAlpha)
          throw EDatabaseError("Таблицу " + path_ + " нельзя изменить: ключ содержит текстовое поле «" + fields_[static_cast<size_t>(i)].name +
                               "», а порядок сортировки драйвера «" + header_.sortId + "» Checkup не знает");
    // A new key moves the record. The new record goes in first, carrying copies of the
    // BLOBs it keeps, and only then the old one goes: a failure between the two leaves a
    // record twice, never none.
    bool equal = false;
    lowerBound(buf.bytes.data(), equal);
    if (equal) throw EDatabaseError("Нарушение уникальности ключа: запись с таким ключом уже есть");
    TRecordBuffer moved = buf;
    for (size_t f = 0; f < header_.fields.size(); ++f) {
      int fno = static_cast<int>(f);
      if (!isBlobCode(header_.fields[f].type) || moved.blobs.count(fno) || moved.blobNull.count(fno)) continue;
      setFieldValue(moved, fno, fieldValue(stored, fno));
    }
    insertRecord(moved);
    bool found = false;
    uint64_t old = lowerBound(stored.bytes.data(), found);
    if (found) {
      deleteRecord(old);
      if (old < moved.position) --moved.position;
    }
    buf = moved;
    return;
  }
  if (buf.blobs.empty() && buf.blobNull.empty() && buf.bytes == stored.bytes) return;  // nothing changed

  Change c(*this);
  size_t ci = chainIndexOf(position);
  std::vector<uint8_t>& img = c.block(c.chain[ci].block);
  uint8_t* rec = img.data() + 6 + (position - c.chain[ci].first) * header_.recordSize;
  std::vector<uint8_t> bytes = buf.bytes;
  for (size_t f = 0; f < header_.fields.size(); ++f) {
    const FieldInfo& fi = header_.fields[f];
    if (!isBlobCode(fi.type)) continue;
    int fno = static_cast<int>(f);
    bool cleared = buf.blobNull.count(fno) && buf.blobNull.at(fno);
    auto nv = buf.blobs.find(fno);
    if (!cleared && nv == buf.blobs.end()) {
      std::memcpy(bytes.data() + fi.offset, stored.bytes.data() + fi.offset, fi.bytes);  // untouched BLOB
      continue;
    }
    c.freeBlob(readBlobDescriptor(stored.bytes.data() + fi.offset, fi));
    uint8_t* p = bytes.data() + fi.offset;
    std::memset(p, 0, fi.bytes);
    if (cleared) continue;
    const std::string& value = nv->second;
    uint32_t leader = fi.bytes - kBlobDescriptorBytes;
    std::memcpy(p, value.data(), std::min<size_t>(leader, value.size()));
    BlobDescriptor d;
    if (value.size() <= leader) {
      d.length = static_cast<uint32_t>(value.size());
    } else {
      d = c.storeBlob(fi.type == pxGraphic ? withGraphicPrefix(value) : value);
    }
    writeBlobDescriptor(p, fi, d);
  }
  std::memcpy(rec, bytes.data(), header_.recordSize);
  // The edit buffer keeps its new BLOB values until the change has landed: a Post made
  // again after a failed one must store them again.
  commit(c);
  buf.bytes = bytes;
  buf.blobs.clear();
  buf.blobNull.clear();
}

uint64_t ParadoxTable::insertRecordIn(TRecordBuffer& buf) {
  prepareWrite();
  if (buf.bytes.size() != header_.recordSize) throw EDatabaseError("Таблица " + path_ + ": неверный размер записи");
  Change c(*this);
  std::vector<uint8_t> bytes = buf.bytes;
  // Autoincrement fields take the next number; an explicit one above it moves it on.
  for (size_t f = 0; f < header_.fields.size(); ++f) {
    const FieldInfo& fi = header_.fields[f];
    if (fi.type != pxAutoInc) continue;
    uint8_t* p = bytes.data() + fi.offset;
    if (allZero(p, 4)) {
      if (c.header.autoIncrement >= 2147483647u) throw EDatabaseError("Автоинкремент таблицы " + path_ + " исчерпан");
      encodeInt(p, 4, ++c.header.autoIncrement);
    } else {
      int64_t v = decodeInt(p, 4);
      if (v > 0 && static_cast<uint64_t>(v) > c.header.autoIncrement) c.header.autoIncrement = static_cast<uint32_t>(v);
    }
  }
  // BLOBs: leader copies and the .MB.
  for (size_t f = 0; f < header_.fields.size(); ++f) {
    const FieldInfo& fi = header_.fields[f];
    if (!isBlobCode(fi.type)) continue;
    int fno = static_cast<int>(f);
    uint8_t* p = bytes.data() + fi.offset;
    std::memset(p, 0, fi.bytes);
    auto nv = buf.blobs.find(fno);
    if (nv == buf.blobs.end() || (buf.blobNull.count(fno) && buf.blobNull.at(fno))) continue;
    const std::string& value = nv->second;
    uint32_t leader = fi.bytes - kBlobDescriptorBytes;
    std::memcpy(p, value.data(), std::min<size_t>(leader, value.size()));
    BlobDescriptor d;
    if (value.size() <= leader) {
      d.length = static_cast<uint32_t>(value.size());
    } else if (fi.type == pxGraphic) {
      d = c.storeBlob(withGraphicPrefix(value));
    } else {
      d = c.storeBlob(value);
    }
    writeBlobDescriptor(p, fi, d);
  }

  // Where the record goes.
  size_t ci = 0;
  uint32_t at = 0;  // index inside the block
  uint64_t position = 0;
  bool keyedTable = header_.keyFields > 0;
  if (keyedTable) {
    if (!alphaKeyByBytes_)
      for (int i = 0; i < header_.keyFields; ++i)
        if (header_.fields[static_cast<size_t>(i)].type == pxAlpha)
          throw EDatabaseError("В таблицу " + path_ + " нельзя добавить запись: ключ содержит текстовое поле «" +
                               fields_[static_cast<size_t>(i)].name + "», а порядок сортировки драйвера «" + header_.sortId +
                               "» Checkup не знает");
    for (int i = 0; i < header_.keyFields; ++i)
      if (allZero(bytes.data() + header_.fields[static_cast<size_t>(i)].offset, header_.fields[static_cast<size_t>(i)].bytes))
        throw EDatabaseError("Ключевое поле «" + fields_[static_cast<size_t>(i)].name + "» не заполнено");
    bool equal = false;
    position = lowerBound(bytes.data(), equal);
    if (equal) throw EDatabaseError("Нарушение уникальности ключа: запись с таким ключом уже есть");
  } else {
    position = readable_;
  }
  if (c.chain.empty()) {
    uint16_t no = c.allocateBlock();
    std::vector<uint8_t>& img = c.block(no);
    c.setCount(img, 0);
    c.chain.push_back({no, 0, 0});
    c.structureChanged = true;
  } else {
    // The block holding the key predecessor (or the last block when appending).
    ci = position == 0 ? 0 : chainIndexOf(position - 1);
    at = static_cast<uint32_t>(position - c.chain[ci].first);
  }
  {
    std::vector<uint8_t>& img = c.block(c.chain[ci].block);
    if (c.chain[ci].count >= c.perBlock()) {
      uint16_t fresh = c.allocateBlock();
      std::vector<uint8_t>& nimg = c.block(fresh);
      std::vector<uint8_t>& oimg = c.block(c.chain[ci].block);
      uint32_t n = c.chain[ci].count;
      size_t newIndex = ci + 1;
      if (at == n) {
        // Appending after a full block starts a new one.
        c.setCount(nimg, 0);
        c.chain.insert(c.chain.begin() + static_cast<long>(ci) + 1, ChainBlock{fresh, 0, 0});
        if (c.firstKeys.size() >= ci + 1 && keyedTable) c.firstKeys.insert(c.firstKeys.begin() + static_cast<long>(ci) + 1, std::vector<uint8_t>());
        ++ci;
        at = 0;
      } else {
        // Split in half: the upper records move to the new block that follows.
        uint32_t keep = n / 2;
        std::memcpy(nimg.data() + 6, oimg.data() + 6 + keep * c.rs(), (n - keep) * c.rs());
        std::memset(oimg.data() + 6 + keep * c.rs(), 0, (n - keep) * c.rs());
        c.setCount(oimg, static_cast<int>(keep));
        c.setCount(nimg, static_cast<int>(n - keep));
        c.chain[ci].count = static_cast<uint16_t>(keep);
        c.chain.insert(c.chain.begin() + static_cast<long>(ci) + 1, ChainBlock{fresh, static_cast<uint16_t>(n - keep), 0});
        if (keyedTable) c.firstKeys.insert(c.firstKeys.begin() + static_cast<long>(ci) + 1, std::vector<uint8_t>());
        if (at > keep) {
          ++ci;
          at -= keep;
        }
      }
      c.structureChanged = true;
      c.relinkAround(newIndex);
    }
    (void)img;
  }
  std::vector<uint8_t>& img = c.block(c.chain[ci].block);
  uint32_t n = c.chain[ci].count;
  uint8_t* base = img.data() + 6;
  std::memmove(base + (at + 1) * c.rs(), base + at * c.rs(), (n - at) * c.rs());
  std::memcpy(base + at * c.rs(), bytes.data(), c.rs());
  c.chain[ci].count = static_cast<uint16_t>(n + 1);
  c.setCount(img, static_cast<int>(n + 1));
  c.recount(ci > 0 ? ci - 1 : 0);
  position = c.chain[ci].first + at;
  if (keyedTable) {
    if (c.firstKeys.size() < c.chain.size()) c.firstKeys.resize(c.chain.size());
    for (size_t k = ci > 0 ? ci - 1 : 0; k < std::min(c.chain.size(), ci + 2); ++k) c.updateFirstKey(k);
    c.structureChanged = true;  // counts changed
  }
  commit(c);
  buf.bytes = bytes;
  buf.position = position;
  buf.blobs.clear();
  buf.blobNull.clear();
  return position;
}

void ParadoxTable::deleteRecordIn(uint64_t position) {
  prepareWrite();
  if (position >= readable_) throw EDatabaseError("Таблица " + path_ + ": нет записи с номером " + std::to_string(position + 1));
  TRecordBuffer stored;
  readRecord(position, stored);
  Change c(*this);
  for (const auto& fi : header_.fields)
    if (isBlobCode(fi.type)) c.freeBlob(readBlobDescriptor(stored.bytes.data() + fi.offset, fi));
  size_t ci = chainIndexOf(position);
  std::vector<uint8_t>& img = c.block(c.chain[ci].block);
  uint32_t n = c.chain[ci].count, at = static_cast<uint32_t>(position - c.chain[ci].first);
  uint8_t* base = img.data() + 6;
  std::memmove(base + at * c.rs(), base + (at + 1) * c.rs(), (n - at - 1) * c.rs());
  std::memset(base + (n - 1) * c.rs(), 0, c.rs());
  c.chain[ci].count = static_cast<uint16_t>(n - 1);
  c.setCount(img, static_cast<int>(n - 1));
  bool keyedTable = header_.keyFields > 0;
  if (n - 1 == 0 && c.chain.size() > 1) {
    size_t gone = ci;
    if (ci == 0) {
      // The first block stays first: the next block's records move into it and the next
      // block is freed instead.
      std::vector<uint8_t>& nimg = c.block(c.chain[1].block);
      uint32_t m = c.chain[1].count;
      std::vector<uint8_t>& first = c.block(c.chain[0].block);
      std::memcpy(first.data() + 6, nimg.data() + 6, m * c.rs());
      c.setCount(first, static_cast<int>(m));
      c.chain[0].count = static_cast<uint16_t>(m);
      gone = 1;
    }
    uint16_t freed = c.chain[gone].block;
    c.chain.erase(c.chain.begin() + static_cast<long>(gone));
    if (keyedTable && gone < c.firstKeys.size()) c.firstKeys.erase(c.firstKeys.begin() + static_cast<long>(gone));
    std::vector<uint8_t>& fimg = c.block(freed);
    std::fill(fimg.begin(), fimg.end(), uint8_t{0});
    putLe16(fimg.data(), c.header.firstFreeBlock);
    c.setCount(fimg, 0);
    c.header.firstFreeBlock = freed;
    c.structureChanged = true;
    c.relinkAround(gone);
  }
  c.recount(ci > 0 ? ci - 1 : 0);
  if (keyedTable) {
    for (size_t k = ci > 0 ? ci - 1 : 0; k < std::min(c.chain.size(), ci + 2); ++k) c.updateFirstKey(k);
    c.structureChanged = true;
  }
  commit(c);
}

void ParadoxTable::flush() {
  if (!writer_) return;
  try {
    writer_->db->flush();
    if (writer_->px) writer_->px->flush();
    if (writer_->mb) writer_->mb->flush();
  } catch (const io::IoError& e) {
    throw EDatabaseError(e.what());
  }
}

}  // namespace paradox
