// The record of the profile directory's state in the home directory.
#include "main/profile_record.h"

#include <limits>
#include <optional>

#include "main/state.h"
#include "support/confined.h"
#include "support/file_io.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

// The record's words, as written; anything else reads as kUnknown.
constexpr char kWordUnsaved[] = "unsaved";
constexpr char kWordSaved[] = "saved";
constexpr char kWordWiped[] = "wiped";
constexpr char kWordSwapping[] = "swapping";
// Between the word and the size of the archive whose records are all placed.
constexpr char kPlacedNote[] = " placed ";
// The longest record read; longer is none of the words with a note.
constexpr std::size_t kMaxRecordBytes = 48;
// A size takes at most 19 digits.
constexpr std::size_t kMaxSizeDigits = 19;

const char* word_of(ProfileRecord record) {
  switch (record) {
    case ProfileRecord::kUnsaved:
      return kWordUnsaved;
    case ProfileRecord::kSaved:
      return kWordSaved;
    case ProfileRecord::kWiped:
      return kWordWiped;
    case ProfileRecord::kSwapping:
      return kWordSwapping;
    case ProfileRecord::kUnknown:
      break;
  }
  return "";
}

// The word alone, or the word and a note of digits; anything else (a note
// cut short, zeroed, out of range) is no record at all.
ProfileRecord parse_record(const std::string& content, long long& placed_archive_size) {
  placed_archive_size = -1;
  for (ProfileRecord record : {ProfileRecord::kUnsaved, ProfileRecord::kSaved,
                               ProfileRecord::kWiped, ProfileRecord::kSwapping}) {
    const std::string word = word_of(record);
    if (content == word) return record;
    const std::string noted = word + kPlacedNote;
    if (content.compare(0, noted.size(), noted) != 0) continue;
    const std::string digits = content.substr(noted.size());
    if (digits.empty() || digits.size() > kMaxSizeDigits ||
        digits.find_first_not_of("0123456789") != std::string::npos ||
        (digits.size() > 1 && digits.front() == '0')) {
      return ProfileRecord::kUnknown;
    }
    // 19 digits may still pass the largest size a file can have.
    long long size = 0;
    for (char digit : digits) {
      const long long value = digit - '0';
      if (size > (std::numeric_limits<long long>::max() - value) / 10) {
        return ProfileRecord::kUnknown;
      }
      size = size * 10 + value;
    }
    placed_archive_size = size;
    return record;
  }
  return ProfileRecord::kUnknown;
}

ProfileRecord read_record_file(long long& placed_archive_size) {
  placed_archive_size = -1;
  File file = File::open(profile_record_path(), OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return ProfileRecord::kUnknown;
  const std::optional<std::string> content = read_up_to(file, kMaxRecordBytes);
  if (!content) return ProfileRecord::kUnknown;
  return parse_record(*content, placed_archive_size);
}

}  // namespace

std::string profile_record_path() { return join_path(home_dir(), kProfileRecordName); }

ProfileRecord read_profile_record() {
  long long placed_archive_size = -1;
  return read_record_file(placed_archive_size);
}

long long read_placed_archive_size() {
  long long placed_archive_size = -1;
  // No record (a home no unpack has used yet) is no note; not a failed open.
  if (entry_kind(profile_record_path()) == EntryKind::kMissing) return placed_archive_size;
  read_record_file(placed_archive_size);
  return placed_archive_size;
}

bool write_profile_record(ProfileRecord record, long long placed_archive_size) {
  ConfinedTree home(home_dir(), std::string());
  File file;
  if (home.create_file(kProfileRecordName, file) != CreateResult::kOpened) return false;
  std::string word = word_of(record);
  if (placed_archive_size >= 0) word += kPlacedNote + std::to_string(placed_archive_size);
  bool ok = file.write(word.data(), word.size()) && file.sync();
  ok = file.close() && ok;
  // A word that may not be on the disk is no word: the next start must not
  // take a profile for saved or wiped on its strength.
  if (!ok) remove_file(profile_record_path());
  return ok;
}

bool profile_is_expendable(ProfileRecord record) {
  return record == ProfileRecord::kSaved || record == ProfileRecord::kWiped;
}
