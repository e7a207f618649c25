#include "link/line_termios.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace plm::link {
namespace {

// termios speed constants of the rates a tester line may use; anything else
// goes through the arbitrary-rate interface.
constexpr std::pair<int, speed_t> kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool setByteSize(termios& tio, int byteSize) {
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    if (byteSize < 5 || byteSize > 8)
        return false;
    tio.c_cflag = (tio.c_cflag & ~CSIZE) | sizes[byteSize - 5];
    return true;
}

bool setParity(termios& tio, int parity) {
    tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    tio.c_iflag &= ~INPCK;
    switch (parity) {
        case 0:
            return true;
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return false;
    }
    tio.c_iflag |= INPCK;
    return true;
}

}  // namespace

bool applyLineSettings(termios& tio, const model::LineSettings& s, bool& arbitraryBaud) {
    if (s.baud <= 0 || !setByteSize(tio, s.byteSize) || !setParity(tio, s.parity))
        return false;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (s.stopBits == 0) {
        tio.c_cflag &= ~CSTOPB;
    } else {
        tio.c_cflag |= CSTOPB;
    }
    if (s.flow == 0)
        tio.c_cflag &= ~CRTSCTS;
    if (s.flow == 2) {
        tio.c_iflag |= IXON | IXOFF;
    } else {
        tio.c_iflag &= ~(IXON | IXOFF);
    }
    const auto* known = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                     [&](const auto& entry) { return entry.first == s.baud; });
    arbitraryBaud = known == std::end(kSpeeds);
    if (!arbitraryBaud)
        cfsetspeed(&tio, known->second);
    return true;
}

}  // namespace plm::link
