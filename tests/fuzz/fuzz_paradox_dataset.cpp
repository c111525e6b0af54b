// Input: the bytes of a .DB file, opened through TTable: the cursor walks it forwards and
// backwards, jumps, and walks it again with a filter on; every field is read as text.
#include "FuzzSupport.h"

#include "db/EngineError.h"
#include "db/Session.h"
#include "db/Table.h"

#include <cstdio>
#include <cstdlib>

namespace {

void readFields(TTable& t) {
  for (int i = 0; i < t.FieldCount(); ++i) {
    try {
      (void)t.Fields(i)->AsString();
    } catch (const EDatabaseError&) {
    } catch (const EConvertError&) {
    }
  }
}

void walk(TTable& t) {
  int n = t.RecordCount();
  t.First();
  for (int steps = 0; !t.Eof() && steps <= n + 1; ++steps) {
    readFields(t);
    (void)t.RecNo();
    t.Next();
  }
  t.Last();
  readFields(t);
  t.Prior();
  (void)t.MoveBy(-3);
  (void)t.MoveBy(5);
  (void)t.RecNo();
  if (n > 0) {
    t.SetRecNo(n / 2 + 1);
    readFields(t);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static io::MemoryFileSystem* fs = [] {
    auto* m = new io::MemoryFileSystem;
    io::setDefaultFileSystem(m);
    Session().SetConfigPath("/cfg/checkup.ini");
    Session().AddPassword("123");
    return m;
  }();
  fs->put("/t/FUZZ.DB", fuzz::bytesOf(data, size));
  try {
    TTable t;
    t.SetTableName("/t/FUZZ.DB");
    t.Open();
    try {
      walk(t);
    } catch (const EDatabaseError&) {
    }
    if (t.FieldCount() > 0) {
      try {
        t.SetFilter("[" + t.Fields(0)->FieldName() + "] IS NOT NULL");
        t.SetFiltered(true);
        walk(t);
      } catch (const EDatabaseError&) {
      } catch (const EFilterError&) {
      }
    }
    t.Close();
  } catch (const EDatabaseError&) {
  } catch (const EConvertError&) {
  } catch (const io::IoError& e) {
    std::fprintf(stderr, "io::IoError escaped the engine: %s\n", e.what());
    std::abort();
  }
  fs->remove("/t/FUZZ.DB");
  return 0;
}
