#pragma once

class QMainWindow;

namespace plm::settings {
class AppSettings;
}

namespace plm::app {

class CPLMViewDoc;

// 型式別集計... and 点検予定... at the end of the 測定データ menu; each opens
// its view over the document's tree beside the main window.
void addAssetCommands(QMainWindow& frame, CPLMViewDoc& doc, const settings::AppSettings& settings);

}  // namespace plm::app
