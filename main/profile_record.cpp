// The record of the profile directory's state in the home directory.
#include "main/profile_record.h"

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
// The longest record read; longer is none of the words.
constexpr std::size_t kMaxRecordBytes = 16;

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

}  // namespace

std::string profile_record_path() { return join_path(home_dir(), kProfileRecordName); }

ProfileRecord read_profile_record() {
  File file = File::open(profile_record_path(), OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return ProfileRecord::kUnknown;
  const std::optional<std::string> content = read_up_to(file, kMaxRecordBytes);
  if (!content) return ProfileRecord::kUnknown;
  for (ProfileRecord record : {ProfileRecord::kUnsaved, ProfileRecord::kSaved,
                               ProfileRecord::kWiped, ProfileRecord::kSwapping}) {
    if (*content == word_of(record)) return record;
  }
  return ProfileRecord::kUnknown;
}

bool write_profile_record(ProfileRecord record) {
  ConfinedTree home(home_dir(), std::string());
  File file;
  if (home.create_file(kProfileRecordName, file) != CreateResult::kOpened) return false;
  const std::string word = word_of(record);
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
