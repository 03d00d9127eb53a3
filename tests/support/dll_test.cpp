// The routine table: buckets, the entries the set-up stores, lookups, and
// real calls through the table on this platform.
#include "support/dll.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_util/scratch_test.h"

namespace {

using test_util::ScratchTest;

class RoutineTable : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    reset_routine_table();
    support_setup();
  }
};

TEST(RoutineBucket, PositionalHash) {
  struct Case {
    const char* name;
    int bucket;
  };
  const Case cases[] = {
      {"MoveFile", 2},
      {"DeleteFile", 47},
      {"CreateDirectoryA", 50},
      {"CopyFileA", 39},
      {"RemoveDirectory", 39},
      {"", 1},
      {"A", 65 % 50 + 1},  // each code times its position from 1
      {"AB", (65 + 66 * 2) % 50 + 1},
      {"\xFF", 255 % 50 + 1},  // codes are never negative
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(routine_bucket(c.name), c.bucket);
  }
}

TEST_F(RoutineTable, SetupStoresTenEntriesInPairs) {
  struct Routine {
    const char* short_name;
    const char* system_name;
    std::vector<std::uint32_t> kinds;
  };
  const Routine routines[] = {
      {"CopyFile", "CopyFileA", {KIND_STRING, KIND_STRING, KIND_INT}},
      {"MoveFile", "MoveFileA", {KIND_STRING, KIND_STRING}},
      {"DeleteFile", "DeleteFileA", {KIND_STRING}},
      {"CreateDirectory", "CreateDirectoryA", {KIND_STRING, KIND_POINTER}},
      {"RemoveDirectory", "RemoveDirectoryA", {KIND_STRING}},
  };
  std::size_t stored = 0;
  for (int bucket = 1; bucket <= kRoutineBuckets; ++bucket) {
    stored += routine_bucket_entries(bucket).size();
  }
  EXPECT_EQ(stored, 10u);
  for (const Routine& r : routines) {
    SCOPED_TRACE(r.system_name);
    const RoutineEntry* by_system = find_dll_routine(r.system_name);
    const RoutineEntry* by_short = find_dll_routine(r.short_name);
    ASSERT_NE(by_system, nullptr);
    ASSERT_NE(by_short, nullptr);
    EXPECT_EQ(by_system->name, r.system_name);
    EXPECT_EQ(by_short->name, r.short_name);
    EXPECT_EQ(by_system->library, "kernel32");
    EXPECT_EQ(by_system->argument_kinds, r.kinds);
    EXPECT_EQ(by_short->argument_kinds, r.kinds);
    EXPECT_EQ(by_system->result_kind, KIND_INT);
    EXPECT_EQ(by_system->call_kind, 2);
    EXPECT_GE(by_system->link_id, 0);
    EXPECT_EQ(by_short->link_id, by_system->link_id);
  }
}

TEST_F(RoutineTable, SharedBucketKeepsRegistrationOrder) {
  const std::vector<RoutineEntry>& bucket = routine_bucket_entries(39);
  ASSERT_EQ(bucket.size(), 2u);
  EXPECT_EQ(bucket[0].name, "CopyFileA");
  EXPECT_EQ(bucket[1].name, "RemoveDirectory");
  EXPECT_NE(find_dll_routine("CopyFileA"), nullptr);
  EXPECT_NE(find_dll_routine("RemoveDirectory"), nullptr);
}

TEST_F(RoutineTable, LookupIsExact) {
  const char* missing[] = {"movefile", "MOVEFILE", "MoveFileW", "MoveFile ", ""};
  for (const char* name : missing) {
    SCOPED_TRACE(name);
    EXPECT_EQ(find_dll_routine(name), nullptr);
  }
}

TEST_F(RoutineTable, MissingLibraryStoresOnlyTheSystemName) {
  reset_routine_table();
  register_dll_routine("ilhome_no_such_library", "MoveFile", "MoveFileA",
                       {KIND_STRING, KIND_STRING}, KIND_INT);
  const RoutineEntry* entry = find_dll_routine("MoveFileA");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->link_id, -2);
  EXPECT_EQ(find_dll_routine("MoveFile"), nullptr);
}

TEST_F(RoutineTable, MissingRoutineStoresBothNamesWithLinkIdMinusOne) {
  reset_routine_table();
  register_dll_routine("kernel32", "NoSuch", "NoSuchRoutineA", {KIND_STRING}, KIND_INT);
  for (const char* name : {"NoSuch", "NoSuchRoutineA"}) {
    const RoutineEntry* entry = find_dll_routine(name);
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(entry->link_id, -1) << name;
  }
}

TEST_F(RoutineTable, ProcedureEntriesHaveCallKindOne) {
  reset_routine_table();
  register_dll_routine("kernel32", "Remove", "RemoveDirectoryA", {KIND_STRING}, 0);
  const RoutineEntry* entry = find_dll_routine("Remove");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->call_kind, 1);
  mkdir("gone");
  // A procedure's result is not passed on, even when the routine succeeds.
  EXPECT_EQ(dllFunc("Remove", {Value::text(path("gone"))}), 0);
  EXPECT_FALSE(exists("gone"));
}

TEST_F(RoutineTable, CallsReachTheSystemByEitherName) {
  // Each step runs against the state the steps before it left.
  struct Step {
    const char* name;
    std::vector<Value> arguments;
    bool succeeds;
  };
  const std::string dir = path("made");
  const std::string file = path("made\\one.txt");
  const std::string copy = path("made\\two.txt");
  const std::string moved = path("made\\three.txt");
  write("seed.txt", "payload");
  const Step steps[] = {
      {"CreateDirectoryA", {Value::text(dir), Value::num(0)}, true},
      {"CreateDirectory", {Value::text(dir), Value::num(0)}, false},  // exists already
      {"CopyFile", {Value::text(path("seed.txt")), Value::text(file), Value::num(1)}, true},
      {"CopyFileA", {Value::text(file), Value::text(copy), Value::num(1)}, true},
      {"CopyFileA", {Value::text(file), Value::text(copy), Value::num(1)}, false},  // exists
      {"CopyFileA", {Value::text(file), Value::text(copy), Value::num(0)}, true},   // overwrite
      {"MoveFileA", {Value::text(copy), Value::text(file)}, false},  // never replaces
      {"MoveFile", {Value::text(copy), Value::text(moved)}, true},
      {"MoveFile", {Value::text(copy), Value::text(moved)}, false},  // source gone
      {"RemoveDirectory", {Value::text(dir)}, false},                // not empty
      {"DeleteFile", {Value::text(file)}, true},
      {"DeleteFileA", {Value::text(moved)}, true},
      {"DeleteFileA", {Value::text(moved)}, false},  // already gone
      {"DeleteFileA", {Value::text(dir)}, false},    // a directory is not a file
      {"RemoveDirectoryA", {Value::text(dir)}, true},
      {"CreateDirectory", {Value::text(""), Value::num(0)}, false},  // the empty prefix
  };
  int index = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(std::to_string(++index) + ": " + step.name);
    const std::int32_t result = dllFunc(step.name, step.arguments);
    if (step.succeeds) {
      EXPECT_NE(result, 0);
    } else {
      EXPECT_EQ(result, 0);
    }
  }
  EXPECT_EQ(contents("seed.txt"), "payload");
  EXPECT_FALSE(exists("made"));
}

TEST_F(RoutineTable, CopiedFileHoldsTheSourceBytes) {
  std::string bytes;
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(i * 7);
  write("big.bin", bytes);
  ASSERT_NE(dllFunc("CopyFile",
                    {Value::text(path("big.bin")), Value::text(path("copy.bin")), Value::num(1)}),
            0);
  EXPECT_EQ(contents("copy.bin"), bytes);
}

}  // namespace
