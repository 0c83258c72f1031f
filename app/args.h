// Command-line parsing shared by the executables: "--name VALUE", "--name=VALUE",
// boolean switches and positional words, with one clear error line on misuse.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class ArgParser {
 public:
  // Declares an option that takes a value ("--out DIR").
  ArgParser& Value(std::string name);
  // Declares a switch without a value ("--older").
  ArgParser& Flag(std::string name);

  // Parses `args` (without the program and command names). Words that do not
  // start with "--" are positional. "--" ends option parsing. Returns false and
  // sets error() on an unknown option or a missing value.
  bool Parse(const std::vector<std::string>& args);

  bool Has(std::string_view name) const;
  std::optional<std::string> Get(std::string_view name) const;
  std::string GetOr(std::string_view name, std::string fallback) const;
  const std::vector<std::string>& positional() const { return positional_; }
  const std::string& error() const { return error_; }

 private:
  std::set<std::string, std::less<>> value_options_;
  std::set<std::string, std::less<>> flag_options_;
  std::map<std::string, std::string, std::less<>> values_;
  std::vector<std::string> positional_;
  std::string error_;
};

// The items of a comma-separated list, each without surrounding blanks; blank items are
// left out ("12, ,mobile#138" gives "12", "mobile#138").
std::vector<std::string> SplitList(const std::string& text);

// Parses a whole decimal number in [min, max]; nullopt for anything else.
std::optional<long long> ParseInteger(std::string_view text, long long min, long long max);

}  // namespace app
