// The record of the profile directory's state in the home directory.
#include "main/profile_record.h"

#include <limits>
#include <optional>

#include "main/small_file.h"
#include "main/state.h"
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
// Between the word (and its note) and the session token, when there is one.
constexpr char kSessionSeparator = '\n';
// The longest record read; longer is none of the words with a note and a
// session token.
constexpr std::size_t kMaxRecordBytes = 48 + 1 + kMaxSessionBytes;
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

bool is_session_token(const std::string& token) {
  return !token.empty() && token.size() <= kMaxSessionBytes &&
         token.find_first_not_of(kSessionDigits) == std::string::npos;
}

// The record, its note and its session token (empty when there is none).
ProfileRecord read_record_file(long long& placed_archive_size, std::string& session) {
  placed_archive_size = -1;
  session.clear();
  const std::optional<std::string> content =
      read_small_file(profile_record_path(), kMaxRecordBytes);
  if (!content) return ProfileRecord::kUnknown;
  const std::size_t cut = content->find(kSessionSeparator);
  if (cut == std::string::npos) return parse_record(*content, placed_archive_size);
  // A token is never empty, and only digits of the program's own: a record
  // cut short, or with a line end added, is no record.
  const std::string token = content->substr(cut + 1);
  if (!is_session_token(token)) return ProfileRecord::kUnknown;
  const ProfileRecord record = parse_record(content->substr(0, cut), placed_archive_size);
  if (record != ProfileRecord::kUnknown) session = token;
  return record;
}

}  // namespace

std::string profile_record_path() { return join_path(home_dir(), kProfileRecordName); }

ProfileRecord read_profile_record() {
  long long placed_archive_size = -1;
  std::string session;
  return read_record_file(placed_archive_size, session);
}

long long read_placed_archive_size() {
  long long placed_archive_size = -1;
  // No record (a home no unpack has used yet) is no note; not a failed open.
  if (entry_kind(profile_record_path()) == EntryKind::kMissing) return placed_archive_size;
  std::string session;
  read_record_file(placed_archive_size, session);
  return placed_archive_size;
}

std::string recorded_session() {
  long long placed_archive_size = -1;
  std::string session;
  // No record, no token: nothing to open.
  if (entry_kind(profile_record_path()) == EntryKind::kMissing) return session;
  read_record_file(placed_archive_size, session);
  return session;
}

bool write_profile_record(ProfileRecord record, long long placed_archive_size,
                          const std::string& session) {
  std::string content = word_of(record);
  if (placed_archive_size >= 0) content += kPlacedNote + std::to_string(placed_archive_size);
  if (!session.empty()) content += kSessionSeparator + session;
  // A word that may not be on the disk is no word: the next start must not
  // take a profile for saved or wiped on its strength.
  return write_small_file(home_dir(), kProfileRecordName, content, true);
}
