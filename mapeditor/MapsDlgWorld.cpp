#include "mapeditor/MapsDlg.h"
#include "mapeditor/WorldDlg.h"

void CMapsDlg::OpenWorldWindow() {
    StopDragging();
    CWorldDlg world(Document(), ScrollX, ScrollY, this);
    world.exec();
    // Its edits reached this window as the document announced them; the view comes back
    // where the user last looked.
    const edit::Cell at = world.LastTopLeft();
    SetScroll(at.x, at.y);
}
