#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace base {

// A program path and an ordered list of elements. An element is a switch
// when it begins with "--", "-" or "/" and is longer than that prefix; its
// name runs to the first "=", and the rest is its value. A lone "--" ends
// switch recognition for every later element. Elements keep their text as
// given and are classified when asked, so a parsed line and a built line
// behave alike.
class CommandLine {
 public:
  typedef std::vector<std::wstring> StringVector;

  CommandLine() = default;
  // A line with |program| (surrounding white space removed) and no elements.
  explicit CommandLine(const std::wstring& program);

  // Splits a whole command-line string (as CommandLineToArgvW does); the
  // first element becomes the program path.
  static CommandLine FromString(const std::wstring& command_line);
  void ParseFromString(const std::wstring& command_line);

  // Creates the process-wide line from GetCommandLineW unless it exists.
  // Returns true when this call created it. First thread only.
  static bool Init();
  // The process-wide line; null before Init. Never destroyed.
  static CommandLine* ForCurrentProcess();

  const std::wstring& GetProgram() const { return program_; }
  void SetProgram(const std::wstring& program);

  // Switch names are compared without regard to ASCII case.
  bool SwitchPresent(const std::string& name) const;
  bool SwitchPresent(const std::wstring& name) const;
  // The text after the first "=" of the last element that is switch |name|;
  // empty when the switch is absent or has no value.
  std::wstring GetSwitchValue(const std::string& name) const;
  std::wstring GetSwitchValue(const std::wstring& name) const;

  // Appends the switch element "--" |name|.
  void AddSwitch(const std::string& name);
  void AddSwitch(const std::wstring& name);
  // Appends |argument| as one element, unchanged.
  void AddArgument(const std::wstring& argument);

  // Every element after the program, in order, as given.
  const StringVector& elements() const { return elements_; }
  // The elements that are not switches ("--" itself included).
  StringVector GetArgs() const;

  // The string to start: the quoted program, then each element after one
  // space. CommandLineToArgvW reads it back as the same program and elements.
  std::wstring CommandString() const;

  // One element quoted so that CommandLineToArgvW reads it back unchanged.
  // Text without white space, backslash or double quote stays as it is.
  static std::wstring QuoteArgument(const std::wstring& argument);

 private:
  std::wstring program_;
  StringVector elements_;

  static CommandLine* current_process_commandline_;
};

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
