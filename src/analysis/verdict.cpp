#include "analysis/verdict.h"

#include <algorithm>

#include "support/text_codec.h"

namespace plm::analysis {
namespace {

using support::sj;

struct OperatingRange {
    std::optional<int64_t> min;
    std::optional<int64_t> max;
};

OperatingRange operatingRange(const model::MeasurementRecord& record, const Limits& limits) {
    if (record.measureType == 0)
        return {limits.closeMinUs, limits.closeMaxUs};
    return {limits.openMinUs, limits.openMaxUs};
}

// Collects what one subject (a channel, the pole spread) broke, or why it
// could not be judged.
class Findings {
  public:
    void broke(const std::string& text) { add(broken_, text); }
    void unjudged(const std::string& text) { add(unjudged_, text); }
    void checked() { checked_ = true; }

    Verdict verdict() const {
        if (!broken_.empty())
            return Verdict::Fail;
        if (!unjudged_.empty() || !checked_)
            return Verdict::NotJudged;
        return Verdict::Pass;
    }
    std::string reason() const { return broken_.empty() ? unjudged_ : broken_; }
    bool undecided() const { return !unjudged_.empty(); }

  private:
    static void add(std::string& list, const std::string& text) {
        if (!list.empty())
            list += sj("、");
        list += text;
    }
    std::string broken_;
    std::string unjudged_;
    bool checked_ = false;
};

std::string limitBreach(const char* what, int64_t value, const char* bound, int64_t limit) {
    return support::format(sj("%s %s ms が%s %s ms を超えています").c_str(), sj(what).c_str(),
                           msFromMicros(value).c_str(), sj(bound).c_str(),
                           msFromMicros(limit).c_str());
}

void judgeOperating(const ChannelFigures& ch, const OperatingRange& range, bool timeBase,
                    Findings& findings) {
    if (!range.min && !range.max)
        return;
    if (ch.changes == 0) {
        findings.broke(sj("接点が動作していません"));
        return;
    }
    if (!timeBase) {
        findings.unjudged(sj("測定周期が不明なため時間を判定できません"));
        return;
    }
    findings.checked();
    if (range.min && *ch.operatingUs < *range.min)
        findings.broke(support::format(sj("動作時間 %s ms が下限 %s ms に達していません").c_str(),
                                       msFromMicros(*ch.operatingUs).c_str(),
                                       msFromMicros(*range.min).c_str()));
    if (range.max && *ch.operatingUs > *range.max)
        findings.broke(limitBreach("動作時間", *ch.operatingUs, "上限", *range.max));
}

void judgeBounce(const ChannelFigures& ch, const Limits& limits, bool timeBase,
                 Findings& findings) {
    if (!limits.bounceMaxUs || ch.changes == 0)
        return;
    if (!timeBase) {
        findings.unjudged(sj("測定周期が不明なため時間を判定できません"));
        return;
    }
    findings.checked();
    if (*ch.bounceUs > *limits.bounceMaxUs)
        findings.broke(limitBreach("バウンス", *ch.bounceUs, "上限", *limits.bounceMaxUs));
}

ChannelVerdict judgeChannel(const model::MeasurementRecord& record, const ChannelFigures& ch,
                            const MeasurementFigures& figures, const Limits& limits,
                            const std::vector<int>& group) {
    if (!limits.judgesAnything())
        return {Verdict::NotJudged, sj("判定基準がありません")};
    if (std::find(group.begin(), group.end(), ch.channel) == group.end())
        return {Verdict::NotJudged, sj("極グループ外")};
    Findings findings;
    judgeOperating(ch, operatingRange(record, limits), figures.timeBase, findings);
    judgeBounce(ch, limits, figures.timeBase, findings);
    if (findings.verdict() == Verdict::NotJudged && findings.reason().empty())
        return {Verdict::NotJudged, sj("この接点の判定基準がありません")};
    return {findings.verdict(),
            findings.verdict() == Verdict::Pass ? sj("基準内") : findings.reason(),
            findings.undecided()};
}

void judgeSpread(const MeasurementFigures& figures, const Limits& limits, Judgement& out) {
    if (!limits.poleSpreadMaxUs)
        return;
    if (!figures.timeBase) {
        out.poleSpreadReason = sj("測定周期が不明なため時間を判定できません");
        out.poleSpreadUndecided = true;
        return;
    }
    if (!figures.poleSpreadUs) {
        out.poleSpreadReason = sj("動作した極が2つ未満です");
        return;
    }
    if (*figures.poleSpreadUs > *limits.poleSpreadMaxUs) {
        out.poleSpread = Verdict::Fail;
        out.poleSpreadReason =
            limitBreach("極間差", *figures.poleSpreadUs, "上限", *limits.poleSpreadMaxUs);
        return;
    }
    out.poleSpread = Verdict::Pass;
    out.poleSpreadReason = sj("基準内");
}

// Fails on any failure; passes only when nothing that a limit covers was
// left unjudged.
void judgeMeasurement(Judgement& out, bool anyLimit) {
    Findings findings;
    if (!anyLimit) {
        out.verdict = Verdict::NotJudged;
        out.reason = sj("判定基準がありません");
        return;
    }
    for (size_t i = 0; i < out.channels.size(); ++i) {
        const ChannelVerdict& ch = out.channels[i];
        const std::string text = support::format("CH%zu: %s", i + 1, ch.reason.c_str());
        if (ch.verdict == Verdict::Fail)
            findings.broke(text);
        else if (ch.verdict == Verdict::Pass)
            findings.checked();
        else if (ch.undecided)
            findings.unjudged(text);
    }
    if (out.poleSpread == Verdict::Fail)
        findings.broke(out.poleSpreadReason);
    else if (out.poleSpread == Verdict::Pass)
        findings.checked();
    else if (out.poleSpreadUndecided)
        findings.unjudged(out.poleSpreadReason);
    out.verdict = findings.verdict();
    out.reason = out.verdict == Verdict::Pass ? sj("全項目が基準内です") : findings.reason();
    if (out.reason.empty())
        out.reason = sj("判定できる項目がありません");
}

}  // namespace

const std::string& verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return sj("合格");
        case Verdict::Fail:
            return sj("不合格");
        default:
            return sj("判定なし");
    }
}

Judgement judge(const model::MeasurementRecord& record, const MeasurementFigures& figures,
                const Limits& limits) {
    Judgement out;
    const std::vector<int> group = limits.poleGroupOrDefault();
    for (const ChannelFigures& ch : figures.channels)
        out.channels.push_back(judgeChannel(record, ch, figures, limits, group));
    judgeSpread(figures, limits, out);
    judgeMeasurement(out, limits.judgesAnything());
    return out;
}

}  // namespace plm::analysis
