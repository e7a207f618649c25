#include "app/data_sheet/data_sheet.h"

namespace plm::app {

namespace {
DataSheetFactory& installedFactory() {
    static DataSheetFactory factory;
    return factory;
}
}  // namespace

DataSheetFactory setDataSheetFactory(DataSheetFactory factory) {
    DataSheetFactory previous = std::move(installedFactory());
    installedFactory() = std::move(factory);
    return previous;
}

std::unique_ptr<DataSheet> makeDataSheet() {
    const DataSheetFactory& factory = installedFactory();
    return factory ? factory() : nullptr;
}

}  // namespace plm::app
