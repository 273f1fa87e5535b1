#include "engine/board_connection.h"

namespace pelm {

std::vector<std::string> boardConnectionParameters(std::string_view dataDir) {
    return {"PATH=" + std::string(dataDir), "ENABLE BCD=FALSE",
            "DEFAULT DRIVER=" + std::string(kBoardDriver)};
}

std::unique_ptr<Database> connectBoardDatabase(std::string_view dataDir) {
    return std::make_unique<Database>(std::string(kBoardAlias), boardConnectionParameters(dataDir));
}

}  // namespace pelm
