#pragma once

#include <QIcon>

namespace plm::app {

// The program's own icon: a timing trace on a dial face, drawn at run time so
// that it looks the same on every desktop.
QIcon programIcon();

// The toolbar icon of a command: the desktop theme's icon when there is one,
// else a simple drawing.
QIcon commandIcon(int commandId);

}  // namespace plm::app
