#include "engine/board_connection.h"

namespace pelm {

std::vector<std::string> boardConnectionParameters(const Cp932& dataDir) {
    return {"PATH=" + dataDir.bytes(), "ENABLE BCD=FALSE",
            "DEFAULT DRIVER=" + std::string(kBoardDriver)};
}

std::unique_ptr<Database> connectBoardDatabase(const Cp932& dataDir) {
    return std::make_unique<Database>(std::string(kBoardAlias), boardConnectionParameters(dataDir));
}

}  // namespace pelm
