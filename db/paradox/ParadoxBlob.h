#pragma once
// The .MB file of a Paradox table: BLOB values longer than their in-record leader, in
// blocks of 4096 bytes — single-BLOB blocks (type 2) for values above 2048 bytes,
// sub-allocated blocks (type 3) holding up to 64 small values in 16-byte chunks.
#include "db/FileAccess.h"
#include "db/paradox/ParadoxValues.h"

#include <memory>
#include <string>
#include <vector>

namespace paradox {

// The header block of a .MB file (4096 bytes) with its modification counter.
std::vector<uint8_t> mbHeaderBlock(uint16_t counter);

class MbFile {
public:
  // file may be null: the table has no .MB (then any reference to one is damage).
  MbFile(std::unique_ptr<io::File> file, std::string displayName, uint32_t checksum);

  bool present() const { return file_ != nullptr; }
  // Takes note of a file grown or changed by a writer.
  void refresh();
  const std::string& displayName() const { return name_; }

  // Reads the value a descriptor points at. On damage returns false with what is wrong
  // and the byte offset in the .MB where it was found.
  bool read(const BlobDescriptor& d, bool graphic, std::string& out, std::string& error, uint64_t& errorOffset);

private:
  void readPlain(uint64_t offset, uint8_t* buf, size_t n);

  std::unique_ptr<io::File> file_;
  std::string name_;
  uint32_t checksum_;
  uint64_t size_ = 0;
  std::string headerError_;  // a damaged MB header makes every reference fail
};

}  // namespace paradox
