#include "db/paradox/ParadoxBlob.h"

#include "db/paradox/ParadoxCrypt.h"
#include "db/paradox/ParadoxFormat.h"

#include <cstring>
#include <vector>

namespace paradox {

std::vector<uint8_t> mbHeaderBlock(uint16_t counter) {
  std::vector<uint8_t> h(kMbBlockSize, 0);
  putLe16(h.data() + 0x01, 1);  // type 0, one 4 KiB block
  putLe16(h.data() + 0x03, counter);
  const uint8_t constants[5] = {0x82, 0x73, 0x02, 0x00, 0x29};
  std::memcpy(h.data() + 0x05, constants, sizeof constants);
  putLe16(h.data() + 0x0B, 0x1000);  // base block size
  putLe16(h.data() + 0x0D, 0x1000);  // sub-allocated block size
  h[0x10] = 0x10;                    // chunk size
  putLe16(h.data() + 0x11, 0x0040);  // entries per sub-allocated block
  putLe16(h.data() + 0x13, 0x0800);  // BLOBs above 2048 bytes get a block of their own
  putLe16(h.data() + 0x29, 0x02A1);
  return h;
}

MbFile::MbFile(std::unique_ptr<io::File> file, std::string displayName, uint32_t checksum)
    : file_(std::move(file)), name_(std::move(displayName)), checksum_(checksum) {
  if (!file_) return;
  size_ = file_->size();
  if (size_ < kMbBlockSize) {
    headerError_ = "файл BLOB короче заголовка (" + std::to_string(size_) + " байт)";
    return;
  }
  if (size_ % kMbBlockSize != 0) {
    headerError_ = "размер файла BLOB (" + std::to_string(size_) + " байт) не кратен 4096";
    return;
  }
  uint8_t head[256];
  readPlain(0, head, sizeof head);
  if (head[0] != 0) headerError_ = "заголовок файла BLOB имеет тип " + std::to_string(head[0]) + " вместо 0";
}

void MbFile::refresh() {
  if (!file_) return;
  size_ = file_->size();
  if (size_ >= kMbBlockSize && size_ % kMbBlockSize == 0) headerError_.clear();
}

void MbFile::readPlain(uint64_t offset, uint8_t* buf, size_t n) {
  // Enciphered files are deciphered in whole 256-byte chunks, so read aligned.
  if (!checksum_) {
    size_t got = file_->readAt(offset, buf, n);
    if (got < n) std::fill(buf + got, buf + n, uint8_t{0});
    return;
  }
  uint64_t start = offset & ~uint64_t{255};
  uint64_t end = (offset + n + 255) & ~uint64_t{255};
  std::vector<uint8_t> tmp(end - start);
  size_t got = file_->readAt(start, tmp.data(), tmp.size());
  if (got < tmp.size()) std::fill(tmp.begin() + static_cast<long>(got), tmp.end(), uint8_t{0});
  decryptMb(tmp.data(), static_cast<uint32_t>(tmp.size()), checksum_);
  std::copy(tmp.begin() + static_cast<long>(offset - start), tmp.begin() + static_cast<long>(offset - start + n), buf);
}

bool MbFile::read(const BlobDescriptor& d, bool graphic, std::string& out, std::string& error, uint64_t& errOffset) {
  errOffset = d.offset;
  if (!file_) {
    error = "нет файла BLOB (.MB), на который ссылается запись";
    return false;
  }
  if (!headerError_.empty()) {
    error = headerError_;
    errOffset = 0;
    return false;
  }
  if (d.offset % kMbBlockSize != 0 || d.offset == 0 || d.offset >= size_) {
    error = "ссылка на BLOB указывает за конец файла .MB (смещение " + std::to_string(d.offset) + ", размер файла " +
            std::to_string(size_) + ")";
    return false;
  }
  uint8_t bh[9];
  readPlain(d.offset, bh, sizeof bh);
  uint8_t type = bh[0];
  uint16_t chunks = le16(bh + 1);
  if (d.index == 0xFF) {
    if (type != 2) {
      error = "блок BLOB имеет тип " + std::to_string(type) + " вместо 2";
      return false;
    }
    uint32_t len = le32(bh + 3);
    uint16_t mod = le16(bh + 7);
    if (chunks == 0 || d.offset + uint64_t{chunks} * kMbBlockSize > size_) {
      error = "блок BLOB выходит за конец файла .MB";
      return false;
    }
    if (len != d.length) {
      error = "длина BLOB в записи (" + std::to_string(d.length) + ") не совпадает с длиной в файле .MB (" +
              std::to_string(len) + ")";
      return false;
    }
    if (uint64_t{chunks} * kMbBlockSize < 9 + uint64_t{len}) {
      error = "блок BLOB короче своего содержимого";
      return false;
    }
    if (mod != d.modNumber) {
      error = "BLOB был изменён: номер изменения в записи " + std::to_string(d.modNumber) + ", в файле .MB " +
              std::to_string(mod);
      return false;
    }
    out.resize(len);
    if (len) readPlain(d.offset + 9, reinterpret_cast<uint8_t*>(out.data()), len);
    if (graphic && len >= 8) out.erase(0, 8);  // graphics carry 8 bytes of their own first
    return true;
  }
  if (d.index > 63) {
    error = "недопустимый номер BLOB в блоке (" + std::to_string(d.index) + ")";
    return false;
  }
  if (type != 3) {
    error = "блок BLOB имеет тип " + std::to_string(type) + " вместо 3";
    return false;
  }
  uint8_t block[kMbBlockSize];
  readPlain(d.offset, block, sizeof block);
  const uint8_t* e = block + 12 + 5 * d.index;
  uint8_t chunkOffset = e[0], chunkCount = e[1], lastBytes = e[4];
  uint16_t mod = le16(e + 2);
  errOffset = d.offset + 12 + 5u * d.index;
  if (chunkOffset == 0 || lastBytes == 0 || chunkCount == 0) {
    error = "ссылка на свободную или удалённую запись блока BLOB (номер " + std::to_string(d.index) + ")";
    return false;
  }
  uint32_t len = (uint32_t{chunkCount} - 1) * 16 + lastBytes;
  if (lastBytes > 16 || len != d.length) {
    error = "длина BLOB в записи (" + std::to_string(d.length) + ") не совпадает с длиной в файле .MB (" +
            std::to_string(len) + ")";
    return false;
  }
  if (chunkOffset < 0x15 || uint32_t{chunkOffset} * 16 + len > kMbBlockSize) {
    error = "данные BLOB выходят за пределы блока";
    return false;
  }
  if (mod != d.modNumber) {
    error = "BLOB был изменён: номер изменения в записи " + std::to_string(d.modNumber) + ", в файле .MB " +
            std::to_string(mod);
    return false;
  }
  out.assign(reinterpret_cast<const char*>(block) + chunkOffset * 16, len);
  if (graphic && len >= 8 && le32(block + chunkOffset * 16) == 0x01000001 && le32(block + chunkOffset * 16 + 4) == len - 8)
    out.erase(0, 8);
  return true;
}

}  // namespace paradox
