#include "link/port_scan.h"

#include "link/serial_line.h"

namespace plm::link {

std::vector<int> PortScan() {
    std::vector<int> found;
    model::LineSettings probe;
    probe.baud = 2400;
    probe.byteSize = 8;
    probe.stopBits = 0;
    probe.parity = 0;
    probe.flow = 0;
    for (int port = 1; port <= 20; ++port) {
        SerialLine line;
        probe.port = port;
        line.Configure(probe);
        if (line.Open())
            found.push_back(port);
        line.Close();
    }
    return found;
}

std::string portLabel(int portNumber) {
    const std::string device = portDevice(portNumber);
    const std::string name = "COM" + std::to_string(portNumber);
    return device.empty() ? name : name + " (" + device + ")";
}

}  // namespace plm::link
