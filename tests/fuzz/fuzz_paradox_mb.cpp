// Input: the bytes of a .MB file placed beside a fixed, valid table with BLOB fields;
// every BLOB field of every record is read.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  io::MemoryFileSystem fs;
  fs.put("/t/ALLTYPES.DB", fuzz::blobTable().db);
  fs.put("/t/ALLTYPES.MB", fuzz::bytesOf(data, size));
  fuzz::readWholeTable(fs, "/t/ALLTYPES.DB");
  return 0;
}
