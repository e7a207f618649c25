#pragma once

#include <string>
#include <vector>

#include "analysis/figures.h"
#include "analysis/limits.h"
#include "model/measurement_record.h"

// Judging a measurement against its limits: per channel and for the whole
// measurement, each with the reason a person reads next to it.
namespace plm::analysis {

enum class Verdict { Pass, Fail, NotJudged };

// "合格", "不合格", "判定なし" (CP932).
const std::string& verdictText(Verdict verdict);

struct ChannelVerdict {
    Verdict verdict = Verdict::NotJudged;
    std::string reason;      // CP932; every broken limit, joined by "、"
    bool undecided = false;  // a limit applies but the figures cannot be held against it
};

struct Judgement {
    std::vector<ChannelVerdict> channels;  // channel 1..channelCount
    Verdict poleSpread = Verdict::NotJudged;
    std::string poleSpreadReason;
    bool poleSpreadUndecided = false;
    Verdict verdict = Verdict::NotJudged;
    std::string reason;
};

// Limits apply to the channels of the pole group: a pole that never moves
// fails once an operating-time limit is set; channels outside the group are
// not judged. The measurement fails when any channel, the pole spread or a
// bounce breaks a limit, and passes when limits exist and none is broken.
// Without a time base (unknown period code) times are not judged.
Judgement judge(const model::MeasurementRecord& record, const MeasurementFigures& figures,
                const Limits& limits);

}  // namespace plm::analysis
