// The value printer and the console error prompt built on it.
#include "support/value.h"

#include <cmath>
#include <cstdio>

#include "support/console.h"
#include "support/text.h"

namespace {

// The one printer buffer of the process; to_text empties it on entry, so the
// printer is not re-entrant (nothing needs it to be).
std::string g_printed;

constexpr const char* kPromptText =
    "There was an error. Type yes to continue the program or no to abort.";
constexpr int kExitAborted = 200;

// Codes a printable text may hold besides 32-255: line-feed, carriage return,
// tab and escape.
bool is_text_code(const Value& element) {
  if (!element.is_number) return false;
  const double code = element.number;
  if (code != std::floor(code)) return false;
  if (code >= 32 && code <= 255) return true;
  return code == 10 || code == 13 || code == 9 || code == 27;
}

void print_number(double number) {
  char buffer[64];
  const int length = std::snprintf(buffer, sizeof buffer, "%.12g", number);
  if (length > 0) g_printed.append(buffer, static_cast<std::size_t>(length));
}

void print_value(const Value& value) {
  if (value.is_number) {
    print_number(value.number);
    return;
  }
  if (is_text(value)) {
    g_printed += '"';
    for (const Value& element : value.list) {
      const char c = static_cast<char>(static_cast<int>(element.number));
      switch (c) {
        case '\t':
          g_printed += "\\t";
          break;
        case '\n':
          g_printed += "\\n";
          break;
        case '\r':
          g_printed += "\\r";
          break;
        case '"':
          g_printed += "\\\"";
          break;
        case '\'':
          g_printed += "\\'";
          break;
        case '\\':
          g_printed += "\\\\";
          break;
        default:
          g_printed += c;
      }
    }
    g_printed += '"';
    return;
  }
  g_printed += '{';
  for (std::size_t i = 0; i < value.list.size(); ++i) {
    if (i > 0) g_printed += ", ";
    print_value(value.list[i]);
  }
  g_printed += '}';
}

std::string bytes_of(const Value& text) {
  std::string bytes;
  bytes.reserve(text.list.size());
  for (const Value& element : text.list) {
    bytes += static_cast<char>(static_cast<int>(element.number));
  }
  return bytes;
}

}  // namespace

Value Value::num(double n) {
  Value value;
  value.is_number = true;
  value.number = n;
  return value;
}

Value Value::text(const std::string& bytes) {
  Value value;
  value.list.reserve(bytes.size());
  for (const char c : bytes) value.list.push_back(num(static_cast<unsigned char>(c)));
  return value;
}

Value Value::of(std::vector<Value> items) {
  Value value;
  value.list = std::move(items);
  return value;
}

int is_text(const Value& value) {
  if (value.is_number) return 0;
  for (const Value& element : value.list) {
    if (!is_text_code(element)) return 0;
  }
  return 1;
}

std::string to_text(const Value& value) {
  g_printed.clear();
  print_value(value);
  return g_printed;
}

std::string display_text(const Value& value) {
  return is_text(value) ? bytes_of(value) : to_text(value);
}

void show_value(const Value& value) { console_write_out(display_text(value)); }

std::string ask_line(const Value& prompt) {
  show_value(prompt);
  const std::optional<std::string> line = console_read_line();
  console_write_out("\n");
  if (!line || !is_text(Value::text(*line))) return std::string();
  return chomp_line(*line);
}

void error_prompt(const std::string& message) {
  console_write_err("ERROR " + message + "\n");
  const std::string answer = ask_line(Value::text(kPromptText));
  if (answer.find_first_of("yY") != std::string::npos) return;
  exit_process(kExitAborted);
}
