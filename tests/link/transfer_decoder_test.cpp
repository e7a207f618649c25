#include "link/transfer_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "common/transfer_builder.h"
#include "link/captured_file_source.h"
#include "support/cx_exception.h"
#include "support/text_codec.h"

namespace plm::link {
namespace {

using support::sj;
using test::Bytes;

struct RecordingSink : ProgressSink {
    std::vector<std::string> texts;
    std::vector<MeasurementProgress> figures;
    void progress(const std::string& text) override { texts.push_back(text); }
    void measurement(const MeasurementProgress& f) override { figures.push_back(f); }
};

std::string utf8(const std::string& cp932) {
    return support::toUtf8(cp932);
}

TransferResult decodeText(const std::string& text, RecordingSink* sink = nullptr) {
    CapturedFileSource source;
    source.openText(text);
    RecordingSink local;
    std::atomic<bool> stop{false};
    TransferDecoder decoder(source, sink ? *sink : local, stop);
    decoder.setPassPause(std::chrono::microseconds(0));
    return decoder.run();
}

// A line source over memory: hands out exactly the bytes asked for and fails
// like a timed-out serial read when the stream runs dry.
class StreamSource : public BlockSource {
  public:
    explicit StreamSource(Bytes bytes, bool simulated = false)
        : bytes_(std::move(bytes)), simulated_(simulated) {}
    SourceDescription description() const override {
        return {sj("受信処理中..."), false, !simulated_};
    }
    int64_t next(int64_t expected, std::span<uint8_t> buffer) override {
        requests.push_back(expected);
        if (simulated_ || expected == 0)
            return expected;
        if (expected < 0 || pos_ + expected > bytes_.size())
            throw CxException(commErrorText(-2));
        std::copy_n(bytes_.begin() + pos_, expected, buffer.begin());
        pos_ += expected;
        return expected;
    }
    std::vector<int64_t> requests;

  private:
    Bytes bytes_;
    size_t pos_ = 0;
    bool simulated_;
};

TransferResult decodeStream(StreamSource& source, RecordingSink* seen = nullptr) {
    RecordingSink local;
    RecordingSink& sink = seen ? *seen : local;
    std::atomic<bool> stop{false};
    TransferDecoder decoder(source, sink, stop);
    decoder.setPassPause(std::chrono::microseconds(0));
    return decoder.run();
}

// 50 ms at 1 ms: 51 samples.
const std::string kHeader51 = "0007020110000001" + std::string(32, '0') + "150106055652";

std::string file51(const std::string& count, const std::string& vcLine = {}) {
    std::string contacts;
    for (int i = 0; i < 51; ++i)
        contacts += i < 20 ? "00" : "05";
    std::string text = count + "\r\n" + kHeader51 + "\r\n" + contacts + "\r\n";
    if (!vcLine.empty())
        text += vcLine + "\r\n";
    return text + "00000000\r\n";
}

TEST(TransferDecoder, DecodesOneMeasurementWithItsProgressTexts) {
    RecordingSink sink;
    TransferResult result = decodeText(file51("0057"), &sink);
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << utf8(result.message);
    ASSERT_EQ(result.records.size(), 1u);
    const model::MeasurementRecord& r = result.records[0];
    EXPECT_EQ(r.dataNo, 7);
    EXPECT_EQ(r.opSignal, 2);
    EXPECT_EQ(r.triggerDetect, 1);
    EXPECT_EQ(r.measureType, 1);
    EXPECT_EQ(r.measPeriod, 1);
    ASSERT_EQ(r.contacts.size(), 51u);
    EXPECT_EQ(r.contacts[19], 0x00);
    EXPECT_EQ(r.contacts[20], 0x05);
    EXPECT_EQ(r.vcValue, 0);
    EXPECT_EQ(r.vcEndValue, 0);
    EXPECT_EQ(utf8(r.testDateTimeText()), "2015/01/06 05:56");

    std::vector<std::string> expected = {
        "ファイル読み込み中...",
        "転送総数",
        "0057",
        "転送数：フル=87 , [件数][終了]除く=81",
        "ヘッダ情報",
        kHeader51,
        "接点データ数(直前含む)=51, 電圧電流データ数=-4",
        "接点データ受信中・・・",
        "接点データ受信完了",
        "終了コード",
        "00000000",
    };
    std::vector<std::string> got;
    for (const auto& t : sink.texts)
        got.push_back(utf8(t));
    EXPECT_EQ(got, expected);
}

TEST(TransferDecoder, VoltageCurrentBlockGivesFirstAndLastValue) {
    struct Case {
        std::string count, vcLine;
        int32_t value, endValue;
    };
    for (const Case& c : {Case{"005B", "0064000A", 100, 10}, Case{"0059", "0102", 258, 258},
                          Case{"005D", "00640000000B", 100, 11}}) {
        TransferResult result = decodeText(file51(c.count, c.vcLine));
        ASSERT_EQ(result.outcome, TransferOutcome::Completed) << c.vcLine << utf8(result.message);
        EXPECT_EQ(result.records.at(0).vcValue, c.value) << c.vcLine;
        EXPECT_EQ(result.records.at(0).vcEndValue, c.endValue) << c.vcLine;
    }
}

TEST(TransferDecoder, SeveralMeasurementsStartFromAResetRecordAndSkipComments) {
    model::MeasurementRecord first = test::makeRecord(1, 1, 0);  // 100 ms at 100 us
    first.vcValue = 220;
    first.vcEndValue = 219;
    first.opSignal = 3;
    test::setChannel(first, 0, 0, {10, 12, 15});
    model::MeasurementRecord second = test::makeRecord(2, 0, 1);
    second.testDateTime.status = support::DateStatus::Invalid;
    test::setChannel(second, 7, 1, {30});

    std::string text =
        "; captured by hand\n" + test::capturedText(test::transferBlocks({first, second}), "\n");
    // A comment between every pair of blocks.
    std::string commented;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos) + 1;
        commented += text.substr(pos, end - pos) + ";\n";
        pos = end;
    }
    TransferResult result = decodeText(commented);
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << utf8(result.message);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_EQ(result.records[0].contacts, first.contacts);
    EXPECT_EQ(result.records[0].vcValue, 220);
    EXPECT_EQ(result.records[0].vcEndValue, 219);
    EXPECT_EQ(result.records[0].testDateTime, first.testDateTime);
    EXPECT_EQ(result.records[1].dataNo, 2);
    EXPECT_EQ(result.records[1].opSignal, 0);
    EXPECT_EQ(result.records[1].vcValue, 0);
    EXPECT_FALSE(result.records[1].dateValid());
    EXPECT_EQ(result.records[1].contacts, second.contacts);
}

TEST(TransferDecoder, LineSourceDecodesTheSameStream) {
    model::MeasurementRecord a = test::makeRecord(5, 1, 0);
    a.vcValue = 100;
    a.vcEndValue = 10;
    test::setChannel(a, 2, 0, {500, 700});
    model::MeasurementRecord b = test::makeRecord(6, 3, 5);
    StreamSource source(test::streamBytes(test::transferBlocks({a, b})));
    TransferResult result = decodeStream(source);
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << utf8(result.message);
    ASSERT_EQ(result.records.size(), 2u);
    EXPECT_EQ(result.records[0].contacts, a.contacts);
    EXPECT_EQ(result.records[0].vcEndValue, 10);
    EXPECT_EQ(result.records[1].contacts.size(), 201u);
    // count, header, contacts, voltage/current, end code; then the next measurement.
    std::vector<int64_t> requests{2, 30, 1001, 4, 4, 2, 30, 201, 4};
    EXPECT_EQ(source.requests, requests);
}

TEST(TransferDecoder, FiguresRiseToTheAnnouncedLengthOfEachMeasurement) {
    model::MeasurementRecord a = test::makeRecord(5, 1, 0);
    a.vcValue = 100;
    a.vcEndValue = 10;
    model::MeasurementRecord b = test::makeRecord(6, 3, 5);
    const auto blocks = test::transferBlocks({a, b});
    const Bytes stream = test::streamBytes(blocks);
    StreamSource source(stream);
    RecordingSink sink;
    TransferResult result = decodeStream(source, &sink);
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << utf8(result.message);
    EXPECT_EQ(result.wholeCount, 2u);

    const int64_t lengths[] = {36 + 1001 + 4, 36 + 201};
    ASSERT_FALSE(sink.figures.empty());
    MeasurementProgress previous;
    for (const MeasurementProgress& f : sink.figures) {
        ASSERT_TRUE(f.number == 1 || f.number == 2);
        EXPECT_EQ(f.announced, lengths[f.number - 1]);
        EXPECT_LE(f.received, f.announced);
        EXPECT_GE(f.transferBytes, previous.transferBytes);
        if (f.number == previous.number) {
            EXPECT_GE(f.received, previous.received);
        }
        previous = f;
    }
    // Each measurement ends at its announced length, counted whole once its end code is checked.
    const auto& last = sink.figures.back();
    EXPECT_EQ(last.number, 2);
    EXPECT_EQ(last.received, lengths[1]);
    EXPECT_EQ(last.whole, 2);
    EXPECT_EQ(last.transferBytes, static_cast<int64_t>(stream.size()));
    EXPECT_EQ(last.blocks, 9);
    const auto firstDone = std::find_if(sink.figures.begin(), sink.figures.end(),
                                        [](const MeasurementProgress& f) { return f.whole == 1; });
    ASSERT_NE(firstDone, sink.figures.end());
    EXPECT_EQ(firstDone->number, 1);
    EXPECT_EQ(firstDone->received, lengths[0]);
}

TEST(TransferDecoder, OnlyMeasurementsWithACheckedEndCodeAreWhole) {
    const auto blocks =
        test::transferBlocks({test::makeRecord(1, 0, 1), test::makeRecord(2, 0, 1)});
    const Bytes stream = test::streamBytes(blocks);
    const size_t firstLength = 36 + 51;
    auto badSecondEnd = blocks;
    badSecondEnd[1].endCode = {0x00, 0x00, 0xFF, 0xFF};
    struct Case {
        const char* name;
        Bytes stream;
        size_t records;
        size_t whole;
    };
    const Case cases[] = {
        {"cut in the first end code", Bytes(stream.begin(), stream.begin() + firstLength - 2), 1,
         0},
        {"cut after the first end code", Bytes(stream.begin(), stream.begin() + firstLength), 1, 1},
        {"cut in the second samples", Bytes(stream.begin(), stream.begin() + firstLength + 40), 1,
         1},
        {"bad second end code", test::streamBytes(badSecondEnd), 2, 1},
    };
    for (const Case& c : cases) {
        StreamSource source(c.stream);
        TransferResult result = decodeStream(source);
        EXPECT_EQ(result.outcome, TransferOutcome::Failed) << c.name;
        EXPECT_EQ(result.records.size(), c.records) << c.name;
        EXPECT_EQ(result.wholeCount, c.whole) << c.name;
    }
}

TEST(TransferDecoder, DebugModeDecodesTheZeroBufferAndCompletes) {
    StreamSource source({}, true);
    TransferResult result = decodeStream(source);
    ASSERT_EQ(result.outcome, TransferOutcome::Completed) << utf8(result.message);
    ASSERT_EQ(result.records.size(), 1u);
    EXPECT_EQ(result.records[0].contacts, Bytes(501, 0));
    EXPECT_FALSE(result.records[0].dateValid());
    EXPECT_EQ(result.records[0].vcValue, 0);
    EXPECT_EQ(source.requests, (std::vector<int64_t>{2, 30, 501, -537, 4}));
}

TEST(TransferDecoder, LineSourceFailures) {
    model::MeasurementRecord r = test::makeRecord(1, 0, 1);
    auto blocks = test::transferBlocks({r});
    Bytes full = test::streamBytes(blocks);

    // The stream breaks off inside the contacts: the reader's timeout code.
    StreamSource cut(Bytes(full.begin(), full.begin() + 40));
    TransferResult result = decodeStream(cut);
    EXPECT_EQ(result.outcome, TransferOutcome::Failed);
    EXPECT_EQ(utf8(result.message), "通信異常 [-2]");

    // A count too small for the samples fails before any contact byte is awaited.
    blocks[0].count = {0x00, 0x30};
    StreamSource small(test::streamBytes(blocks));
    result = decodeStream(small);
    EXPECT_EQ(utf8(result.message), "転送データ数と実転送数が合っていません");
    EXPECT_EQ(small.requests, (std::vector<int64_t>{2, 30}));
}

TEST(TransferDecoder, StopRequestEndsQuietlyBetweenBlocks) {
    struct StopAfter : ProgressSink {
        std::atomic<bool>& stop;
        std::string trigger;
        explicit StopAfter(std::atomic<bool>& s, std::string t) : stop(s), trigger(std::move(t)) {}
        void progress(const std::string& text) override {
            if (text == trigger)
                stop = true;
        }
    };
    auto text = test::capturedText({test::makeRecord(1, 0, 1), test::makeRecord(2, 0, 1)});
    std::atomic<bool> stop{false};
    StopAfter sink(stop, "FFFFFFFF");
    CapturedFileSource source;
    source.openText(text);
    TransferDecoder decoder(source, sink, stop);
    TransferResult result = decoder.run();
    EXPECT_EQ(result.outcome, TransferOutcome::Stopped);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(result.records.size(), 1u);
}

TEST(TransferDecoder, HeaderFields) {
    struct Case {
        int byte4, byte5;
        int signalAcDc, measureType, chattering, noiseMask, measureOpe;
    };
    for (const Case& c : {Case{0x10, 0x16, 0, 1, 0, 2, 1}, Case{0x01, 0x03, 1, 0, 1, 1, 0},
                          Case{0x21, 0x04, 1, 2, 0, 0, 0}, Case{0x00, 0x0F, 0, 0, 1, 2, 0}}) {
        Bytes header(30, 0);
        header[0] = 0x12;
        header[1] = 0x34;
        header[4] = static_cast<uint8_t>(c.byte4);
        header[5] = static_cast<uint8_t>(c.byte5);
        header[8] = 0x01;  // chSetting[0] = 0x0102
        header[9] = 0x02;
        header[23] = 0xFF;  // chSetting[7] = 0x00FF
        model::MeasurementRecord r;
        decodeHeader(header, r);
        SCOPED_TRACE(testing::Message() << std::hex << c.byte4 << " " << c.byte5);
        EXPECT_EQ(r.dataNo, 0x1234);
        EXPECT_EQ(r.signalAcDc, c.signalAcDc);
        EXPECT_EQ(r.measureType, c.measureType);
        EXPECT_EQ(r.chattering, c.chattering);
        EXPECT_EQ(r.noiseMask, c.noiseMask);
        EXPECT_EQ(r.measureOpe, c.measureOpe);
        EXPECT_EQ(r.chSetting[0], 0x0102);
        EXPECT_EQ(r.chSetting[7], 0x00FF);
    }
}

TEST(TransferDecoder, HeaderDates) {
    struct Case {
        Bytes date;
        const char* text;  // "" for an invalid date
    };
    const Case cases[] = {
        {{0x15, 0x01, 0x06, 0x05, 0x56, 0x52}, "2015/01/06 05:56:52"},
        {{0x14, 0x02, 0x30, 0x10, 0x05, 0x00}, ""},  // 30 February
        {{0x16, 0x02, 0x29, 0x23, 0x59, 0x59}, "2016/02/29 23:59:59"},
        {{0x15, 0x02, 0x29, 0x00, 0x00, 0x00}, ""},
        {{0x15, 0x1A, 0x06, 0x05, 0x56, 0x52}, "2015/01/06 05:56:52"},  // 0x1A reads as 1
        {{0x15, 0xA1, 0x06, 0x05, 0x56, 0x52}, ""},                     // high digit above 9
        {{0x15, 0x00, 0x06, 0x05, 0x56, 0x52}, ""},
        {{0x15, 0x01, 0x06, 0x24, 0x00, 0x00}, ""},
        {{0x15, 0x01, 0x06, 0x05, 0x60, 0x00}, ""},
        {{0x99, 0x12, 0x31, 0x05, 0x56, 0x60}, ""},
    };
    for (const Case& c : cases) {
        Bytes header(30, 0);
        std::copy(c.date.begin(), c.date.end(), header.begin() + 24);
        model::MeasurementRecord r;
        decodeHeader(header, r);
        std::string expected = c.text;
        EXPECT_EQ(r.dateValid(), !expected.empty()) << expected << " " << hexText(c.date);
        if (!expected.empty()) {
            EXPECT_EQ(support::formatDateTime(r.testDateTime, "%Y/%m/%d %H:%M:%S"), expected);
        }
    }
}

TEST(TransferDecoder, HexHelpers) {
    EXPECT_EQ(hexText(Bytes{0x01, 0x2A}), "012A");
    EXPECT_EQ(hexText(Bytes{}), "");
    struct Case {
        const char* line;
        std::optional<Bytes> bytes;
    };
    const Case cases[] = {
        {"0057", Bytes{0x00, 0x57}}, {"ABC", Bytes{0xAB, 0x0C}},
        {"ff0a", Bytes{0xFF, 0x0A}}, {"", Bytes{}},
        {"G0", std::nullopt},        {"00 57", std::nullopt},
        {"0-", std::nullopt},        {"ABCZ", std::nullopt},
        {"ABg", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseHexLine(c.line), c.bytes) << c.line;
    Bytes small(2);
    EXPECT_EQ(parseHexLine("00112", small), -2);
}

// Long lines are converted many digits at a time: every byte value at every
// kind of position must still be judged and converted like a lone pair.
TEST(TransferDecoder, HexLinesOfEveryCharacter) {
    auto digit = [](int c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    const std::string base = "0123456789abcdefABCDEF0f9A5";  // 27 digits: words and a tail
    for (size_t pos : {0u, 3u, 7u, 8u, 15u, 16u, 22u, 24u, 26u}) {
        for (int c = 0; c < 256; ++c) {
            std::string line = base;
            line[pos] = static_cast<char>(c);
            std::optional<Bytes> expected = Bytes{};
            for (size_t i = 0; i < line.size(); i += 2) {
                int high = digit(static_cast<uint8_t>(line[i]));
                int low = i + 1 < line.size() ? digit(static_cast<uint8_t>(line[i + 1])) : 0;
                if (high < 0 || low < 0) {
                    expected.reset();
                    break;
                }
                expected->push_back(
                    static_cast<uint8_t>(i + 1 < line.size() ? high * 16 + low : high));
            }
            ASSERT_EQ(parseHexLine(line), expected) << "char " << c << " at " << pos;
        }
    }
}

// Every failure ends the transfer with one text; the records of the
// measurements already complete stay in the list.
TEST(TransferDecoder, CapturedFileFailures) {
    const std::string contacts51 = std::string(102, '0');
    std::string contactsShort = std::string(100, '0');
    std::string head = "0057\n" + kHeader51 + "\n";
    std::string longHeader = kHeader51;
    longHeader[12] = '0';
    longHeader[13] = '7';  // 200 s
    longHeader[14] = '0';
    longHeader[15] = '0';  // at 100 us: 2000001 samples
    struct Case {
        const char* name;
        std::string text;
        const char* message;
        size_t records;
    };
    const Case cases[] = {
        {"empty file", "", "ファイルの最後に達してしまった", 0},
        {"only comments", ";a\n;b\n", "ファイルの最後に達してしまった", 0},
        {"one-byte count", "57\n", "件数：受信データ異常<57>", 0},
        {"empty count line", "\n", "件数：受信データ異常<>", 0},
        {"short header", "0057\n00\n", "ヘッダ2：受信データ異常<00>", 0},
        {"file ends after header", head, "ファイルの最後に達してしまった", 0},
        {"short contact line", head + contactsShort + "\n00000000\n",
         "計測時間，測定時間より算出したデータ数と実データ数が異なります", 0},
        {"count too large", "0058\n" + kHeader51 + "\n" + contacts51 + "\n00000000\n",
         "転送データ数と実転送数が合っていません", 0},
        {"count smaller than 36 + n", "0030\n" + kHeader51 + "\n" + contacts51 + "\n00000000\n",
         "転送データ数と実転送数が合っていません", 0},
        {"one-byte voltage/current", file51("0058", "0A"), "電圧電流：受信データ異常<0A>", 0},
        {"short end code", head + contacts51 + "\n000000\n", "終了コードが受信できませんでした", 1},
        {"wrong end code", head + contacts51 + "\n0000FFFF\n",
         "終了コードに 00000000 又は FFFFFFFF 以外が転送されました", 1},
        {"no next measurement", head + contacts51 + "\nFFFFFFFF\n",
         "ファイルの最後に達してしまった", 1},
        {"non-hex character", "0057\n" + kHeader51.substr(0, 20) + "x" + kHeader51.substr(21),
         "ファイルの2行目に16進数以外の文字があります", 0},
        {"line beyond the buffer", "0057\n;\n" + std::string(600002, '0') + "\n",
         "ファイルの3行目が受信バッファ(300000)を超えています", 0},
        {"2000001 samples", "0057\n" + longHeader + "\n" + contacts51 + "\n00000000\n",
         "接点データ数(2000001)が受信バッファ(300000)を超えています", 0},
    };
    for (const Case& c : cases) {
        TransferResult result = decodeText(c.text);
        EXPECT_EQ(result.outcome, TransferOutcome::Failed) << c.name;
        EXPECT_EQ(utf8(result.message), c.message) << c.name;
        EXPECT_EQ(result.records.size(), c.records) << c.name;
    }
}

// Cutting a valid file anywhere or changing any one byte of it never crashes,
// overruns or hangs: the transfer completes or fails with one text.
TEST(TransferDecoder, DamagedFilesEndWithOneText) {
    model::MeasurementRecord a = test::makeRecord(1, 0, 1);
    a.vcValue = 3;
    a.vcEndValue = 4;
    test::setChannel(a, 0, 0, {3, 9});
    std::string text =
        ";c\n" + test::capturedText(test::transferBlocks({a, test::makeRecord(2, 0, 1)}));
    ASSERT_EQ(decodeText(text).outcome, TransferOutcome::Completed);

    for (size_t cut = 0; cut + 3 < text.size(); ++cut) {
        TransferResult result = decodeText(text.substr(0, cut));
        ASSERT_EQ(result.outcome, TransferOutcome::Failed) << cut;
        ASSERT_FALSE(result.message.empty()) << cut;
    }
    for (size_t pos = 0; pos < text.size(); ++pos) {
        for (char ch : {'0', 'F', 'g', '\n', ';', '\0'}) {
            std::string damaged = text;
            damaged[pos] = ch;
            TransferResult result = decodeText(damaged);
            ASSERT_EQ(result.outcome == TransferOutcome::Failed, !result.message.empty()) << pos;
        }
    }
}

}  // namespace
}  // namespace plm::link
