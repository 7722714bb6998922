#include "sim/sim_config.h"

#include <iterator>
#include <random>

SimConfig::Faults SeededFaults(std::uint32_t seed, int requestSpan) {
    // mt19937's output is fixed by the language for a given seed; the
    // library's distributions are not, so the draws are reduced by hand.
    std::mt19937 draw(seed);
    SimConfig::Faults faults;
    faults.seed = seed;
    const int request = requestSpan > 0 ? int(draw() % unsigned(requestSpan)) : 0;
    static constexpr std::uint8_t kCodes[] = {CMD_READ_BLOCK, CMD_ERASE,       CMD_VERIFY,
                                              CMD_READ_ID,    CMD_WRITE_BLOCK, CMD_DETECT};
    switch (draw() % 9) {
        case 0:
            faults.silentRequest = request;
            break;
        case 1:
            faults.refuseErase = true;
            break;
        case 2:
            faults.refuseWriteBlock = request;
            break;
        case 3:
            faults.corruptReadBack = request;
            break;
        case 4:
            faults.wrongEchoRequest = request;
            break;
        case 5:
            faults.unplugAfterRequest = request;
            break;
        case 6:
            faults.shortWriteRequest = request;
            break;
        case 7:
            faults.failWriteRequest = request;
            break;
        default:
            faults.silentCommand = kCodes[draw() % std::size(kCodes)];
            break;
    }
    return faults;
}
