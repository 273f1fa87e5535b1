#pragma once
// The board's one database connection: the alias "Pelm" with the three
// parameter lines the board always sends.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cp932.h"
#include "sqlengine/database.h"
#include "sqlengine/folder_driver.h"

namespace pelm {

/// The engine configuration's alias the board opens, and the driver its
/// race table needs.
constexpr std::string_view kBoardAlias = "Pelm";
constexpr std::string_view kBoardDriver = kFolderDriver;

/// "PATH=" + the data folder, "ENABLE BCD=FALSE", "DEFAULT DRIVER=PARADOX".
std::vector<Cp932> boardConnectionParameters(const Cp932& dataDir);

/// Opens the alias "Pelm" for the data folder (a board path). Throws
/// pelm::Error saying why when it cannot.
std::unique_ptr<Database> connectBoardDatabase(const Cp932& dataDir);

}  // namespace pelm
