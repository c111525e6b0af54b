#include "db/paradox/ParadoxPrimaryIndex.h"

#include "db/EngineError.h"
#include "db/paradox/ParadoxCrypt.h"
#include "db/paradox/ParadoxFormat.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

namespace paradox {

PxTree readPrimaryIndex(io::File& file, const std::string& name, const Header& table) {
  PxTree t;
  t.header = readHeader(file, name, FileKind::PrimaryIndex);
  const Header& h = t.header;
  auto fail = [&](const std::string& what, uint64_t offset) {
    if (t.error.empty()) {
      t.error = what;
      t.errorOffset = offset;
    }
  };
  if (h.numFields != table.keyFields) {
    fail("ключевых полей в индексе: " + std::to_string(h.numFields) + ", в таблице: " + std::to_string(table.keyFields), 0x21);
    return t;
  }
  uint32_t keyBytes = 0;
  for (int i = 0; i < h.numFields; ++i) {
    const auto& a = h.fields[static_cast<size_t>(i)];
    const auto& b = table.fields[static_cast<size_t>(i)];
    if (a.type != b.type || a.size != b.size) {
      fail("поле ключа " + std::to_string(i + 1) + " в индексе не совпадает с полем таблицы", 0x58u + 2u * static_cast<unsigned>(i));
      return t;
    }
    keyBytes += a.bytes;
  }
  if (h.indexLevels == 0 || h.indexRoot == 0 || h.indexRoot > h.fileBlocks) {
    if (table.numRecords == 0 && h.fileBlocks == 0) return t;  // an empty table's empty index
    fail("недопустимый корень индекса (блок " + std::to_string(h.indexRoot) + ", уровней " +
             std::to_string(h.indexLevels) + ")",
         0x1E);
    return t;
  }
  uint64_t fileSize = file.size();
  std::vector<uint8_t> visited(size_t{h.fileBlocks} + 1, 0);
  std::vector<uint8_t> block(h.blockSize());
  bool hasAlphaKey = false;
  for (int i = 0; i < h.numFields; ++i)
    if (h.fields[static_cast<size_t>(i)].type == pxAlpha) hasAlphaKey = true;

  // Returns the number of records beneath the block; depth counts down to 1 (leaves).
  std::function<uint64_t(uint16_t, int)> walk = [&](uint16_t blockNo, int level) -> uint64_t {
    if (!t.error.empty()) return 0;
    if (blockNo == 0 || blockNo > h.fileBlocks) {
      fail("ссылка на блок индекса " + std::to_string(blockNo) + " вне файла", 0);
      return 0;
    }
    if (visited[blockNo]) {
      fail("блок индекса " + std::to_string(blockNo) + " встречается в дереве дважды", h.blockOffset(blockNo));
      return 0;
    }
    visited[blockNo] = 1;
    uint64_t off = h.blockOffset(blockNo);
    std::fill(block.begin(), block.end(), uint8_t{0});
    size_t got = file.readAt(off, block.data(), block.size());
    if (h.encrypted()) decryptBlock(block.data(), h.blockSize(), h.checksum, blockNo);
    int16_t add = le16s(block.data() + 4);
    if (add < -static_cast<int>(h.recordSize) || add % static_cast<int>(h.recordSize) != 0 ||
        add >= static_cast<int>(h.recordsPerBlock() * h.recordSize)) {
      fail("блок индекса " + std::to_string(blockNo) + ": недопустимый размер данных " + std::to_string(add), off + 4);
      return 0;
    }
    int count = add / static_cast<int>(h.recordSize) + 1;
    if (6 + static_cast<size_t>(count) * h.recordSize > got) {
      fail("блок индекса " + std::to_string(blockNo) + " выходит за конец файла", off);
      return 0;
    }
    std::vector<uint8_t> entries(block.begin() + 6, block.begin() + 6 + static_cast<long>(count) * h.recordSize);
    uint64_t total = 0;
    const uint8_t* prevKey = nullptr;
    std::vector<uint8_t> prevCopy;
    for (int e = 0; e < count; ++e) {
      const uint8_t* rec = entries.data() + static_cast<size_t>(e) * h.recordSize;
      const uint8_t* tail = rec + keyBytes;
      auto target = static_cast<uint16_t>(decodeInt(tail, 2));
      auto cnt = static_cast<uint16_t>(decodeInt(tail + 2, 2));
      if (!hasAlphaKey && prevKey && std::memcmp(prevKey, rec, keyBytes) >= 0) {
        fail("ключи блока индекса " + std::to_string(blockNo) + " не возрастают", off + 6 + uint64_t(e) * h.recordSize);
        return 0;
      }
      prevCopy.assign(rec, rec + keyBytes);
      prevKey = prevCopy.data();
      if (level == 1) {
        t.leaves.push_back({target, cnt, std::vector<uint8_t>(rec, rec + keyBytes)});
        total += cnt;
      } else {
        uint64_t below = walk(target, level - 1);
        if (!t.error.empty()) return 0;
        // Counts are 16-bit: a tree over very many records keeps them modulo 65536.
        if ((below & 0xFFFF) != cnt) {
          fail("в блоке индекса " + std::to_string(blockNo) + " указано записей: " + std::to_string(cnt) + ", ниже по дереву: " +
                   std::to_string(below),
               off + 6 + uint64_t(e) * h.recordSize + keyBytes + 2);
          return 0;
        }
        total += below;
      }
    }
    return total;
  };
  if (fileSize < h.headerSize) {
    fail("файл индекса обрезан", 0);
    return t;
  }
  walk(h.indexRoot, h.indexLevels);
  return t;
}

std::vector<uint8_t> buildPrimaryIndex(const PxSpec& layout, const std::vector<PxLeaf>& leaves) {
  const size_t keyFields = layout.keyFields.size();
  uint32_t keyBytes = 0;
  for (const auto& f : layout.keyFields) keyBytes += f.bytes;
  const uint32_t rs = keyBytes + 6;
  const uint32_t blockSize = uint32_t{layout.blockSizeKiB} * 1024;
  const uint32_t perBlock = (blockSize - 6) / rs;

  // levels[0]: one entry per data block; levels[k]: one per block of level k − 1.
  struct Entry {
    const uint8_t* key;
    uint32_t target;  // index of the block below (level 0: the data block number)
    uint64_t count;
  };
  std::vector<std::vector<Entry>> levels(1);
  for (const auto& l : leaves) levels[0].push_back({l.key.data(), l.dbBlock, l.count});
  while (levels.back().size() > perBlock) {
    const auto& below = levels.back();
    std::vector<Entry> up;
    for (size_t i = 0; i < below.size(); i += perBlock) {
      uint64_t sum = 0;
      for (size_t j = i; j < std::min(below.size(), i + perBlock); ++j) sum += below[j].count;
      up.push_back({below[i].key, static_cast<uint32_t>(i / perBlock), sum});
    }
    levels.push_back(std::move(up));
  }
  size_t depth = levels.size();
  std::vector<uint32_t> firstBlock(depth), blockCount(depth);
  uint32_t next = 1;
  uint64_t entries = 0;
  for (size_t k = depth; k-- > 0;) {
    firstBlock[k] = next;
    blockCount[k] = static_cast<uint32_t>((levels[k].size() + perBlock - 1) / perBlock);
    next += blockCount[k];
    entries += levels[k].size();
  }
  uint32_t totalBlocks = leaves.empty() ? 0 : next - 1;
  if (totalBlocks > 65535) throw EDatabaseError("Первичный индекс не помещается в 65535 блоков");

  bool level3 = layout.fileVersionID <= 4;
  size_t tableNameLen = layout.fileVersionID >= 12 ? 261 : 79;
  auto realSize = static_cast<uint32_t>(0x58 + 2 * keyFields + 4 + tableNameLen);
  uint32_t headerSize = level3 ? realSize : (realSize + 0x7FF) & ~uint32_t{0x7FF};
  std::vector<uint8_t> out(headerSize + size_t{totalBlocks} * blockSize, 0);
  uint8_t* p = out.data();
  putLe16(p + 0x00, static_cast<uint16_t>(rs));
  putLe16(p + 0x02, static_cast<uint16_t>(headerSize));
  p[0x04] = ftPrimaryIndex;
  p[0x05] = layout.blockSizeKiB;
  putLe32(p + 0x06, static_cast<uint32_t>(entries));
  putLe16(p + 0x0A, static_cast<uint16_t>(totalBlocks));
  putLe16(p + 0x0C, static_cast<uint16_t>(totalBlocks));
  putLe16(p + 0x0E, totalBlocks ? 1 : 0);
  putLe16(p + 0x10, static_cast<uint16_t>(totalBlocks));
  putLe16(p + 0x1E, totalBlocks ? 1 : 0);
  p[0x20] = totalBlocks ? static_cast<uint8_t>(depth) : 0;
  putLe16(p + 0x21, static_cast<uint16_t>(keyFields));
  p[0x29] = layout.sortOrder;
  p[0x2C] = layout.tableChangeCount;
  p[0x2D] = 1;
  p[0x2E] = 1;
  p[0x39] = layout.fileVersionID;
  putLe16(p + 0x3A, static_cast<uint16_t>(totalBlocks));
  if (!level3) putLe16(p + 0x51, static_cast<uint16_t>(realSize));
  for (size_t i = 0; i < keyFields; ++i) {
    p[0x58 + 2 * i] = layout.keyFields[i].type;
    p[0x58 + 2 * i + 1] = layout.keyFields[i].size;
  }
  std::memcpy(p + 0x58 + 2 * keyFields + 4, layout.rawTableName.data(), std::min(layout.rawTableName.size(), tableNameLen - 1));
  for (size_t k = depth; k-- > 0 && totalBlocks;) {
    const auto& level = levels[k];
    for (uint32_t b = 0; b < blockCount[k]; ++b) {
      uint32_t no = firstBlock[k] + b;
      uint8_t* block = p + headerSize + size_t{no - 1} * blockSize;
      size_t from = size_t{b} * perBlock, to = std::min(level.size(), from + perBlock);
      putLe16(block, no == totalBlocks ? 0 : static_cast<uint16_t>(no + 1));
      putLe16(block + 2, static_cast<uint16_t>(no - 1));
      putLe16(block + 4, static_cast<uint16_t>(static_cast<int16_t>(static_cast<int>(to - from - 1) * static_cast<int>(rs))));
      uint8_t* e = block + 6;
      for (size_t i = from; i < to; ++i, e += rs) {
        std::memcpy(e, level[i].key, keyBytes);
        uint32_t target = k == 0 ? level[i].target : firstBlock[k - 1] + level[i].target;
        encodeInt(e + keyBytes, 2, static_cast<int64_t>(target & 0xFFFF));
        encodeInt(e + keyBytes + 2, 2, static_cast<int64_t>(level[i].count & 0xFFFF));
        encodeInt(e + keyBytes + 4, 2, 0);
      }
    }
  }
  return out;
}

}  // namespace paradox
