#include "db/paradox/ParadoxCrypt.h"

#include "db/paradox/ParadoxCryptTables.h"

#include <cstring>

namespace paradox {

using namespace crypt_tables;

namespace {

void encryptChunk(uint8_t* chunk, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t out[256];
  for (int x = 0; x < 256; ++x) {
    auto y = static_cast<uint8_t>(TC[x] - d);
    out[y] = static_cast<uint8_t>(chunk[x] ^ TA[static_cast<uint8_t>(x + a)] ^ TB[static_cast<uint8_t>(y + b)] ^
                                  TC[static_cast<uint8_t>(y + c)]);
  }
  std::memcpy(chunk, out, 256);
}

void decryptChunk(uint8_t* chunk, uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
  uint8_t out[256];
  for (int x = 0; x < 256; ++x) {
    auto y = static_cast<uint8_t>(TC[x] - d);
    out[x] = static_cast<uint8_t>(chunk[y] ^ TA[static_cast<uint8_t>(x + a)] ^ TB[static_cast<uint8_t>(y + b)] ^
                                  TC[static_cast<uint8_t>(y + c)]);
  }
  std::memcpy(chunk, out, 256);
}

}  // namespace

uint32_t passwordChecksum(std::string_view pw) {
  if (pw.empty()) return 0;
  uint8_t buf[256];
  for (size_t i = 0; i < 256; ++i) buf[i] = static_cast<uint8_t>(pw[i % pw.size()]);
  encryptChunk(buf, buf[0], buf[1], buf[2], buf[3]);
  uint32_t partial = static_cast<uint32_t>(buf[0] | buf[1] << 8);
  size_t len = pw.size() > 256 ? 256 : pw.size();
  std::memcpy(buf, pw.data(), len);
  for (size_t i = len; i < 256; ++i) buf[i] = static_cast<uint8_t>(TA[buf[i - len]] ^ i);
  encryptChunk(buf, buf[0], buf[20], buf[40], buf[255]);
  uint8_t y = 0, z = 0;
  for (size_t i = 0; i < 256; i += 2) {
    y ^= buf[i];
    z ^= buf[i + 1];
  }
  uint32_t r = static_cast<uint32_t>(z << 8 | y);
  if (r == 0) r = 1;
  return r << 16 | partial;
}

void decryptBlock(uint8_t* data, uint32_t size, uint32_t checksum, uint32_t blockNumber) {
  auto a = static_cast<uint8_t>(checksum), b = static_cast<uint8_t>(checksum >> 8);
  for (uint32_t j = 0; j + 256 <= size; j += 256)
    decryptChunk(data + j, a, b, static_cast<uint8_t>(j / 256), static_cast<uint8_t>(blockNumber));
}

void encryptBlock(uint8_t* data, uint32_t size, uint32_t checksum, uint32_t blockNumber) {
  auto a = static_cast<uint8_t>(checksum), b = static_cast<uint8_t>(checksum >> 8);
  for (uint32_t j = 0; j + 256 <= size; j += 256)
    encryptChunk(data + j, a, b, static_cast<uint8_t>(j / 256), static_cast<uint8_t>(blockNumber));
}

void decryptMb(uint8_t* data, uint32_t size, uint32_t checksum) {
  auto a = static_cast<uint8_t>(checksum), b = static_cast<uint8_t>(checksum >> 8);
  for (uint32_t j = 0; j + 256 <= size; j += 256)
    decryptChunk(data + j, a, b, static_cast<uint8_t>(a + 1), static_cast<uint8_t>(b + 1));
}

void encryptMb(uint8_t* data, uint32_t size, uint32_t checksum) {
  auto a = static_cast<uint8_t>(checksum), b = static_cast<uint8_t>(checksum >> 8);
  for (uint32_t j = 0; j + 256 <= size; j += 256)
    encryptChunk(data + j, a, b, static_cast<uint8_t>(a + 1), static_cast<uint8_t>(b + 1));
}

}  // namespace paradox
