#include "link/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "link/line_termios.h"
#include "link/serial_baud.h"
#include "settings/profile_file.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

constexpr uint32_t kMaxSliceMs = 1000;

// Three-character names of the control bytes in the character line of a dump.
const char* controlName(uint8_t b) {
    switch (b) {
        case 0x02:
            return "@SX";
        case 0x03:
            return "@EX";
        case 0x04:
            return "@ET";
        case 0x05:
            return "@EQ";
        case 0x06:
            return "@AK";
        case 0x0A:
            return "@LF";
        case 0x0D:
            return "@CR";
        case 0x10:
            return "@DE";
        case 0x15:
            return "@NK";
        case 0x17:
            return "@EB";
        default:
            return nullptr;
    }
}

}  // namespace

std::string portDevice(int portNumber) {
    settings::ProfileFile ini;
    ini.Locate(settings::ProfileFile::Kind::ProgramFolder, "PLMView");
    const std::string key = "COM" + std::to_string(portNumber);
    const std::string configured = ini.GetString("Ports", key, "", {}, false);
    if (!configured.empty())
        return support::toUtf8(configured);
    if (portNumber >= 1 && portNumber <= 8)
        return "/dev/ttyS" + std::to_string(portNumber - 1);
    if (portNumber >= 9 && portNumber <= 16)
        return "/dev/ttyUSB" + std::to_string(portNumber - 9);
    if (portNumber >= 17 && portNumber <= 20)
        return "/dev/ttyACM" + std::to_string(portNumber - 17);
    return {};
}

SerialLine::SerialLine() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

SerialLine::~SerialLine() {
    Close();
}

void SerialLine::Configure(const model::LineSettings& settings) {
    settings_ = settings;
}

std::string SerialLine::devicePath() const {
    return device_.empty() ? portDevice(settings_.port) : device_;
}

bool SerialLine::Open() {
    Close();
    const std::string device = devicePath();
    writeFormat("port open %s", support::fromUtf8(device).c_str());
    if (device.empty()) {
        recordError(ENOENT);
        return false;
    }
    support::UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        recordError(errno);
        return false;
    }
    // Exclusive like a Windows COM port: the flock keeps out every program
    // that asks for it (root included), TIOCEXCL every other opener.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        recordError(errno == EWOULDBLOCK ? EBUSY : errno);
        return false;
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0) {
        recordError(errno);
        return false;
    }
    port_ = std::move(fd);
    open_ = true;
    if (!applySettings(port_.get()) || !SetLineTimeouts(0xFFFFFFFFu, 10, 1000, 1000, 1000)) {
        const uint32_t reason = lastError();
        Close();
        recordError(static_cast<int>(reason));
        return false;
    }
    logQueues();
    SetReadTimeout(5000);
    return true;
}

bool SerialLine::applySettings(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        recordError(errno);
        return false;
    }
    const model::LineSettings& s = settings_;
    bool arbitrary = false;
    if (!applyLineSettings(tio, s, arbitrary)) {
        recordError(EINVAL);
        return false;
    }
    const int xonXoff = s.flow == 2 ? 1 : 0;
    writeFormat(
        "BaudRate[%ld ], Parity[%ld], OutX[%d], InX[%d], ByteSize[%ld], Parity[%ld], "
        "StopBits[%ld]",
        static_cast<long>(s.baud), s.parity != 0 ? 1L : 0L, xonXoff, xonXoff,
        static_cast<long>(s.byteSize), static_cast<long>(s.parity), static_cast<long>(s.stopBits));
    if (s.stopBits == 1)
        writeFormat("StopBits[1]: 1.5 stop bits not available, using 2");
    if (::tcsetattr(fd, TCSANOW, &tio) != 0 || (arbitrary && !setArbitraryBaud(fd, s.baud))) {
        recordError(errno);
        return false;
    }
    return true;
}

void SerialLine::logQueues() {
    if (!logOn())
        return;
    // Linux tty queues are sized by the driver and cannot be asked for, so
    // both are reported as device dependent (0).
    static const std::string& format =
        support::sj("受信バッファ=%lu, 送信バッファ=%lu (単位=byte,0=デバイス依存)");
    writeLine(support::format(format.c_str(), 0UL, 0UL));
}

bool SerialLine::Close() {
    SetLineTimeouts(1, 1, 1, 1, 1);
    SetReadTimeout(1);
    if (!port_)
        return true;
    open_ = false;
    ::tcflush(port_.get(), TCIOFLUSH);
    ::ioctl(port_.get(), TIOCNXCL);
    const int fd = port_.release();
    if (::close(fd) != 0) {
        recordError(errno);
        return false;
    }
    return true;
}

bool SerialLine::SetLineTimeouts(uint32_t interval, uint32_t multiplier, uint32_t constant,
                                 uint32_t writeMultiplier, uint32_t writeConstant) {
    // A closed line has nothing to set. The last error is left alone: another
    // thread may cut the timeouts just as an Open fails, and the reason of
    // that failure is what the user must see.
    if (!open_)
        return false;
    interval_ = interval;
    multiplier_ = multiplier;
    constant_ = constant;
    writeMultiplier_ = writeMultiplier;
    writeConstant_ = writeConstant;
    wake();
    return true;
}

void SerialLine::SetReadTimeout(uint32_t ms) {
    writeFormat("SetTimeout[%ld]", static_cast<long>(static_cast<int32_t>(ms)));
    readTimeout_ = ms;
    wake();
}

bool SerialLine::SetQueueSize(uint32_t receiveBytes) {
    if (receiveBytes == 0)
        return true;
    termios tio{};
    if (!port_ || ::tcgetattr(port_.get(), &tio) != 0) {
        recordError(port_ ? errno : EBADF);
        Close();
        return false;
    }
    logQueues();
    return true;
}

void SerialLine::wake() {
    if (!wakeFd_)
        return;
    const uint64_t one = 1;
    // A failed write means the counter is already non-zero: the reader wakes anyway.
    const ssize_t ignored = ::write(wakeFd_.get(), &one, sizeof one);
    (void)ignored;
}

SerialLine::Wait SerialLine::waitReadable(uint32_t sliceMs) {
    pollfd fds[2] = {{port_.get(), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
    const int ready = ::poll(fds, wakeFd_ ? 2 : 1, static_cast<int>(sliceMs));
    if (ready < 0) {
        if (errno == EINTR)
            return Wait::Nothing;
        recordError(errno);
        return Wait::Failed;
    }
    if (ready > 0 && wakeFd_ && (fds[1].revents & POLLIN)) {
        uint64_t count = 0;
        const ssize_t ignored = ::read(wakeFd_.get(), &count, sizeof count);
        (void)ignored;
    }
    // Bytes still waiting are taken before a hang-up is reported.
    if (fds[0].revents & POLLIN)
        return Wait::Byte;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        recordError(EIO);
        return Wait::Failed;
    }
    return Wait::Nothing;
}

int SerialLine::ReadBlock(uint8_t* buffer, uint32_t n, uint32_t& received) {
    received = 0;
    if (n == 0)
        return 0;
    int code = 0;
    uint32_t last = support::tickCount();
    while (received < n) {
        if (!port_) {
            recordError(EBADF);
            code = -1;
            break;
        }
        const uint32_t timeout = readTimeout_;
        const uint32_t elapsed = support::tickCount() - last;
        const uint64_t lineSlice = uint64_t{multiplier_} + constant_;
        uint32_t slice = static_cast<uint32_t>(std::clamp<uint64_t>(lineSlice, 1, kMaxSliceMs));
        if (timeout != kNoTimeout && timeout >= elapsed)
            slice = std::min(slice, timeout - elapsed + 1);
        const Wait wait = waitReadable(slice);
        if (wait == Wait::Failed) {
            code = -1;
            break;
        }
        if (wait == Wait::Nothing) {
            if (readProgress_)
                readProgress_(received);
            if (support::tickCount() - last > readTimeout_) {
                code = -2;
                break;
            }
            continue;
        }
        // Only what the block still lacks is read, so no byte of the next
        // block is ever taken from the line.
        const ssize_t got = ::read(port_.get(), buffer + received, n - received);
        if (got > 0) {
            received += static_cast<uint32_t>(got);
            last = support::tickCount();
            if (readProgress_)
                readProgress_(received);
        } else if (got == 0) {
            recordError(EIO);  // ready but empty: the other side is gone
            code = -1;
            break;
        } else if (errno != EAGAIN && errno != EINTR) {
            recordError(errno);
            code = -1;
            break;
        }
    }
    if (received > 0)
        DumpTraffic(buffer, received);
    return code;
}

void SerialLine::DumpTraffic(const uint8_t* bytes, size_t size) {
    if (size == 0 || !logOn())
        return;
    std::string hex;
    std::string chars(36, ' ');
    hex.reserve(size * 3);
    chars.reserve(36 + size * 3);
    static constexpr char digits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = bytes[i];
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
        hex += ' ';
        if ((b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF)) {
            chars += ' ';
            chars += static_cast<char>(b);
            chars += ' ';
        } else if (const char* name = controlName(b)) {
            chars += name;
        } else {
            chars += "   ";
        }
    }
    // One write for both lines, so an entry of another thread cannot land
    // between the time-stamped hexadecimal line and its character line.
    writeLine("**>" + hex + "\n" + chars);
}

std::string SerialLine::errorText(uint32_t code) {
    char buffer[256];
    const char* message = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
    return support::format(support::sj("%sｴﾗｰNo:hex(%X),dec(%lu)").c_str(),
                           support::fromUtf8(message).c_str(), code,
                           static_cast<unsigned long>(code));
}

}  // namespace plm::link
