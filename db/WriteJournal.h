#pragma once
// Makes one change to a family of files (a posted record: a data block, the header, the
// index, a BLOB) all-or-nothing. Before the files are touched, the bytes about to be
// overwritten and the files' sizes go to a journal file beside them; then the new bytes
// are written in place. A write that fails half-way is undone at once from the saved bytes;
// if even that fails (the disk went away, the process was killed), the journal stays and
// the next open of the table undoes the change. The journal also holds the new bytes, so
// that open tells a change that landed whole (every new byte in place: nothing to undo)
// from one cut short — no write is spent after each change to mark the journal done.
//
// Journal file layout (little-endian): "CKJ2", u32 entry count, u32 file count,
// file count × u64 original sizes, then per entry u32 file index, u64 offset, u32 original
// length, u32 new length, u8 truncation flag, the original bytes and the new bytes; then u32
// checksum of everything before it. A journal whose checksum does not match was never
// completed, so the files were not touched yet (a longer, older journal may follow it).
#include "db/FileAccess.h"

#include <cstdint>
#include <string>
#include <vector>

class WriteJournal {
public:
  // files: the family's files that may change, in a fixed order (the journal refers to them
  // by index); a null entry is a file that does not exist (yet).
  WriteJournal(io::FileSystem& fs, std::string journalPath);
  ~WriteJournal();

  // One change: collect writes, then commit. originalBytes are what the file holds now at
  // that place (the caller has them in its buffers; bytes past the end of the file count as
  // absent and are undone by truncation).
  void begin(const std::vector<io::File*>& files);
  void write(size_t fileIndex, uint64_t offset, std::vector<uint8_t> bytes, std::vector<uint8_t> originalBytes);
  // Cuts a file to newSize; originalTail is what it holds from there to its end.
  void truncate(size_t fileIndex, uint64_t newSize, std::vector<uint8_t> originalTail);
  // Writes journal, changes and the empty mark. Throws EDatabaseError (after undoing what
  // was written) when a write fails.
  void commit();
  void abandon() { writes_.clear(); }

  // Undoes an unfinished change left by a failed or killed writer; returns true when there
  // was one to undo (a journal whose change landed whole is just removed). files as for begin(). Throws EDatabaseError when the journal cannot be applied.
  static bool recover(io::FileSystem& fs, const std::string& journalPath, const std::vector<io::File*>& files);
  // Whether a journal lies there (its change may have landed or not: recover tells).
  static bool pending(io::FileSystem& fs, const std::string& journalPath);

  // Whether each change is forced to the disk (journal before the files, the files before
  // the empty mark). Without it a change is still all-or-nothing when a write fails or the
  // process dies — the operating system keeps what was written — but a power failure may
  // lose the order; FlushBuffers makes a durable point. Off by default: the suite's own
  // engine does not force its writes either, and forcing costs two disk flushes a record.
  void setSynchronous(bool v) { synchronous_ = v; }

  // Removes the journal file (when the table is closed).
  void close();

private:
  struct Entry {
    size_t file;
    uint64_t offset;
    std::vector<uint8_t> bytes;
    std::vector<uint8_t> original;
    bool truncate = false;
  };
  void rollback(size_t appliedEntries);
  std::vector<uint8_t> serialize() const;

  io::FileSystem& fs_;
  std::string path_;
  std::unique_ptr<io::File> journal_;
  std::vector<io::File*> files_;
  std::vector<uint64_t> sizes_;
  std::vector<Entry> writes_;
  bool synchronous_ = false;
  bool sizesKnown_ = false;  // sizes_ are the files' sizes after the last committed change
};
