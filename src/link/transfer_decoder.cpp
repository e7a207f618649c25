#include "link/transfer_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <thread>

#include "support/cx_exception.h"
#include "support/ole_date.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

using support::format;
using support::sj;

// The progress texts of every measurement, converted once: a transfer of a
// hundred measurements emits them a thousand times.
struct ProgressTexts {
    const std::string& total = sj("転送総数");
    const std::string& totalCounts = sj("転送数：フル=%d , [件数][終了]除く=%d");
    const std::string& header = sj("ヘッダ情報");
    const std::string& sampleCounts = sj("接点データ数(直前含む)=%d, 電圧電流データ数=%d");
    const std::string& contactsReceiving = sj("接点データ受信中・・・");
    const std::string& contactsReceived = sj("接点データ受信完了");
    const std::string& voltageCurrent = sj("電圧・電流データ");
    const std::string& endCode = sj("終了コード");
};

const ProgressTexts& progressTexts() {
    static const ProgressTexts texts;
    return texts;
}

[[noreturn]] void fail(const std::string& text) {
    throw CxException(text);
}

// Hex digit value, or 0xFF for any other character.
const std::array<uint8_t, 256>& hexDigitTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        t.fill(0xFF);
        for (int i = 0; i < 10; ++i)
            t['0' + i] = static_cast<uint8_t>(i);
        for (int i = 0; i < 6; ++i) {
            t['A' + i] = static_cast<uint8_t>(10 + i);
            t['a' + i] = static_cast<uint8_t>(10 + i);
        }
        return t;
    }();
    return table;
}

constexpr size_t kBadDigit = static_cast<size_t>(-1);

// Converts the text eight digits at a time (one 64-bit word, every byte
// handled in its own lane) into bytes, up to the last whole word. Returns the
// number of bytes written, or kBadDigit when a character is no hex digit.
size_t hexWords(std::string_view text, std::span<uint8_t> out) {
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t highBits = 0x8080808080808080ull;
    if constexpr (std::endian::native != std::endian::little)
        return 0;
    size_t words = text.size() / 8;
    uint64_t bad = 0;
    for (size_t w = 0; w < words; ++w) {
        uint64_t x;
        std::memcpy(&x, text.data() + 8 * w, 8);
        // With every byte below 0x80 the lane sums below cannot carry; a byte
        // from 0x80 up is bad anyway.
        uint64_t folded = x | (0x20 * ones);  // 'A'..'F' -> 'a'..'f'; digits keep their codes
        uint64_t digit = (x + 0x50 * ones) & ~(x + 0x46 * ones);             // '0'..'9'
        uint64_t letter = (folded + 0x1F * ones) & ~(folded + 0x19 * ones);  // 'a'..'f'
        bad |= (x & highBits) | (~(digit | letter) & highBits);
        // Letters have bit 6 set: 'a' & 0x0F is 1, plus 9 makes 10.
        uint64_t nibbles = (x & (0x0F * ones)) + ((x >> 6) & ones) * 9;
        // Little-endian lanes: the even byte is the high digit of each pair.
        uint64_t pairs =
            ((nibbles & 0x000F000F000F000Full) << 4) | ((nibbles >> 8) & 0x000F000F000F000Full);
        pairs = (pairs | (pairs >> 8)) & 0x0000FFFF0000FFFFull;
        pairs = (pairs | (pairs >> 16)) & 0x00000000FFFFFFFFull;
        auto packed = static_cast<uint32_t>(pairs);
        std::memcpy(out.data() + 4 * w, &packed, 4);
    }
    return bad ? kBadDigit : words * 4;
}

unsigned be16(std::span<const uint8_t> bytes, size_t at) {
    return (static_cast<unsigned>(bytes[at]) << 8) | bytes[at + 1];
}

// The two hex digits of a BCD byte read as a decimal number; a low digit above
// 9 ends the number at the high digit (0x1A is 1). A high digit above 9 makes
// no number at all: -1, which no calendar field accepts.
int bcd(uint8_t b) {
    int high = b >> 4;
    int low = b & 0x0F;
    if (high > 9)
        return -1;
    return low > 9 ? high : high * 10 + low;
}

support::DateTimeValue headerDate(std::span<const uint8_t> date, support::DateTimeValue kept) {
    int fields[6];
    for (int i = 0; i < 6; ++i) {
        fields[i] = bcd(date[i]);
        if (fields[i] < 0)
            return {kept.value, support::DateStatus::Invalid};
    }
    support::CalendarFields cal;
    cal.year = 2000 + fields[0];
    cal.month = fields[1];
    cal.day = fields[2];
    cal.hour = fields[3];
    cal.minute = fields[4];
    cal.second = fields[5];
    double value = 0.0;
    support::CalendarFields back;
    if (!support::fieldsToOle(cal, value) || !support::oleToFields(value, back) ||
        back.year != cal.year || back.month != cal.month || back.day != cal.day ||
        back.hour != cal.hour || back.minute != cal.minute || back.second != cal.second) {
        return {kept.value, support::DateStatus::Invalid};
    }
    return {value, support::DateStatus::Valid};
}

}  // namespace

// ---- helpers ----

std::string hexText(std::span<const uint8_t> bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out(bytes.size() * 2, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return out;
}

int64_t parseHexLine(std::string_view text, std::span<uint8_t> out) {
    const auto& table = hexDigitTable();
    size_t pairs = (text.size() + 1) / 2;
    if (pairs > out.size())
        return -2;
    // Contact lines run to hundreds of kilobytes: eight digits at a time first.
    size_t k = hexWords(text, out);
    if (k == kBadDigit)
        return -1;
    size_t whole = text.size() / 2;
    for (; k < whole; ++k) {
        uint8_t high = table[static_cast<uint8_t>(text[2 * k])];
        uint8_t low = table[static_cast<uint8_t>(text[2 * k + 1])];
        if (high > 15 || low > 15)
            return -1;
        out[k] = static_cast<uint8_t>((high << 4) | low);
    }
    if (pairs > whole) {
        // An odd last digit alone is one byte: "ABC" gives AB 0C.
        uint8_t last = table[static_cast<uint8_t>(text.back())];
        if (last > 15)
            return -1;
        out[whole] = last;
    }
    return static_cast<int64_t>(pairs);
}

std::optional<std::vector<uint8_t>> parseHexLine(std::string_view text) {
    std::vector<uint8_t> bytes((text.size() + 1) / 2);
    if (parseHexLine(text, bytes) < 0)
        return std::nullopt;
    return bytes;
}

int64_t decodeCount(std::span<const uint8_t> bytes) {
    if (bytes.size() != 2)
        fail(format(sj("件数：受信データ異常<%s>").c_str(), hexText(bytes).c_str()));
    return be16(bytes, 0);
}

void decodeHeader(std::span<const uint8_t> bytes, model::MeasurementRecord& record) {
    if (bytes.size() != 30) {
        fail(format(sj("ヘッダ2：受信データ異常<%s>").c_str(), hexText(bytes).c_str()));
    }
    record.dataNo = static_cast<int32_t>(be16(bytes, 0));
    record.opSignal = bytes[2];
    record.triggerDetect = bytes[3];
    record.signalAcDc = bytes[4] & 0x0F;
    record.measureType = bytes[4] >> 4;
    record.chattering = bytes[5] & 0x01;
    bool maskReported = (bytes[5] & 0x02) != 0;
    bool maskOn = (bytes[5] & 0x04) != 0;
    record.noiseMask = !maskReported ? 0 : (maskOn ? 2 : 1);
    record.measureOpe = bytes[5] >> 4;
    record.measTime = bytes[6];
    record.measPeriod = bytes[7];
    for (size_t ch = 0; ch < 8; ++ch) {
        record.chSetting[ch] = static_cast<int32_t>(be16(bytes, 8 + 2 * ch));
    }
    record.testDateTime = headerDate(bytes.subspan(24, 6), record.testDateTime);
}

void decodeVoltageCurrent(std::span<const uint8_t> bytes, model::MeasurementRecord& record) {
    if (bytes.empty())
        return;
    if (bytes.size() == 1) {
        fail(format(sj("電圧電流：受信データ異常<%s>").c_str(), hexText(bytes).c_str()));
    }
    record.vcValue = static_cast<int32_t>(be16(bytes, 0));
    record.vcEndValue = static_cast<int32_t>(be16(bytes, bytes.size() - 2));
}

// ---- the decoder ----

TransferDecoder::TransferDecoder(BlockSource& source, ProgressSink& progress,
                                 const std::atomic<bool>& stop)
    : source_(source), progress_(progress), stop_(stop) {}

TransferResult TransferDecoder::run() {
    bufferMemory_.reset(static_cast<uint8_t*>(std::calloc(kReceiveBufferSize, 1)));
    if (!bufferMemory_)
        throw std::bad_alloc();
    buffer_ = {bufferMemory_.get(), kReceiveBufferSize};
    description_ = source_.description();
    results_.clear();
    figures_ = {};
    work_.Reset(devType_);
    struct ObserverScope {
        BlockSource& source;
        ~ObserverScope() { source.setArrivalObserver(nullptr); }
    } observing{source_};
    source_.setArrivalObserver([this](int64_t bytesSoFar) { onArrival(bytesSoFar); });
    TransferResult result;
    result.outcome = TransferOutcome::Completed;
    try {
        bool firstPass = true;
        for (State state = State::Count; state != State::Done;) {
            if (stop_.load()) {
                result.outcome = TransferOutcome::Stopped;
                break;
            }
            if (passPause_.count() > 0)
                std::this_thread::sleep_for(passPause_);
            blockTaken_ = false;
            if (description_.blocksCarryLength)
                take(0);
            if (firstPass) {
                progress_.progress(description_.startText);
                firstPass = false;
            }
            state = step(state);
        }
    } catch (const CxException& e) {
        // A stop cuts a read in progress short, and the read fails for it:
        // the run still ends as the user asked, not as a failure of the line.
        if (stop_.load()) {
            result.outcome = TransferOutcome::Stopped;
        } else {
            result.outcome = TransferOutcome::Failed;
            result.message = e.text();
        }
    }
    result.records = std::move(results_);
    result.wholeCount = static_cast<size_t>(figures_.whole);
    return result;
}

TransferDecoder::State TransferDecoder::step(State state) {
    switch (state) {
        case State::Count:
            return onCount();
        case State::Header:
            return onHeader();
        case State::Contacts:
            return onContacts();
        case State::VoltageCurrent:
            return onVoltageCurrent();
        case State::End:
            return onEnd();
        case State::Done:
            break;
    }
    return State::Done;
}

int64_t TransferDecoder::take(int64_t expected) {
    if (description_.blocksCarryLength && blockTaken_)
        return blockLength_;
    blockLength_ = source_.next(expected, buffer_);
    blockTaken_ = true;
    countBlock(blockLength_);
    return blockLength_;
}

void TransferDecoder::countBlock(int64_t length) {
    // A source that reads nothing may hand back a negative length.
    if (length > 0) {
        figures_.received += length;
        figures_.transferBytes += length;
    }
    ++figures_.blocks;
    reportFigures(figures_);
}

void TransferDecoder::onArrival(int64_t bytesSoFar) {
    MeasurementProgress partial = figures_;
    partial.received += bytesSoFar;
    partial.transferBytes += bytesSoFar;
    reportFigures(partial);
}

void TransferDecoder::reportFigures(const MeasurementProgress& figures) {
    // Until its count block is decoded a measurement has no length to show against.
    if (figures.announced > 0)
        progress_.measurement(figures);
}

std::span<const uint8_t> TransferDecoder::block() const {
    auto length = static_cast<size_t>(std::clamp<int64_t>(blockLength_, 0, buffer_.size()));
    return {buffer_.data(), length};
}

TransferDecoder::State TransferDecoder::onCount() {
    take(2);
    blockText(progressTexts().total);
    blockText(hexText(block()));
    total_ = decodeCount(block());
    blockText(format(progressTexts().totalCounts.c_str(), static_cast<int>(total_),
                     static_cast<int>(total_ - 6)));
    figures_.number = figures_.whole + 1;
    figures_.announced = total_;
    reportFigures(figures_);
    work_.Reset(devType_);
    return State::Header;
}

TransferDecoder::State TransferDecoder::onHeader() {
    int64_t length = take(30);
    remaining_ = total_ - 6 - length;
    blockText(progressTexts().header);
    blockText(hexText(block()));
    work_.Reset(devType_);
    decodeHeader(block(), work_);
    sampleCount_ = work_.expectedSampleCount();
    blockText(format(progressTexts().sampleCounts.c_str(), static_cast<int>(sampleCount_),
                     static_cast<int>(remaining_ - sampleCount_ - 4)));
    // 200 s at 100 us implies 2000001 samples: more than the receive buffer holds.
    if (sampleCount_ > static_cast<int64_t>(buffer_.size())) {
        fail(format(sj("接点データ数(%d)が受信バッファ(%d)を超えています").c_str(),
                    static_cast<int>(sampleCount_), static_cast<int>(buffer_.size())));
    }
    // A count too small for the samples would have a real line asked for a
    // negative number of bytes after them; refuse before waiting for any.
    if (description_.waitsForRequestedBytes && remaining_ - sampleCount_ < 0) {
        fail(sj("転送データ数と実転送数が合っていません"));
    }
    return State::Contacts;
}

TransferDecoder::State TransferDecoder::onContacts() {
    int64_t length = take(sampleCount_);
    // A captured contact line of another length would leave samples of earlier
    // lines (or cut ones) in the record, so every source must deliver exactly n.
    if (length != sampleCount_)
        fail(sj("計測時間，測定時間より算出したデータ数と実データ数が異なります"));
    remaining_ -= length;
    blockText(progressTexts().contactsReceiving);
    work_.contacts.assign(buffer_.begin(), buffer_.begin() + sampleCount_);
    blockText(progressTexts().contactsReceived);
    return remaining_ != 0 ? State::VoltageCurrent : State::End;
}

TransferDecoder::State TransferDecoder::onVoltageCurrent() {
    int64_t length = take(remaining_);
    remaining_ -= length;
    if (remaining_ != 0)
        fail(sj("転送データ数と実転送数が合っていません"));
    blockText(progressTexts().voltageCurrent);
    blockText(hexText(block()));
    decodeVoltageCurrent(block(), work_);
    return State::End;
}

TransferDecoder::State TransferDecoder::onEnd() {
    // The working record is reset before the next measurement fills it.
    results_.push_back(std::move(work_));
    int64_t length = take(4);
    if (length != 4)
        fail(sj("終了コードが受信できませんでした"));
    blockText(progressTexts().endCode);
    auto code = block();
    blockText(hexText(code));
    const bool last = std::all_of(code.begin(), code.end(), [](uint8_t b) { return b == 0x00; });
    const bool more = std::all_of(code.begin(), code.end(), [](uint8_t b) { return b == 0xFF; });
    if (last || more) {
        ++figures_.whole;
        reportFigures(figures_);
        figures_.received = 0;
        figures_.announced = 0;
        return last ? State::Done : State::Count;
    }
    fail(sj("終了コードに 00000000 又は FFFFFFFF 以外が転送されました"));
}

}  // namespace plm::link
