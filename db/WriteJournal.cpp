#include "db/WriteJournal.h"

#include "db/EngineError.h"

#include <algorithm>
#include <cstring>

namespace {

void put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint64_t get64(const uint8_t* p) { return get32(p) | static_cast<uint64_t>(get32(p + 4)) << 32; }

// FNV-1a over 8-byte words (the tail bytewise): enough to tell a completed journal from a
// torn one, and cheap, as it runs for every posted record.
uint32_t checksum(const uint8_t* p, size_t n) {
  uint64_t h = 14695981039346656037ull;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h ^= w;
    h *= 1099511628211ull;
  }
  for (; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return static_cast<uint32_t>(h ^ (h >> 32));
}

// The parts of a write that change something: a posted record changes a few bytes of a
// block (its count, the record) but is written as one range; only the changed parts need
// keeping. Parts closer than 32 bytes are taken as one.
std::vector<std::pair<size_t, size_t>> changedParts(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& original) {
  std::vector<std::pair<size_t, size_t>> parts;
  size_t n = bytes.size(), common = std::min(n, original.size());
  size_t i = 0;
  auto sameWord = [&](size_t k) { return k + 8 <= common && std::memcmp(bytes.data() + k, original.data() + k, 8) == 0; };
  while (i < common) {
    if (sameWord(i)) {
      i += 8;
      continue;
    }
    if (bytes[i] == original[i]) {
      ++i;
      continue;
    }
    size_t start = i, end = i + 1, same = 0;
    for (size_t k = i + 1; k < common;) {
      if (same == 0 && sameWord(k) && sameWord(k + 8) && sameWord(k + 16) && sameWord(k + 24)) break;
      if (bytes[k] == original[k]) {
        if (++same >= 32) break;
      } else {
        same = 0;
        end = k + 1;
      }
      ++k;
    }
    parts.emplace_back(start, end);
    i = end;
  }
  if (n > common) {
    if (!parts.empty() && parts.back().second + 32 >= common) parts.back().second = n;
    else parts.emplace_back(common, n);
  }
  return parts;
}

constexpr uint8_t kMagic[4] = {'C', 'K', 'J', '2'};

}  // namespace

WriteJournal::WriteJournal(io::FileSystem& fs, std::string journalPath) : fs_(fs), path_(std::move(journalPath)) {}

WriteJournal::~WriteJournal() {
  try {
    close();
  } catch (...) {
  }
}

void WriteJournal::close() {
  if (journal_) {
    journal_.reset();
    fs_.remove(path_);
  }
}

void WriteJournal::begin(const std::vector<io::File*>& files) {
  // The files are locked for us: the sizes the last change left them at still hold, and
  // asking the system again for every record would cost as much as the write itself.
  bool same = files == files_ && sizesKnown_;
  files_ = files;
  writes_.clear();
  if (!same) {
    sizes_.clear();
    for (auto* f : files_) sizes_.push_back(f ? f->size() : 0);
  }
  sizesKnown_ = false;
}

void WriteJournal::write(size_t fileIndex, uint64_t offset, std::vector<uint8_t> bytes, std::vector<uint8_t> original) {
  // Bytes past the current end hold nothing to restore: truncation undoes them.
  uint64_t size = sizes_.at(fileIndex);
  if (offset >= size) original.clear();
  else if (offset + original.size() > size) original.resize(static_cast<size_t>(size - offset));
  writes_.push_back({fileIndex, offset, std::move(bytes), std::move(original)});
}

void WriteJournal::truncate(size_t fileIndex, uint64_t newSize, std::vector<uint8_t> originalTail) {
  writes_.push_back({fileIndex, newSize, {}, std::move(originalTail), true});
}

std::vector<uint8_t> WriteJournal::serialize() const {
  struct Part {
    const Entry* e;
    size_t from, to;
  };
  std::vector<Part> parts;
  size_t total = 16 + sizes_.size() * 8;
  for (const auto& e : writes_) {
    if (e.truncate) {
      parts.push_back({&e, 0, 0});
      total += 21 + e.original.size();
      continue;
    }
    for (auto [from, to] : changedParts(e.bytes, e.original)) {
      parts.push_back({&e, from, to});
      total += 21 + (std::min(to, e.original.size()) - std::min(from, e.original.size())) + (to - from);
    }
  }
  std::vector<uint8_t> b(total, 0);
  uint8_t* o = b.data();
  auto w32 = [&](uint32_t v) { for (int k = 0; k < 4; ++k) *o++ = static_cast<uint8_t>(v >> (8 * k)); };
  auto w64 = [&](uint64_t v) { for (int k = 0; k < 8; ++k) *o++ = static_cast<uint8_t>(v >> (8 * k)); };
  auto copy = [&](const uint8_t* p, size_t n) {
    if (n) std::memcpy(o, p, n);
    o += n;
  };
  copy(kMagic, 4);
  w32(static_cast<uint32_t>(parts.size()));
  w32(static_cast<uint32_t>(sizes_.size()));
  for (auto sz : sizes_) w64(sz);
  for (const auto& p : parts) {
    const Entry& e = *p.e;
    w32(static_cast<uint32_t>(e.file));
    if (e.truncate) {
      w64(e.offset);
      w32(static_cast<uint32_t>(e.original.size()));
      w32(0);
      *o++ = 1;
      copy(e.original.data(), e.original.size());
      continue;
    }
    size_t of = std::min(p.from, e.original.size()), ot = std::min(p.to, e.original.size());
    w64(e.offset + p.from);
    w32(static_cast<uint32_t>(ot - of));
    w32(static_cast<uint32_t>(p.to - p.from));
    *o++ = 0;
    copy(e.original.data() + of, ot - of);
    copy(e.bytes.data() + p.from, p.to - p.from);
  }
  b.resize(static_cast<size_t>(o - b.data()));
  put32(b, checksum(b.data(), b.size()));
  return b;
}

void WriteJournal::commit() {
  if (writes_.empty()) return;
  std::vector<uint8_t> j = serialize();
  try {
    if (!journal_) journal_ = fs_.open(path_, io::OpenMode::Create);
    journal_->writeAt(0, j.data(), j.size());
    if (synchronous_) journal_->flush();  // on the disk before any file is touched
  } catch (const io::IoError& e) {
    // Nothing was changed yet; a torn journal is recognised by its checksum.
    writes_.clear();
    throw EDatabaseError(std::string("Изменение не записано: ") + e.what());
  }
  size_t applied = 0;
  try {
    for (const auto& e : writes_) {
      ++applied;  // a failed write may have put part of its bytes down: undo it too
      if (e.truncate) files_.at(e.file)->truncate(e.offset);
      else files_.at(e.file)->writeAt(e.offset, e.bytes.data(), e.bytes.size());
    }
    // The change is on the disk before the journal says there is nothing to undo.
    std::vector<bool> touched(files_.size(), false);
    for (const auto& e : writes_) touched.at(e.file) = true;
    if (synchronous_)
      for (size_t f = 0; f < files_.size(); ++f)
        if (touched[f]) files_[f]->flush();
  } catch (const io::IoError& e) {
    std::string why = e.what();
    try {
      rollback(applied);
    } catch (const std::exception&) {
      writes_.clear();
      throw EDatabaseError("Изменение не записано: " + why +
                           ". Отменить его сразу не удалось; оно будет отменено при следующем открытии таблицы");
    }
    writes_.clear();
    throw EDatabaseError("Изменение не записано: " + why);
  }
  // The sizes the files have now, for the next change.
  for (const auto& e : writes_) {
    if (e.truncate) sizes_[e.file] = e.offset;
    else sizes_[e.file] = std::max<uint64_t>(sizes_[e.file], e.offset + e.bytes.size());
  }
  sizesKnown_ = true;
  writes_.clear();
  // No mark follows: the journal keeps describing this change, and an open that finds
  // every one of its new bytes in the files knows the change landed whole.
}

void WriteJournal::rollback(size_t applied) {
  for (size_t i = applied; i-- > 0;) {
    const auto& e = writes_[i];
    if (!e.original.empty()) files_.at(e.file)->writeAt(e.offset, e.original.data(), e.original.size());
  }
  for (size_t f = 0; f < files_.size(); ++f)
    if (files_[f] && files_[f]->size() > sizes_[f]) files_[f]->truncate(sizes_[f]);
}

bool WriteJournal::pending(io::FileSystem& fs, const std::string& journalPath) {
  if (!fs.exists(journalPath)) return false;
  try {
    auto f = fs.open(journalPath, io::OpenMode::Read);
    uint8_t m[4] = {};
    return f->readAt(0, m, 4) == 4 && std::memcmp(m, kMagic, 4) == 0;
  } catch (const io::IoError&) {
    return false;
  }
}

bool WriteJournal::recover(io::FileSystem& fs, const std::string& journalPath, const std::vector<io::File*>& files) {
  if (!pending(fs, journalPath)) return false;
  std::vector<uint8_t> j;
  try {
    auto f = fs.open(journalPath, io::OpenMode::Read);
    j.resize(static_cast<size_t>(f->size()));
    f->readAt(0, j.data(), j.size());
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся прочитать журнал незавершённой записи: ") + e.what());
  }
  auto torn = [&] {
    // The writer died before the journal was complete: the files were not touched.
    fs.remove(journalPath);
    return false;
  };
  // The journal file is reused from change to change and never shortened, so bytes of an
  // earlier, longer journal may follow this one: its end is found from its own entries,
  // and the checksum stands there, not at the end of the file.
  struct Entry {
    uint32_t file;
    uint64_t offset;
    size_t original;  // where its original bytes are in the journal
    uint32_t originalLen;
    size_t fresh;     // where its new bytes are
    uint32_t freshLen;
    bool truncate;
  };
  if (j.size() < 16) return torn();
  uint32_t count = get32(j.data() + 4), nfiles = get32(j.data() + 8);
  size_t pos = 12;
  if (nfiles != files.size() || size_t{nfiles} * 8 > j.size() - pos) return torn();
  std::vector<uint64_t> sizes;
  for (uint32_t i = 0; i < nfiles; ++i, pos += 8) sizes.push_back(get64(j.data() + pos));
  std::vector<Entry> entries;
  for (uint32_t e = 0; e < count; ++e) {
    if (j.size() - pos < 21) return torn();
    Entry u{get32(j.data() + pos), get64(j.data() + pos + 4), 0, get32(j.data() + pos + 12), 0,
            get32(j.data() + pos + 16), j[pos + 20] != 0};
    pos += 21;
    if (u.file >= files.size() || u.originalLen > j.size() - pos) return torn();
    u.original = pos;
    pos += u.originalLen;
    if (u.freshLen > j.size() - pos) return torn();
    u.fresh = pos;
    pos += u.freshLen;
    entries.push_back(u);
  }
  if (j.size() - pos < 4 || checksum(j.data(), pos) != get32(j.data() + pos)) return torn();
  try {
    // A change whose every new byte is in place landed whole: nothing to undo.
    bool landed = true;
    std::vector<uint8_t> disk;
    for (const auto& u : entries) {
      io::File* f = files[u.file];
      if (!f) {
        landed = false;
        break;
      }
      if (u.truncate) {
        if (f->size() != u.offset) landed = false;
      } else {
        disk.assign(u.freshLen, 0);
        if (f->readAt(u.offset, disk.data(), u.freshLen) != u.freshLen ||
            std::memcmp(disk.data(), j.data() + u.fresh, u.freshLen) != 0)
          landed = false;
      }
      if (!landed) break;
    }
    if (landed) {
      fs.remove(journalPath);
      return false;
    }
    for (const auto& u : entries)
      if (u.originalLen && files[u.file]) files[u.file]->writeAt(u.offset, j.data() + u.original, u.originalLen);
    for (size_t f = 0; f < files.size(); ++f)
      if (files[f] && files[f]->size() > sizes[f]) files[f]->truncate(sizes[f]);
    for (auto* f : files)
      if (f) f->flush();
    fs.remove(journalPath);
  } catch (const io::IoError& e) {
    throw EDatabaseError(std::string("Не удаётся отменить незавершённую запись по журналу: ") + e.what());
  }
  return true;
}
