#include "mapeditor/MapsDlg.h"

void CMapsDlg::OpenWorldWindow() {
    // Opened by the World window's own code.
}
