#pragma once
// Password-protected Paradox tables: every data block (and the whole .MB file) is
// enciphered in 256-byte chunks with a key taken from the password's checksum, which the
// header stores. Deciphering needs only the checksum; Checkup still asks for the password
// (in the alias's parameters or the session) before it opens such a table, as the engine
// the suite uses does.
#include <cstdint>
#include <string_view>

namespace paradox {

uint32_t passwordChecksum(std::string_view password);

// A data block of a .DB/.X file: block number is 1-based.
void decryptBlock(uint8_t* data, uint32_t size, uint32_t checksum, uint32_t blockNumber);
void encryptBlock(uint8_t* data, uint32_t size, uint32_t checksum, uint32_t blockNumber);
// Any whole 256-byte chunks of a .MB file.
void decryptMb(uint8_t* data, uint32_t size, uint32_t checksum);
void encryptMb(uint8_t* data, uint32_t size, uint32_t checksum);

}  // namespace paradox
