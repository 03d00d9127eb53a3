// Values for the console error prompt: a number, or a list of values. A text
// is a list of character codes.
#pragma once

#include <string>
#include <vector>

struct Value {
  bool is_number = false;
  double number = 0;
  std::vector<Value> list;

  static Value num(double n);
  static Value text(const std::string& bytes);
  static Value of(std::vector<Value> items);
};

int is_text(const Value& value);
std::string to_text(const Value& value);
std::string display_text(const Value& value);
void show_value(const Value& value);
std::string ask_line(const Value& prompt);
// Writes "ERROR " and the message to the error stream and asks whether to go
// on; any answer without a y or Y ends the process with exit code 200.
void error_prompt(const std::string& message);
