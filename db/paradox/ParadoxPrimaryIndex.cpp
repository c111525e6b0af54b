#include "db/paradox/ParadoxPrimaryIndex.h"

#include "db/EngineError.h"
#include "db/paradox/ParadoxCrypt.h"
#include "db/paradox/ParadoxFormat.h"

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

}  // namespace paradox
