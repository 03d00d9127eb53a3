// Helper program for the console tests: runs one error dialogue (directly or
// through a failing routine-table call) and reports that the program went on.
#include <cstdio>
#include <string>

#include "support/console.h"
#include "support/dll.h"
#include "support/fs.h"
#include "support/value.h"
#include "tests/test_util/hex.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::int32_t result = -99;
  if (mode == "write") {
    // The text, given in hex digits, once on each stream and nothing else.
    const std::string text = test_util::from_hex(argc > 2 ? argv[2] : "");
    console_write_out(text);
    console_write_err(text);
    return 0;
  }
  if (mode == "prompt") {
    error_prompt(argc > 2 ? argv[2] : "");
    result = 0;
  } else if (mode == "unknown-name") {
    support_setup();
    result = dllFunc("movefile", {Value::text("C:\\a"), Value::num(1)});
  } else if (mode == "no-library") {
    reset_routine_table();
    register_dll_routine("ilhome_no_such_library", "MoveFile", "MoveFileA",
                         {KIND_STRING, KIND_STRING}, KIND_INT);
    result = dllFunc(argc > 2 ? argv[2] : "", {Value::text("a"), Value::text("b")});
  } else if (mode == "no-routine") {
    reset_routine_table();
    register_dll_routine("kernel32", "NoSuch", "NoSuchRoutineA", {KIND_STRING}, KIND_INT);
    result = dllFunc("NoSuch", {Value::text("a")});
  } else if (mode == "make-dirs") {
    // With an empty table every CreateDirectory call shows its own message,
    // which names the prefix it was asked to create.
    reset_routine_table();
    result = make_dirs(argc > 2 ? argv[2] : "");
  } else {
    return 2;
  }
  console_write_out("[went on, result " + std::to_string(result) + "]");
  return 0;
}
