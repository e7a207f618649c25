#pragma once

#include <QString>
#include <QUndoCommand>
#include <functional>
#include <memory>

#include "model/customer_tree.h"
#include "model/tree_change.h"

namespace plm::app {

// One change of the data management page on its undo stack. The change is
// made by the page before the command is pushed (so that a refused change
// never reaches the stack); undo takes it back, redo makes it again, and
// after either `show` puts the page back on what it showed then (true after
// redo).
class SheetCommand : public QUndoCommand {
  public:
    SheetCommand(model::CustomerTree& tree, std::unique_ptr<model::TreeChange> change,
                 const QString& text, std::function<void(bool redone)> show);

    void undo() override;
    void redo() override;

  private:
    model::CustomerTree& tree_;
    std::unique_ptr<model::TreeChange> change_;
    std::function<void(bool)> show_;
    bool made_ = true;  // the push's own redo finds the change made already
};

}  // namespace plm::app
