#pragma once

// An image list of equally sized images, drawn opaque.

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <vector>

class QPainter;

class CImageList {
  public:
    // Room for `initial` images. `flags` and `grow` are accepted and not used: images are
    // kept in full colour, without a mask, and the list grows as needed.
    bool Create(int cx, int cy, unsigned flags, int initial, int grow);
    int GetImageCount() const { return static_cast<int>(images.size()); }
    bool Remove(int index);
    // Appends a cx by cy picture given as 0x00BBGGRR values, row-major. The mask colour
    // is accepted and, with no mask plane, never makes a pixel transparent.
    int AddMasked(const uint32_t* pixels, uint32_t maskColour);
    void Draw(QPainter& dc, int index, const QPoint& at) const;
    const QImage& Image(int index) const { return images[static_cast<std::size_t>(index)]; }

  private:
    int width = 0;
    int height = 0;
    std::vector<QImage> images;
};
