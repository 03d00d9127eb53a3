// The profile's session: the marker, the token beside it and the home's
// record, and every decision about what the profile there may be taken for.
#include "main/session.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>

#include "archive/safe_replace.h"
#include "main/small_file.h"
#include "main/state.h"
#include "support/code_page.h"
#include "support/confined.h"
#include "support/fs.h"
#include "support/text.h"

namespace {

// Random bits in a session token, written as hexadecimal digits.
constexpr int kSessionWords = 4;
// Bytes below this one are control bytes (a tab, a line end).
constexpr unsigned char kFirstPrintable = 0x20;

std::string marker_path() { return join_path(archive_dir(), kMarkerName); }
std::string session_path() { return join_path(archive_dir(), kSessionName); }

// A token that no other unpack, on this or any other computer, is given:
// it ties the profile an unpack sets up to the marker naming its archive.
std::string new_session_token() {
  // The system's randomness, and the clock besides: where the former is a
  // fixed sequence (some older runtimes), two starts still differ.
  std::random_device device;
  const auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  std::seed_seq seed{device(),
                     device(),
                     device(),
                     device(),
                     static_cast<std::uint32_t>(now),
                     static_cast<std::uint32_t>(static_cast<std::uint64_t>(now) >> 32)};
  std::mt19937 random(seed);
  std::string token;
  for (int i = 0; i < kSessionWords; ++i) {
    const std::uint32_t value = static_cast<std::uint32_t>(random());
    for (int shift = 28; shift >= 0; shift -= 4) token += kSessionDigits[(value >> shift) & 0xFu];
  }
  return token;
}

// Creates the marker empty, at the start of the unpack. It gets the chosen
// name only once the unpack is complete: a run that is killed, or fails, half
// way leaves no marker naming an archive whose profile is not all here, so
// no pack run overwrites that archive with a part of it. The marker is never
// written through a link (one to the archive would empty it).
File create_marker() {
  // Made anew, never emptied in place: a FAT driver that cuts a file back
  // only in part (fusefat keeps the old length and bytes, and frees the
  // clusters still in use) would leave the end of an older, longer name
  // behind the new one, and the next pack would write to that wrong name.
  delete_file(marker_path());
  // The token of an earlier unpack never pairs with this one's marker.
  delete_file(session_path());
  ConfinedTree directory(archive_dir(), std::string(), false);
  File marker;
  if (directory.create_file(kMarkerName, marker) != CreateResult::kOpened) {
    // An older marker left from an earlier unpack would name another archive,
    // and the next pack run would write this profile there; better none.
    delete_file(marker_path());
  }
  return marker;
}

// Writes the chosen name into the empty marker and makes it durable; false,
// with no marker left, when that cannot be done whole.
bool name_marker(File& marker, const std::string& name) {
  bool ok = marker.write(name.data(), name.size()) && marker.sync();
  ok = marker.close() && ok;
  if (ok) return true;
  // Never a name cut short: gone, or at least empty.
  if (delete_file(marker_path()) == 0) {
    create_marker().close();
  }
  delete_file(session_path());
  return false;
}

// A line end or another control byte is in no name an unpack writes into
// the marker: one an editor left behind the name would have the pack make a
// new archive under a name no one chose (Windows refuses such names anyway).
bool holds_control_byte(const std::string& name) {
  for (char c : name) {
    if (static_cast<unsigned char>(c) < kFirstPrintable) return true;
  }
  return false;
}

}  // namespace

UnpackSession UnpackSession::start(const std::string& archive) {
  UnpackSession session;
  session.marker_ = create_marker();
  session.archive_ = archive;
  session.token_ = new_session_token();
  return session;
}

long long UnpackSession::placed_size() const {
  return every_record_placed_ ? file_size64(archive_) : -1;
}

bool UnpackSession::note_set_up() const {
  return write_profile_record(ProfileRecord::kUnsaved, placed_size(), token_);
}

bool UnpackSession::note_swap_begun() const {
  return write_profile_record(ProfileRecord::kSwapping, -1, token_);
}

void UnpackSession::note_swap_done() const {
  write_profile_record(ProfileRecord::kUnsaved, placed_size(), token_);
}

bool UnpackSession::note_unpacked(bool all_placed) const {
  // With every record in the profile the next pack has nothing to keep
  // from this archive and need not read it; a note from an earlier
  // archive goes in any case. The record says so already but where the
  // archive has since been set aside, or the swap did not settle.
  const ProfileRecord record = read_profile_record();
  const long long placed = all_placed ? file_size64(archive_) : -1;
  if (record != ProfileRecord::kUnknown && placed != read_placed_archive_size()) {
    write_profile_record(record, placed, token_);
  }
  // A profile whose record does not name its session could never be
  // saved: no browser is to start on it.
  return recorded_session() == token_;
}

bool UnpackSession::tie(const std::string& name) {
  if (!write_small_file(archive_dir(), kSessionName, token_, false)) {
    // The pack could not tell that the profile here is this archive's: a
    // marker naming it would let the next pack run overwrite the archive
    // with another profile.
    abandon();
    return false;
  }
  return name_marker(marker_, name);
}

void UnpackSession::abandon() {
  if (!marker_.is_open()) return;
  marker_.close();
  forget_marker();
}

Marker read_marker(std::string& name) {
  // A stick pulled while the marker was written leaves NUL bytes or nothing;
  // a crafted one could name a path anywhere.
  name.clear();
  const std::string path = marker_path();
  if (entry_kind(path) == EntryKind::kMissing) return Marker::kAbsent;
  File file = File::open(path, OpenMode::kReadFileNoFollow);
  if (!file.is_open()) return Marker::kRefused;
  // One byte more than a marker may hold tells a longer one apart.
  std::optional<std::string> content = read_up_to(file, kMaxMarkerBytes + 1);
  if (!content) return Marker::kRefused;
  // Written in UTF-8; a marker that is not was written in the ANSI code
  // page. One too long to be a marker is refused as it is.
  const bool too_long = content->size() > kMaxMarkerBytes;
  name = too_long ? *content : stored_text(*content);
  if (too_long || !is_bare_file_name(name) || holds_control_byte(name)) return Marker::kRefused;
  // The program's own files in the archive directory are never an archive:
  // the marker would be deleted right after the archive was written over it,
  // and a temporary's name is cleared away by the next pack.
  const std::string lowered = lower_ascii(name);
  if (lowered == kMarkerName || lowered == kSessionName || lowered == kLockName ||
      is_temporary_name(lowered)) {
    return Marker::kRefused;
  }
  return Marker::kNamed;
}

bool marker_session_is_here() {
  // A marker of an older version of this program has no token beside it; it
  // still pairs with a record that holds none.
  std::optional<std::string> marked = std::string();
  if (entry_kind(session_path()) != EntryKind::kMissing) {
    marked = read_small_file(session_path(), kMaxSessionBytes);
  }
  return marked && *marked == recorded_session();
}

bool unsaved_session_here(std::string& name) {
  // A marker that names an archive is written only after a complete unpack
  // and deleted by the pack that saved the profile: while it is there, the
  // profile directory holds a session that never went back to its archive.
  // A profile another unpack set up since (another stick's session, or
  // another home's) is not this session: it is never stored on this stick.
  return read_marker(name) == Marker::kNamed && marker_session_is_here();
}

void forget_marker() {
  delete_file(marker_path());
  delete_file(session_path());
}

long long placed_archive_size() { return read_placed_archive_size(); }

void note_pack_saved(const std::string& archive, const PackReport& report) {
  forget_marker();
  // Files left unread are not in the archive as they are now: the profile
  // then still holds something no pack has saved.
  // An archive of nothing but the profile's files: the pack after the next
  // unpack of it, should that unpack be left out, need not read it.
  if (report.unread.empty()) {
    write_profile_record(ProfileRecord::kSaved, report.carried == 0 ? file_size64(archive) : -1);
  }
}

void note_kept(const PackReport& report) {
  // Kept once: a marker still naming the session would have every later
  // start keep it again, a full copy each time, until the stick is full.
  forget_marker();
  if (report.unread.empty()) write_profile_record(ProfileRecord::kSaved);
}

void note_wiped() {
  // The record was zeroed with the rest; what it says now lets the next
  // unpack replace the wiped profile without keeping it.
  write_profile_record(ProfileRecord::kWiped);
}

bool session_is_unsaved(bool pack_failed) {
  std::string name;
  const Marker marker = read_marker(name);
  // A marker that names an archive (or tries to) is written by an unpack
  // and removed by the pack that saved its profile.
  if (pack_failed || marker == Marker::kNamed || (marker == Marker::kRefused && !name.empty())) {
    return true;
  }
  // Or a pack saved the session but not every file of it (the record an
  // unpack wrote then still says unsaved).
  return entry_kind(profile_record_path()) != EntryKind::kMissing &&
         read_profile_record() == ProfileRecord::kUnsaved;
}

void forget_wiped_session() {
  if (entry_kind(marker_path()) != EntryKind::kMissing) forget_marker();
}

bool profile_is_expendable(ProfileRecord record) {
  return record == ProfileRecord::kSaved || record == ProfileRecord::kWiped;
}

bool profile_may_be_replaced() { return profile_is_expendable(read_profile_record()); }

bool swap_was_under_way() { return read_profile_record() == ProfileRecord::kSwapping; }
