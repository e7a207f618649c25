#pragma once

#include <cstdint>

namespace plm::model {

// The serial-line settings kept at the root of the customer tree and stored in
// the data file as six int32 values in this member order. Stop bits come
// before parity here, unlike the order of the communication settings dialog.
struct LineSettings {
    int32_t port = 1;  // 1 = COM1
    int32_t baud = 38400;
    int32_t byteSize = 8;
    int32_t stopBits = 0;  // code: 0 one, 1 one and a half, 2 two
    int32_t parity = 0;    // code: 0 none, 1 odd, 2 even, 3 mark
    int32_t flow = 1;      // code: 0 none, 1 hardware, 2 XON/XOFF

    bool operator==(const LineSettings&) const = default;
};

}  // namespace plm::model
