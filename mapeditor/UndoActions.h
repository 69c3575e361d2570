#pragma once

#include <functional>

#include "edit/MapDocument.h"

class QAction;
class QWidget;

namespace mapeditor {

// What the windows say once the document has dropped its oldest undo steps to stay within
// the bound on the memory they take.
inline constexpr const char* StepsDroppedNote = "oldest undo steps dropped";

struct UndoActions {
    QAction* undo = nullptr;
    QAction* redo = nullptr;
};

// "Undo" (Ctrl+Z) and "Redo" (Ctrl+Y, Ctrl+Shift+Z) of `doc`'s current map, the same in
// every window that edits maps. They are added to `window`, so their keys work anywhere in
// it, and are enabled only while there is something to undo or redo, as the document
// announces its changes. `beforeStep` runs before each (to end a drag in progress). Their
// object names are "undo" and "redo".
UndoActions AddUndoActions(QWidget& window, edit::MapDocument& doc,
                           std::function<void()> beforeStep);

} // namespace mapeditor
