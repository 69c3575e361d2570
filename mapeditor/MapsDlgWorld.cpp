#include "mapeditor/MapsDlg.h"
#include "mapeditor/WorldDlg.h"

void CMapsDlg::OpenWorldWindow() {
    StopDragging();
    CWorldDlg world(Document(), ScrollX, ScrollY, this);
    world.exec();
    // Back where the user last looked, with whatever they changed there.
    const edit::Cell at = world.LastTopLeft();
    SetScroll(at.x, at.y);
    RefreshFromDocument();
}
