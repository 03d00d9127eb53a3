// The archive reader: recreates each stored file below the profile
// directory. Whatever the archive's bytes, it writes nowhere else, reserves
// no more memory than the archive still holds, and always comes to an end.
#include "archive/reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "archive/archive_input.h"
#include "archive/checksum.h"
#include "archive/format.h"
#include "archive/name_rules.h"
#include "support/code_page.h"
#include "support/confined.h"
#include "support/dir.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

constexpr std::size_t kCopyBlockSize = 256 * 1024;

std::vector<unsigned char>& data_block() {
  static std::vector<unsigned char> block(kCopyBlockSize);
  return block;
}

// Copies `count` data bytes to the target (none when it is not open), with
// their checksum; false when the archive ended first. `written` turns false
// when the target did not take every byte.
bool copy_data(ArchiveInput& input, File& target, std::uint64_t count, bool& written,
               std::uint32_t& checksum) {
  std::vector<unsigned char>& block = data_block();
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, block.size()));
    const std::size_t got = input.read(block.data(), want);
    if (got == 0) return false;
    checksum = checksum_update(checksum, block.data(), got);
    // A target that stops taking bytes is abandoned, but the archive's
    // data are still passed over so the next record is found.
    if (written && target.is_open()) written = target.write(block.data(), got);
    count -= got;
    if (got < want) return false;
  }
  return true;
}

// The hashes of the names written so far, in one open-addressed table of the
// hash values themselves: a set with a node per name would be the unpack's
// largest use of memory on a profile of many small files.
class NameHashes {
 public:
  bool contains(std::size_t hash) const {
    if (slots_.empty()) return false;
    const std::size_t value = stored_value(hash);
    for (std::size_t i = first_slot(value);; i = (i + 1) & (slots_.size() - 1)) {
      if (slots_[i] == value) return true;
      if (slots_[i] == kEmpty) return false;
    }
  }

  void insert(std::size_t hash) {
    // At most seven slots in eight are taken, so that a probe for a name
    // not written soon meets an empty one.
    if ((count_ + 1) * 8 > slots_.size() * 7) grow();
    const std::size_t value = stored_value(hash);
    std::size_t i = first_slot(value);
    while (slots_[i] != kEmpty && slots_[i] != value) i = (i + 1) & (slots_.size() - 1);
    if (slots_[i] == kEmpty) ++count_;
    slots_[i] = value;
  }

 private:
  static constexpr std::size_t kEmpty = 0;
  static constexpr std::size_t kFirstSize = 64;

  // 0 marks an empty slot; a hash of 0 is kept as 1, which at worst takes a
  // name for another one as a hash collision would.
  static std::size_t stored_value(std::size_t hash) { return hash == kEmpty ? 1 : hash; }

  std::size_t first_slot(std::size_t value) const {
    // Spreads hashes whose low bits agree over the table.
    return static_cast<std::size_t>(static_cast<std::uint64_t>(value) * 0x9E3779B97F4A7C15ull >>
                                    32) &
           (slots_.size() - 1);
  }

  void grow() {
    std::vector<std::size_t> old(slots_.empty() ? kFirstSize : slots_.size() * 2, kEmpty);
    old.swap(slots_);
    count_ = 0;
    for (const std::size_t value : old) {
      if (value != kEmpty) insert(value);
    }
  }

  std::vector<std::size_t> slots_;
  std::size_t count_ = 0;
};

// The directory the unpack writes below and the first part of every target's
// name below it: the profile directory's own name goes through the same
// link checks as the stored names (a link there would lead the files out).
struct TargetRoot {
  std::string base;
  std::string prefix;  // "" or the last component of the root and a backslash
};

TargetRoot split_root(const std::string& root) {
  const std::string path = replace_all(root, "/", "\\");
  const std::size_t cut = path.rfind('\\');
  const std::string leaf = cut == std::string::npos ? path : path.substr(cut + 1);
  if (leaf.empty() || leaf == "." || leaf == "..") return {path, ""};
  if (cut == std::string::npos) return {".", leaf + "\\"};
  // A root directly below the file system's or a drive's root keeps that
  // root as its base ("C:" alone would be the drive's current directory).
  const bool drive_root = cut == 2 && path[1] == ':';
  return {cut == 0 || drive_root ? path.substr(0, cut + 1) : path.substr(0, cut), leaf + "\\"};
}

// The directory holding the archive, which the unpack must never write into.
std::string archive_directory(const std::string& archive_path) {
  const std::size_t cut = archive_path.find_last_of("\\/");
  if (cut == std::string::npos) return ".";
  return cut == 0 ? archive_path.substr(0, 1) : archive_path.substr(0, cut);
}

// Whether data read whole carry the checksum their record holds.
bool matches(const RecordHeader& header, std::uint32_t checksum) {
  return header.checksum == kNoChecksum || header.checksum == checksum;
}

// Reads the magic: kComplete when records may follow.
UnpackOutcome read_magic(ArchiveInput& input) {
  unsigned char tag[kTagSize];
  if (input.read(tag, kTagSize) == kTagSize && tag_is(tag, kMagic)) return UnpackOutcome::kComplete;
  return input.failed() ? UnpackOutcome::kIncomplete : UnpackOutcome::kNotAnArchive;
}

enum class Next { kRecord, kTrailer, kOutOfPlace, kCut };

// What follows the magic or a record's data: a record (its header read),
// the trailer, four bytes out of place, or the end.
Next next_tag(ArchiveInput& input, RecordHeader& header) {
  unsigned char tag[kTagSize];
  // The writer always ends with the trailer: an archive without it has
  // lost its end, and with it perhaps records.
  if (input.read(tag, kTagSize) != kTagSize) return Next::kCut;
  if (tag_is(tag, kTrailer)) return Next::kTrailer;
  // Bytes the writer never puts there: a damaged archive. The caller scans
  // on in steps of four bytes for the next record.
  if (!tag_is(tag, kTagFile)) return Next::kOutOfPlace;
  return read_record_header(input, header) ? Next::kRecord : Next::kCut;
}

NameFit stored_name_fit(const std::string& stored_name) {
  const std::string name = replace_all(stored_name, "/", "\\");
  if (name.empty() || name.front() == '\\') return NameFit::kUnsafe;
  // The system ends a path at a NUL byte: the file written would be another
  // one than the one stored, possibly one that a later record also writes.
  if (name.find('\0') != std::string::npos) return NameFit::kUnsafe;
  NameFit fit = NameFit::kFits;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find('\\', start);
    const std::string component = name.substr(start, end == std::string::npos ? end : end - start);
    if (component.empty() || component == "." || component == "..") return NameFit::kUnsafe;
    // A name another system made, which this one would refuse or change.
    if (!system_keeps_component(component)) fit = NameFit::kNotHere;
    if (end == std::string::npos) return fit;
    start = end + 1;
  }
}

UnpackOutcome read_records(File& file, ConfinedTree& tree, const std::string& prefix,
                           const std::string& base_path, const UnpackProgress& progress,
                           std::vector<DamagedRecord>& damaged,
                           std::vector<std::string>* not_held) {
  // The length is taken once, from the open file, all 64 bits of it.
  const long long length = file.size();
  if (length < 0) return UnpackOutcome::kIncomplete;
  if (length == 0) return UnpackOutcome::kComplete;
  ArchiveInput input(file, static_cast<std::uint64_t>(length));
  const UnpackOutcome magic = read_magic(input);
  if (magic != UnpackOutcome::kComplete) return magic;
  // Everything that keeps the profile directory from holding the archive's
  // whole profile makes the unpack incomplete; the run goes on where it can.
  bool whole = true;
  // The names written so far, by their hashes.
  NameHashes names_written;

  RecordHeader header;
  for (;;) {
    const Next next = next_tag(input, header);
    if (next == Next::kCut) return UnpackOutcome::kIncomplete;
    if (next == Next::kTrailer) break;
    if (next == Next::kOutOfPlace) {
      whole = false;
      continue;
    }

    // Names are stored in UTF-8; one that is not was written by a program
    // that stored the ANSI code page's bytes.
    const std::string stored_name = stored_text(header.name);
    const std::uint32_t data_length = header.data_length;
    // Data running past the end: what is there is written, then the run ends.
    const bool complete = data_length <= input.remaining();

    // A refused name is not a failure: its data are passed over and the
    // archive's other records are all written.
    File target;
    CreateResult created = CreateResult::kRefused;
    NameFit fit = stored_name_fit(stored_name);
    if (fit == NameFit::kFits) {
      const std::string relative = prefix + replace_all(stored_name, "/", "\\");
      const std::size_t hash = std::hash<std::string>{}(stored_name);
      created = tree.create_file(relative, target);
      // A name stored twice is written twice, the later record last; a name
      // that this system takes for an earlier record's file is not.
      if (created == CreateResult::kTaken && names_written.contains(hash)) {
        created = tree.create_file(relative, target, true);
      }
      if (created == CreateResult::kOpened) names_written.insert(hash);
      if (created == CreateResult::kFailed) whole = false;
      if (created == CreateResult::kTooLong || created == CreateResult::kTaken) {
        fit = NameFit::kNotHere;
      }
    }
    // Not a failure either: the record stays in the archive, and the next
    // pack keeps it there.
    if (fit == NameFit::kNotHere && not_held != nullptr) not_held->push_back(stored_name);
    if (created != CreateResult::kOpened) {
      if (!complete || !input.skip(data_length)) return UnpackOutcome::kIncomplete;
      continue;
    }

    const std::uint64_t data_position = input.position();
    if (progress) progress(stored_name, static_cast<long long>(data_position));
    bool written = true;
    bool copied = true;
    std::uint32_t checksum = kChecksumStart;
    // A settings file too large to hold in memory is copied as it is stored;
    // one cut short by the archive's end counts with the bytes that are there.
    if (is_settings_file(stored_name) &&
        std::min<std::uint64_t>(data_length, input.remaining()) <= kMaxSettingsBytes) {
      const auto available =
          static_cast<std::size_t>(std::min<std::uint64_t>(data_length, input.remaining()));
      std::string data(available, '\0');
      data.resize(input.read(data.data(), available));
      copied = complete && data.size() == available;
      checksum = checksum_update(checksum, data.data(), data.size());
      const std::string expanded = substitute_on_read(data, base_path);
      written = target.write(expanded.data(), expanded.size());
    } else {
      copied = copy_data(input, target, data_length, written, checksum);
    }
    // A file the disk does not hold yet is no file of the profile: the
    // record written after the unpack would outlive it in a power cut, and
    // the next pack would store what is left of it.
    if (written && !target.start_flush()) written = false;
    if (!target.close()) written = false;
    if (!written) whole = false;
    // A record cut short is an incomplete unpack, not a damaged record.
    if (!copied) return UnpackOutcome::kIncomplete;
    if (!matches(header, checksum)) damaged.push_back({stored_name, data_position});
  }
  if (input.failed()) return UnpackOutcome::kIncomplete;
  // Complete only once every file and directory written is on the disk.
  if (whole && !tree.sync()) whole = false;
  return whole ? UnpackOutcome::kComplete : UnpackOutcome::kIncomplete;
}

}  // namespace

bool stored_name_is_safe(const std::string& stored_name) {
  return stored_name_fit(stored_name) == NameFit::kFits;
}

RecordPlacement::RecordPlacement(const std::string& root)
    : prefix_(split_root(root).prefix), tree_(split_root(root).base, std::string(), false) {}

NameFit RecordPlacement::fit(const std::string& stored_name) const {
  const NameFit fit = stored_name_fit(stored_name);
  if (fit != NameFit::kFits) return fit;
  return tree_.fits(prefix_ + replace_all(stored_name, "/", "\\")) ? NameFit::kFits
                                                                   : NameFit::kNotHere;
}

int path_kind(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return 0;
  std::string probe = path;
  if (probe.size() == 2 && probe[1] == ':') probe += '\\';
  const Listing listing = list_dir(probe, 1);
  if (!listing.ok || listing.entries.empty()) return 0;
  if (listing.entries.front().is_directory()) return 2;
  if (probe.size() == 3 && probe[1] == ':') return 2;
  return 1;
}

UnpackOutcome read_archive(File& file, const std::string& root, const UnpackProgress& progress) {
  const TargetRoot target = split_root(root);
  ConfinedTree tree(target.base, std::string());
  std::vector<DamagedRecord> damaged;
  return read_records(file, tree, target.prefix, parent_path(root), progress, damaged, nullptr);
}

int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress, UnpackOutcome* outcome,
              std::vector<std::string>* not_held) {
  UnpackReport report;
  const int result = dekompres(root, archive_path, progress, report);
  if (outcome != nullptr) *outcome = report.outcome;
  if (not_held != nullptr) *not_held = report.not_held;
  return result;
}

int dekompres(const std::string& root, const std::string& archive_path,
              const UnpackProgress& progress, UnpackReport& report) {
  report = UnpackReport{};
  File archive = File::open(archive_path, OpenMode::kRead);
  if (archive.is_open()) {
    const TargetRoot target = split_root(root);
    // When the archive directory lies in the profile directory, nothing is
    // written into it: a record could otherwise replace the archive itself.
    ConfinedTree tree(target.base, archive_directory(archive_path));
    report.outcome = read_records(archive, tree, target.prefix, parent_path(root), progress,
                                  report.damaged, &report.not_held);
    archive.close();
  }
  return report.outcome == UnpackOutcome::kComplete ? 1 : -1;
}

UnpackOutcome check_archive(const std::string& archive_path, std::vector<DamagedRecord>& damaged) {
  damaged.clear();
  File file = File::open(archive_path, OpenMode::kRead);
  if (!file.is_open()) return UnpackOutcome::kCannotOpen;
  const long long length = file.size();
  if (length < 0) return UnpackOutcome::kIncomplete;
  ArchiveInput input(file, static_cast<std::uint64_t>(length));
  const UnpackOutcome magic = read_magic(input);
  if (magic != UnpackOutcome::kComplete) return magic;
  // As an unpack reads it, with the data going nowhere.
  bool in_place = true;
  RecordHeader header;
  File nowhere;
  for (;;) {
    const Next next = next_tag(input, header);
    if (next == Next::kCut) return UnpackOutcome::kIncomplete;
    if (next == Next::kTrailer) break;
    if (next == Next::kOutOfPlace) {
      in_place = false;
      continue;
    }
    const std::uint64_t data_position = input.position();
    bool written = true;
    std::uint32_t checksum = kChecksumStart;
    if (!copy_data(input, nowhere, header.data_length, written, checksum)) {
      return UnpackOutcome::kIncomplete;
    }
    if (!matches(header, checksum)) damaged.push_back({stored_text(header.name), data_position});
  }
  if (input.failed()) return UnpackOutcome::kIncomplete;
  return in_place ? UnpackOutcome::kComplete : UnpackOutcome::kIncomplete;
}
