// Input: the bytes of a .PX file placed beside a fixed, valid keyed table.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  io::MemoryFileSystem fs;
  fs.put("/t/KEYED.DB", fuzz::keyedTable().db);
  fs.put("/t/KEYED.PX", fuzz::bytesOf(data, size));
  fuzz::readWholeTable(fs, "/t/KEYED.DB");
  return 0;
}
