#pragma once

// Rates outside the termios speed table (14400, 56000, 128000, 31250 ...)
// reach the driver through the kernel's arbitrary-rate interface. Kept apart
// because its structures clash with <termios.h>.
namespace plm::link {

// Sets input and output rate of the open tty fd to baud. False with errno set.
bool setArbitraryBaud(int fd, int baud);

}  // namespace plm::link
