#pragma once

#include <string>
#include <vector>

namespace plm::link {

// Probes COM1..COM20 by opening and closing each the way a transfer does
// (2400 baud, 8 data bits, one stop bit, no parity, no flow control) and
// returns the numbers that opened, ascending. A port held by another program
// is left out.
std::vector<int> PortScan();

// "COM3 (/dev/ttyS2)": the COM name with the device it stands for.
std::string portLabel(int portNumber);

}  // namespace plm::link
