#pragma once
// The engine configuration: aliases in an INI file ("dbengine.ini"), one
// section per alias, each key a parameter ("DEFAULT DRIVER", "PATH", …).

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/cp932.h"

namespace pelm {

/// Name/value pairs in their file order; names (ASCII) match without regard
/// to case, values are the configuration's CP932 texts (PATH a board path).
using AliasParameters = std::vector<std::pair<std::string, Cp932>>;

/// Where the configuration is looked for, first match wins:
/// "dbengine.ini" in the current directory, then "/etc/pelm/dbengine.ini".
const std::vector<std::string>& defaultAliasConfigPaths();

/// The first of `candidates` (native paths) that exists.
std::optional<std::string> findAliasConfig(const std::vector<std::string>& candidates);

/// The parameters of `alias` from the first configuration among
/// `candidates`. Throws pelm::Error naming the files searched when there
/// is none, the file when it cannot be read, and the alias when the file
/// lacks it.
AliasParameters readAlias(std::string_view alias, const std::vector<std::string>& candidates);

/// The alias parameters with each of `given` ("NAME=value") in place of the
/// alias parameter of the same name; a name the alias lacks is dropped.
AliasParameters mergeParameters(const AliasParameters& alias, const std::vector<Cp932>& given);

/// The value of the parameter `name`, if present.
std::optional<Cp932> parameterValue(const AliasParameters& parameters, std::string_view name);

}  // namespace pelm
