// Keeping a session that was never saved: the name of the archive that keeps
// it, and the start of an unpack that finds such a session.
#include "tests/main/program_fixture.h"

namespace {

constexpr LocalTime kWhen{2026, 12, 10, 14, 5, 9};

TEST(RecoveryName, KeepsTheArchiveNameAndAddsWhen) {
  struct Case {
    const char* marker;
    int counter;
    const char* name;
  };
  const Case cases[] = {
      {"work.ilhome", 1, "work (unsaved 2026-12-10 14.05).ilhome"},
      {"default.ilhome", 1, "default (unsaved 2026-12-10 14.05).ilhome"},
      {"Work.ILHOME", 1, "Work (unsaved 2026-12-10 14.05).ilhome"},
      {"work.ilhome", 2, "work (unsaved 2026-12-10 14.05) 2.ilhome"},
      {"work.ilhome", 12, "work (unsaved 2026-12-10 14.05) 12.ilhome"},
      // A name the chooser never makes still gives an archive it lists.
      {"notes.txt", 1, "notes.txt (unsaved 2026-12-10 14.05).ilhome"},
      // Bytes Windows refuses in a name, written on another system.
      {"a<b>c\"d|e?f*g\x01h.ilhome", 1, "a_b_c_d_e_f_g_h (unsaved 2026-12-10 14.05).ilhome"},
      // Names Windows keeps for devices.
      {"con.ilhome", 1, "con (unsaved 2026-12-10 14.05).ilhome"},
      {"con.x.ilhome", 1, "_con.x (unsaved 2026-12-10 14.05).ilhome"},
      {"LPT1 .old.ilhome", 1, "_LPT1 .old (unsaved 2026-12-10 14.05).ilhome"},
      {"com0.x.ilhome", 1, "com0.x (unsaved 2026-12-10 14.05).ilhome"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marker);
    EXPECT_EQ(recovery_archive_name(c.marker, kWhen, c.counter), c.name);
  }
}

TEST(RecoveryName, LongNamesKeepTo255BytesAndWholeCharacters) {
  const std::string ending = " (unsaved 2026-12-10 14.05) 3.ilhome";
  // 'e' with an accent: two bytes, which a cut must never part.
  for (std::size_t length : {240u, 241u, 248u, 255u}) {
    SCOPED_TRACE(length);
    std::string stem;
    while (stem.size() + 2 <= length - 7) stem += "\xC3\xA9";
    const std::string name = recovery_archive_name(stem + ".ilhome", kWhen, 3);
    EXPECT_LE(name.size(), 255u);
    ASSERT_GE(name.size(), ending.size());
    EXPECT_EQ(name.substr(name.size() - ending.size()), ending);
    const std::string kept = name.substr(0, name.size() - ending.size());
    EXPECT_EQ(stem.compare(0, kept.size(), kept), 0);
    // As much of the name as fits, in whole characters.
    const std::size_t room = 255 - ending.size();
    EXPECT_EQ(kept.size(), std::min(stem.size(), room - room % 2));
  }
}

}  // namespace
