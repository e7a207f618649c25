#include "app/data_sheet/sheet_command.h"

namespace plm::app {

SheetCommand::SheetCommand(model::CustomerTree& tree, std::unique_ptr<model::TreeChange> change,
                           const QString& text, std::function<void(bool redone)> show)
    : QUndoCommand(text), tree_(tree), change_(std::move(change)), show_(std::move(show)) {}

void SheetCommand::undo() {
    change_->revert(tree_);
    show_(false);
}

void SheetCommand::redo() {
    if (made_) {
        made_ = false;
        return;
    }
    change_->apply(tree_);
    show_(true);
}

}  // namespace plm::app
