// Input: the bytes of a .DB file, alone in its folder. Opens it and reads everything.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  io::MemoryFileSystem fs;
  fs.put("/t/FUZZ.DB", fuzz::bytesOf(data, size));
  fuzz::readWholeTable(fs, "/t/FUZZ.DB");
  return 0;
}
