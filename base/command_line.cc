#include "base/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cstring>

#include "base/utf_string_conversions.h"

namespace base {

CommandLine* CommandLine::current_process_commandline_ = nullptr;

namespace {

// Tried in this order, so "--x" is the switch x and not the switch -x.
const wchar_t* const kSwitchPrefixes[] = {L"--", L"-", L"/"};
const wchar_t kSwitchTerminator[] = L"--";
const wchar_t kSwitchValueSeparator = L'=';
const wchar_t kWhitespace[] = L" \t\r\n\v\f";

std::wstring TrimWhitespace(const std::wstring& text) {
  size_t begin = text.find_first_not_of(kWhitespace);
  if (begin == std::wstring::npos) return std::wstring();
  size_t end = text.find_last_not_of(kWhitespace);
  return text.substr(begin, end - begin + 1);
}

// Length of the switch prefix of |element|, or 0 when it is no switch.
size_t SwitchPrefixLength(const std::wstring& element) {
  for (const wchar_t* prefix : kSwitchPrefixes) {
    size_t length = wcslen(prefix);
    if (element.size() > length && element.compare(0, length, prefix) == 0) return length;
  }
  return 0;
}

bool EqualsIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
    if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
    if (x != y) return false;
  }
  return true;
}

// Walks |elements| with switch recognition and reports whether switch |name|
// occurs; |value| receives the value of its last occurrence.
bool FindSwitch(const CommandLine::StringVector& elements, const std::wstring& name,
                std::wstring* value) {
  bool found = false;
  for (const std::wstring& element : elements) {
    if (element == kSwitchTerminator) break;
    size_t prefix = SwitchPrefixLength(element);
    if (!prefix) continue;
    size_t separator = element.find(kSwitchValueSeparator, prefix);
    std::wstring switch_name = element.substr(
        prefix, separator == std::wstring::npos ? std::wstring::npos : separator - prefix);
    if (!EqualsIgnoringAsciiCase(switch_name, name)) continue;
    found = true;
    if (value) {
      *value = separator == std::wstring::npos ? std::wstring() : element.substr(separator + 1);
    }
  }
  return found;
}

}  // namespace

CommandLine::CommandLine(const std::wstring& program) { SetProgram(program); }

// static
CommandLine CommandLine::FromString(const std::wstring& command_line) {
  CommandLine line;
  line.ParseFromString(command_line);
  return line;
}

void CommandLine::ParseFromString(const std::wstring& command_line) {
  program_.clear();
  elements_.clear();
  std::wstring trimmed = TrimWhitespace(command_line);
  // CommandLineToArgvW answers an empty string with this process's path.
  if (trimmed.empty()) return;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(trimmed.c_str(), &count);
  if (!args) return;
  if (count > 0) program_ = TrimWhitespace(args[0]);
  for (int i = 1; i < count; ++i) elements_.push_back(args[i]);
  LocalFree(args);
}

// static
bool CommandLine::Init() {
  if (current_process_commandline_) return false;
  current_process_commandline_ = new CommandLine();
  current_process_commandline_->ParseFromString(GetCommandLineW());
  return true;
}

// static
CommandLine* CommandLine::ForCurrentProcess() { return current_process_commandline_; }

void CommandLine::SetProgram(const std::wstring& program) { program_ = TrimWhitespace(program); }

bool CommandLine::SwitchPresent(const std::string& name) const {
  return SwitchPresent(UTF8ToWide(name));
}

bool CommandLine::SwitchPresent(const std::wstring& name) const {
  return FindSwitch(elements_, name, nullptr);
}

std::wstring CommandLine::GetSwitchValue(const std::string& name) const {
  return GetSwitchValue(UTF8ToWide(name));
}

std::wstring CommandLine::GetSwitchValue(const std::wstring& name) const {
  std::wstring value;
  FindSwitch(elements_, name, &value);
  return value;
}

void CommandLine::AddSwitch(const std::string& name) { AddSwitch(UTF8ToWide(name)); }

void CommandLine::AddSwitch(const std::wstring& name) {
  elements_.push_back(std::wstring(kSwitchPrefixes[0]) + name);
}

void CommandLine::AddArgument(const std::wstring& argument) { elements_.push_back(argument); }

CommandLine::StringVector CommandLine::GetArgs() const {
  StringVector args;
  bool switches_on = true;
  for (const std::wstring& element : elements_) {
    if (switches_on && element == kSwitchTerminator) {
      switches_on = false;
    } else if (switches_on && SwitchPrefixLength(element)) {
      continue;
    }
    args.push_back(element);
  }
  return args;
}

std::wstring CommandLine::CommandString() const {
  std::wstring out = QuoteArgument(program_);
  bool switches_on = true;
  for (const std::wstring& element : elements_) {
    out += L' ';
    if (switches_on && element == kSwitchTerminator) {
      out += element;
      switches_on = false;
      continue;
    }
    size_t prefix = switches_on ? SwitchPrefixLength(element) : 0;
    if (!prefix) {
      out += QuoteArgument(element);
      continue;
    }
    size_t separator = element.find(kSwitchValueSeparator, prefix);
    std::wstring head = element.substr(0, separator);
    // White space or a quote in the prefix and name would split or shift
    // the element when read back; such a switch is quoted whole instead.
    if (head.find_first_of(L" \t\n\v\"") != std::wstring::npos) {
      out += QuoteArgument(element);
      continue;
    }
    out += head;
    if (separator != std::wstring::npos && separator + 1 < element.size()) {
      out += kSwitchValueSeparator;
      out += QuoteArgument(element.substr(separator + 1));
    }
  }
  return out;
}

// static
std::wstring CommandLine::QuoteArgument(const std::wstring& argument) {
  // An empty element is written as "" so that it is not lost; tabs and line
  // breaks separate elements just like spaces do.
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"\\") == std::wstring::npos)
    return argument;
  std::wstring out(1, L'"');
  const size_t size = argument.size();
  size_t i = 0;
  while (i < size) {
    if (argument[i] == L'\\') {
      size_t end = argument.find_first_not_of(L'\\', i);
      if (end == std::wstring::npos) end = size;
      const size_t run = end - i;
      // Backslashes count as escapes only in front of a quote, and the
      // closing quote follows the last one.
      const bool doubled = end == size || argument[end] == L'"';
      out.append(doubled ? run * 2 : run, L'\\');
      i = end;
    } else if (argument[i] == L'"') {
      out += L"\\\"";
      ++i;
    } else {
      out += argument[i];
      ++i;
    }
  }
  out += L'"';
  return out;
}

}  // namespace base
