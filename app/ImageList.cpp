#include "app/ImageList.h"

#include <QPainter>
#include <algorithm>

#include "gfx/TileRenderer.h"

bool CImageList::Create(int cx, int cy, unsigned flags, int initial, int grow) {
    // Images are kept in full colour whatever `flags` asks; the list never grows a mask.
    (void)flags;
    (void)grow;
    if (cx <= 0 || cy <= 0) {
        return false;
    }
    width = cx;
    height = cy;
    images.clear();
    images.reserve(static_cast<std::size_t>(std::max(initial, 0)));
    return true;
}

bool CImageList::Remove(int index) {
    if (index == -1) {
        images.clear();
        return true;
    }
    if (index < 0 || index >= GetImageCount()) {
        return false;
    }
    images.erase(images.begin() + index);
    return true;
}

int CImageList::AddMasked(const uint32_t* pixels, uint32_t maskColour) {
    (void)maskColour;
    if (width <= 0 || height <= 0 || pixels == nullptr) {
        return -1;
    }
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        // 0x00BBGGRR to Qt's 0xAARRGGBB, a row at a time straight into the image's memory.
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        const uint32_t* src = pixels + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            row[x] = gfx::ToArgb(src[x]);
        }
    }
    images.push_back(std::move(image));
    return GetImageCount() - 1;
}

void CImageList::Draw(QPainter& dc, int index, const QPoint& at) const {
    if (index < 0 || index >= GetImageCount()) {
        return;
    }
    dc.drawImage(at, images[static_cast<std::size_t>(index)]);
}
