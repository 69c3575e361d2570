#pragma once

#include "edit/GridOps.h"
#include "gfx/TileRenderer.h"

namespace edit {

// The tiles of one graphics set, by tile number.
using TileSet = gfx::TileMask;

// What a view of a MapDocument is told, as narrowly as the document knows it. Every call
// comes after the change, with the document already in its new state; a listener redraws
// what it is told and reads nothing else to find out what moved.
class DocumentListener {
  public:
    virtual ~DocumentListener() = default;
    // Rows of the current map's grid changed (an edit, a stroke's paint, undo, redo).
    virtual void RowsChanged(const RowSet& /*rows*/) {}
    // Another map, or the same one afresh, was decoded into the grid: every row is new and
    // so are the tiles it is drawn with.
    virtual void MapLoaded(int /*mapId*/) {}
    virtual void SelectedTileChanged(int /*tile*/) {}
    // What storing the grid would take, or the room for it, may have moved.
    virtual void BudgetChanged() {}
    // The grid was stored into the image (the free bytes moved), or the image was written
    // to its file.
    virtual void Stored() {}
    virtual void Saved() {}
    // The look of `tiles` of graphics set `graphicsSet` changed (patterns, quarters,
    // attributes or palette).
    virtual void TilesChanged(int /*graphicsSet*/, const TileSet& /*tiles*/) {}
    // The oldest undo or redo steps were dropped to keep the histories within their bound.
    virtual void StepsDropped() {}
};

} // namespace edit
