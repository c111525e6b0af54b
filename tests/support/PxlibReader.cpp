#include "support/PxlibReader.h"

#include "support/PxlibApi.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <memory>
#include <set>

#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/CodePage.h"
#include "support/CanonicalText.h"
#include "support/ExpectedCsv.h"

namespace fs = std::filesystem;

namespace testsupport {

namespace {

const char* iconvName(int codePage) {
  switch (codePage) {
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    default: return nullptr;
  }
}

std::string decodeMultiByte(const std::string& bytes, const char* name) {
  iconv_t cd = iconv_open("UTF-8", name);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw PxlibError(std::string("iconv lacks ") + name);
  std::string out;
  char buf[256];
  size_t pos = 0;
  while (pos < bytes.size()) {
    // Convert what decodes; at a byte that does not, write it as \xNN and go on after it.
    char* in = const_cast<char*>(bytes.data() + pos);
    size_t inLeft = bytes.size() - pos;
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, static_cast<size_t>(o - buf));
    pos = bytes.size() - inLeft;
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02x", static_cast<unsigned char>(bytes[pos]));
      out += esc;
      ++pos;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

// Little-endian header words, for the chain check.
unsigned u16(const std::vector<unsigned char>& b, size_t at) {
  return at + 1 < b.size() ? static_cast<unsigned>(b[at] | b[at + 1] << 8) : 0;
}
uint32_t u32(const std::vector<unsigned char>& b, size_t at) {
  return at + 3 < b.size() ? static_cast<uint32_t>(u16(b, at) | u16(b, at + 2) << 16) : 0;
}

// pxlib follows `next` pointers without remembering where it has been. Refuse a chain that
// comes back to a block it has visited; returns false when the check was impossible.
bool checkChain(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 0x58) throw PxlibError(path + ": shorter than a Paradox header");
  const unsigned headerSize = u16(file, 0x02);
  const unsigned blockSize = file[0x05] * 1024u;
  const unsigned version = file[0x39];
  const uint32_t checksum = version >= 5 ? u32(file, 0x5C) : u32(file, 0x25);
  if (checksum != 0) return false;  // block headers are encrypted
  std::set<unsigned> seen;
  for (unsigned block = u16(file, 0x0E); block != 0;) {
    if (!seen.insert(block).second)
      throw PxlibError(path + ": block chain returns to block " + std::to_string(block) +
                       " (pxlib would loop for ever)");
    const size_t at = headerSize + static_cast<size_t>(block - 1) * blockSize;
    if (blockSize == 0 || at + 2 > file.size()) break;  // pxlib reads past the end as zeros
    block = u16(file, at);
  }
  return true;
}

extern "C" void collectMessage(pxdoc_t*, int type, const char* msg, void* data) {
  auto* sink = static_cast<std::vector<std::string>*>(data);
  std::string text = msg ? msg : "";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  sink->push_back((type == PX_Warning ? "pxlib warning: " : "pxlib error: ") + text);
}

struct DocDeleter {
  void operator()(pxdoc_t* doc) const {
    PX_close(doc);
    PX_delete(doc);
  }
};

// A buffer pxlib allocated with the document's allocator.
struct PxString {
  pxdoc_t* doc;
  char* p = nullptr;
  ~PxString() {
    if (p) doc->free(doc, p);
  }
};

std::string fieldName(const pxfield_t& f, int codePage) {
  return decodeText(f.px_fname ? f.px_fname : "", codePage);
}

}  // namespace

std::string decodeText(const std::string& bytes, int codePage) {
  if (const char* name = iconvName(codePage)) return decodeMultiByte(bytes, name);
  const codepage::Codec* codec = codepage::codecFor(codePage);
  if (!codec) throw PxlibError("no codec for code page " + std::to_string(codePage));
  return codec->decode(bytes);
}

namespace {

// The reading itself, in the process that calls it. blobPath "" = no BLOB file.
PxTable readInThisProcess(const std::string& dbPath, const std::string& blobPath, int codePageOverride,
                          bool chainChecked) {
  PxTable table;

  std::unique_ptr<pxdoc_t, DocDeleter> doc(
      PX_new3(collectMessage, nullptr, nullptr, nullptr, &table.warnings));
  if (!doc) throw PxlibError("PX_new3 failed");
  auto failure = [&](const std::string& what) {
    std::string msg = dbPath + ": " + what;
    for (const auto& w : table.warnings) msg += "\n  " + w;
    return PxlibError(msg);
  };
  if (PX_open_file(doc.get(), dbPath.c_str()) < 0) throw failure("PX_open_file failed");

  const pxhead_t* head = doc->px_head;
  table.fileVersion = head->px_fileversion;
  table.headerCodePage = head->px_doscodepage;
  table.fileType = head->px_filetype;
  table.encrypted = head->px_encryption != 0;
  table.codePage = codePageOverride != 0 ? codePageOverride
                   : table.headerCodePage != 0 ? table.headerCodePage
                                               : 437;
  if (!chainChecked)
    table.warnings.push_back("block chain not checked before reading: the table is encrypted");

  if (!blobPath.empty() && PX_set_blob_file(doc.get(), blobPath.c_str()) < 0)
    throw failure("PX_set_blob_file failed for " + blobPath);

  const int numFields = PX_get_num_fields(doc.get());
  pxfield_t* fields = PX_get_fields(doc.get());
  for (int i = 0; i < numFields; ++i) {
    const pxfield_t& f = fields[i];
    const int type = static_cast<unsigned char>(f.px_ftype);
    // pxlib reports a BCD field's length as 17 and keeps the header's size byte (the scale)
    // in px_fdc.
    table.fields.push_back({fieldName(f, table.codePage), type, type == pxfBCD ? f.px_fdc : f.px_flen});
  }

  const int recordSize = PX_get_recordsize(doc.get());
  const int numRecords = PX_get_num_records(doc.get());
  std::vector<char> record(static_cast<size_t>(recordSize));
  for (int r = 0; r < numRecords; ++r) {
    auto where = [&](const std::string& name) {
      return "record " + std::to_string(r + 1) + ", field " + name + ": ";
    };
    if (!PX_get_record(doc.get(), r, record.data())) {
      table.warnings.push_back("record " + std::to_string(r + 1) + ": PX_get_record failed");
      table.rows.emplace_back(table.fields.size(), std::string("#ERR"));
      continue;
    }
    PxRow row;
    size_t offset = 0;
    for (int i = 0; i < numFields; ++i) {
      const pxfield_t& f = fields[i];
      const PxField& field = table.fields[static_cast<size_t>(i)];
      char* data = record.data() + offset;
      const int len = f.px_flen;
      offset += static_cast<size_t>(len);
      std::optional<std::string> cell;
      int ret = 0;
      switch (field.type) {
        case pxfAlpha: {
          PxString s{doc.get()};
          ret = PX_get_data_alpha(doc.get(), data, len, &s.p);
          if (ret > 0 && s.p) cell = decodeText(s.p, table.codePage);
          break;
        }
        case pxfBytes: {
          PxString s{doc.get()};
          ret = PX_get_data_bytes(doc.get(), data, len, &s.p);
          if (ret > 0 && s.p) cell = toHex(std::string_view(s.p, static_cast<size_t>(len)));
          break;
        }
        case pxfDate:
        case pxfLong:
        case pxfAutoInc:
        case pxfTime: {
          long v = 0;
          ret = PX_get_data_long(doc.get(), data, len, &v);
          // 0.6.8 does not see the blank value (four zero bytes) and returns -2^31 for it. No
          // stored value can be -2^31 (its encoding is the blank one), so that result is NULL.
          if (ret > 0 && v == INT32_MIN) ret = 0;
          if (ret > 0) {
            cell = field.type == pxfDate   ? canonical::date(v)
                   : field.type == pxfTime ? canonical::time(v)
                                           : std::to_string(v);
          }
          break;
        }
        case pxfShort: {
          short v = 0;
          ret = PX_get_data_short(doc.get(), data, len, &v);
          if (ret > 0) cell = std::to_string(v);
          break;
        }
        case pxfNumber:
        case pxfCurrency:
        case pxfTimestamp: {
          double v = 0;
          ret = PX_get_data_double(doc.get(), data, len, &v);
          if (ret > 0) cell = field.type == pxfTimestamp ? canonical::timestamp(v) : canonical::number(v);
          break;
        }
        case pxfLogical: {
          char v = 0;
          ret = PX_get_data_byte(doc.get(), data, len, &v);
          if (ret > 0) {
            // pxlib gives the byte without its top bit: 0 false, 1 true. Any other byte is no
            // logical value (our reader must reject it, so the harness must not call it true).
            if (v == 0 || v == 1) {
              cell = v ? "true" : "false";
            } else {
              char text[16];
              std::snprintf(text, sizeof text, "#BOOL(0x%02x)", static_cast<unsigned char>(data[0]));
              cell = text;
            }
          }
          break;
        }
        case pxfBCD: {
          PxString s{doc.get()};
          ret = PX_get_data_bcd(doc.get(), reinterpret_cast<unsigned char*>(data), field.size, &s.p);
          if (ret > 0 && s.p) {
            cell = canonical::decimalWithScale(s.p, field.size);
            if (cell->empty()) {
              table.warnings.push_back(where(field.name) + "pxlib gave BCD text '" + s.p + "'");
              cell = "#ERR";
            }
          }
          break;
        }
        case pxfMemoBLOb:
        case pxfBLOb:
        case pxfFmtMemoBLOb:
        case pxfOLE:
        case pxfGraphic: {
          PxString s{doc.get()};
          int mod = 0, size = 0;
          ret = field.type == pxfGraphic
                    ? PX_get_data_graphic(doc.get(), data, len, &mod, &size, &s.p)
                    : PX_get_data_blob(doc.get(), data, len, &mod, &size, &s.p);
          if (ret > 0 && s.p && size > 0) {
            std::string bytes(s.p, static_cast<size_t>(size));
            cell = field.type == pxfMemoBLOb ? decodeText(bytes, table.codePage) : toHex(bytes);
          }
          break;
        }
        default:
          table.warnings.push_back(where(field.name) + "unknown type " + std::to_string(field.type));
          cell = "#ERR";
          break;
      }
      if (ret < 0) {
        table.warnings.push_back(where(field.name) + "pxlib could not decode the value");
        cell = "#ERR";
      }
      row.push_back(std::move(cell));
    }
    table.rows.push_back(std::move(row));
  }
  return table;
}

// The child writes its result to a pipe in this form: u8 status (0 table, 1 error message),
// then length-prefixed strings and 32-bit numbers.
class Writer {
public:
  void num(int64_t v) { out_.append(reinterpret_cast<const char*>(&v), sizeof v); }
  void str(const std::string& s) {
    num(static_cast<int64_t>(s.size()));
    out_ += s;
  }
  std::string& bytes() { return out_; }

private:
  std::string out_;
};

class Reader {
public:
  explicit Reader(const std::string& in) : in_(in) {}
  int64_t num() {
    int64_t v = 0;
    need(sizeof v);
    std::memcpy(&v, in_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
  }
  int inum() { return static_cast<int>(num()); }
  size_t count() { return static_cast<size_t>(num()); }
  std::string str() {
    size_t n = count();
    need(n);
    std::string s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }

private:
  void need(size_t n) const {
    if (pos_ + n > in_.size()) throw PxlibError("result of the pxlib child process is cut short");
  }
  const std::string& in_;
  size_t pos_ = 0;
};

std::string serialize(const PxTable& t) {
  Writer w;
  w.num(0);
  for (int v : {t.fileVersion, t.headerCodePage, t.codePage, t.fileType, t.encrypted ? 1 : 0}) w.num(v);
  w.num(static_cast<int64_t>(t.fields.size()));
  for (const auto& f : t.fields) {
    w.str(f.name);
    w.num(f.type);
    w.num(f.size);
  }
  w.num(static_cast<int64_t>(t.rows.size()));
  for (const auto& row : t.rows) {
    w.num(static_cast<int64_t>(row.size()));
    for (const auto& c : row) {
      w.num(c ? 1 : 0);
      if (c) w.str(*c);
    }
  }
  w.num(static_cast<int64_t>(t.warnings.size()));
  for (const auto& m : t.warnings) w.str(m);
  return std::move(w.bytes());
}

PxTable deserialize(const std::string& bytes) {
  Reader r(bytes);
  if (r.num() != 0) throw PxlibError(r.str());
  PxTable t;
  t.fileVersion = r.inum();
  t.headerCodePage = r.inum();
  t.codePage = r.inum();
  t.fileType = r.inum();
  t.encrypted = r.num() != 0;
  for (size_t n = r.count(), i = 0; i < n; ++i) {
    PxField f;
    f.name = r.str();
    f.type = r.inum();
    f.size = r.inum();
    t.fields.push_back(std::move(f));
  }
  for (size_t n = r.count(), i = 0; i < n; ++i) {
    PxRow row;
    for (size_t m = r.count(), j = 0; j < m; ++j) {
      if (r.num() != 0) row.emplace_back(r.str());
      else row.emplace_back();
    }
    t.rows.push_back(std::move(row));
  }
  for (size_t n = r.count(), i = 0; i < n; ++i) t.warnings.push_back(r.str());
  return t;
}

// Why the child ended without a result ("" when it exited normally).
struct ChildOutcome {
  std::string output;
  std::string death;
};

constexpr int kChildSeconds = 120;

// Runs the reading in a child process, so that a crash or an endless loop in pxlib ends only
// the child.
ChildOutcome runInChild(const std::string& dbPath, const std::string& blobPath, int codePageOverride,
                        bool chainChecked) {
  int fds[2];
  if (pipe(fds) != 0) throw PxlibError("pipe failed");
  // The child's stderr (pxlib's and the C library's last words) goes to a file we read after.
  std::unique_ptr<FILE, int (*)(FILE*)> errors(std::tmpfile(), std::fclose);
  if (!errors) throw PxlibError("tmpfile failed");
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw PxlibError("fork failed");
  if (pid == 0) {
    close(fds[0]);
    dup2(fileno(errors.get()), STDERR_FILENO);
    std::string out;
    try {
      out = serialize(readInThisProcess(dbPath, blobPath, codePageOverride, chainChecked));
    } catch (const std::exception& e) {
      Writer w;
      w.num(1);
      w.str(e.what());
      out = std::move(w.bytes());
    }
    for (size_t done = 0; done < out.size();) {
      ssize_t n = write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) _exit(3);
      done += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  ChildOutcome outcome;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds);
  bool timedOut = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buf[65536];
    ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    outcome.output.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string stderrText;
  std::rewind(errors.get());
  for (int ch; (ch = std::fgetc(errors.get())) != EOF;) stderrText += static_cast<char>(ch);
  while (!stderrText.empty() && (stderrText.back() == '\n' || stderrText.back() == '\r')) stderrText.pop_back();
  if (timedOut) outcome.death = "did not finish within " + std::to_string(kChildSeconds) + " s";
  else if (WIFSIGNALED(status)) outcome.death = std::string("crashed: ") + strsignal(WTERMSIG(status));
  else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    outcome.death = "ended with status " + std::to_string(WEXITSTATUS(status));
  if (!outcome.death.empty() && !stderrText.empty()) outcome.death += " (" + stderrText + ")";
  return outcome;
}

}  // namespace

PxTable readWithPxlib(const std::string& dbPath, const std::string& mbPath, int codePageOverride) {
  const bool chainChecked = checkChain(dbPath);
  std::string blobPath = mbPath;
  if (blobPath.empty()) {
    for (const char* ext : {".MB", ".mb"}) {
      fs::path p = fs::path(dbPath).replace_extension(ext);
      if (fs::exists(p)) {
        blobPath = p.string();
        break;
      }
    }
  }
  ChildOutcome run = runInChild(dbPath, blobPath, codePageOverride, chainChecked);
  std::string blobProblem;
  if (!run.death.empty() && !blobPath.empty()) {
    // pxlib 0.6.8 (Debian) dies of a stack overflow in PX_open_blob_fp for every .MB we have:
    // read what it can without the BLOB file.
    blobProblem = "pxlib " + run.death + " with BLOB file " + blobPath +
                  "; read again without it, BLOB values stored there are #ERR";
    run = runInChild(dbPath, "", codePageOverride, chainChecked);
  }
  if (!run.death.empty()) throw PxlibError(dbPath + ": pxlib " + run.death);
  PxTable t = deserialize(run.output);
  if (!blobProblem.empty()) t.warnings.insert(t.warnings.begin(), blobProblem);
  return t;
}

}  // namespace testsupport
