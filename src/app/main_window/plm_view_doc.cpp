#include "app/main_window/plm_view_doc.h"

#include "app/shell/app_context.h"

namespace plm::app {

namespace {
CPLMViewDoc*& documentPointer() {
    static CPLMViewDoc* doc = nullptr;
    return doc;
}
}  // namespace

CPLMViewDoc* theDocument() {
    return documentPointer();
}
void setTheDocument(CPLMViewDoc* doc) {
    documentPointer() = doc;
}

CPLMViewDoc::CPLMViewDoc(QObject* parent) : QObject(parent) {}

void CPLMViewDoc::replaceTree(model::CustomerTree committed) {
    tree_ = std::move(committed);
}

bool CPLMViewDoc::LoadData() {
    return tree_.load(appSettings().dataFile, guiErrorReporter());
}

bool CPLMViewDoc::SaveData() {
    return tree_.save(appSettings().dataFile, guiErrorReporter());
}

void CPLMViewDoc::send(int code) {
    ViewHint h;
    h.code = code;
    emit hint(h);
}

void CPLMViewDoc::sendNames() {
    ViewHint h;
    h.code = HintNames;
    h.names = {selection_.customer, selection_.circuit, selection_.name};
    emit hint(h);
}

void CPLMViewDoc::ClearSelection() {
    selection_ = Selection{};
    sendNames();
    send(HintClear);
    send(HintRebuild);
}

void CPLMViewDoc::Refresh() {
    const model::MeasurementName* name =
        model::findMeasurementName(tree_, selection_.customer, selection_.circuit, selection_.name);
    const model::MeasurementRecord* found = nullptr;
    if (name && selection_.index >= 0 && selection_.index < name->records.count())
        found = &name->records.at(selection_.index);
    if (!found) {
        // A cleared selection leaves the view empty: an empty record would show
        // blank tables and offer text output of a measurement that does not exist.
        ClearSelection();
        return;
    }
    sendNames();
    send(HintClear);
    ViewHint rec;
    rec.code = HintRecord;
    rec.record = *found;
    emit hint(rec);
    send(HintRebuild);
}

void CPLMViewDoc::loadOnce() {
    if (firstLoad_) {
        firstLoad_ = false;
        LoadData();
    }
}

void CPLMViewDoc::OnNewDocument() {
    loadOnce();
    for (int code : {HintValue104, HintValue105, HintValue106}) {
        ViewHint h;
        h.code = code;
        h.value = 0.0;
        emit hint(h);
    }
}

}  // namespace plm::app
