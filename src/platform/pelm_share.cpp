// pelm-share: the board's helper for one folder that may stall
// (share_helper.h).

#include "platform/share_helper.h"

int main(int argc, char** argv) {
    return pelm::runShareHelper(argc, argv, pelm::performCall);
}
