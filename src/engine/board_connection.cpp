#include "engine/board_connection.h"

namespace pelm {

std::vector<Cp932> boardConnectionParameters(const Cp932& dataDir) {
    return {cp932Ascii("PATH=") + dataDir, cp932Ascii("ENABLE BCD=FALSE"),
            cp932Ascii("DEFAULT DRIVER=") + Cp932(std::string(kBoardDriver))};
}

std::unique_ptr<Database> connectBoardDatabase(const Cp932& dataDir) {
    return std::make_unique<Database>(std::string(kBoardAlias), boardConnectionParameters(dataDir));
}

}  // namespace pelm
