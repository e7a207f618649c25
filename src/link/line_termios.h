#pragma once

#include <termios.h>

#include "model/line_settings.h"

namespace plm::link {

// Turns the port's current termios into the one a transfer reads with: raw
// bytes (no line editing, echo, signals or CR/LF translation), the byte size,
// parity (Win32 codes 0 none, 1 odd, 2 even, 3 mark, 4 space), stop bits
// (1.5 has no termios form and becomes 2), XON/XOFF for flow 2, RTS/CTS
// cleared for flow 0 and left as the port had it for flow 1. Rates of the
// termios table are set here; `arbitraryBaud` tells that the rate must go
// through setArbitraryBaud instead. False for values termios cannot express.
bool applyLineSettings(termios& tio, const model::LineSettings& settings, bool& arbitraryBaud);

}  // namespace plm::link
