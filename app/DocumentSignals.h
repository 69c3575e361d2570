#pragma once

#include <QObject>

#include "edit/DocumentListener.h"
#include "edit/MapDocument.h"

// A document's announcements as Qt signals, for views that would rather connect than
// derive. It listens from construction to destruction; give it the view as parent and
// the two go together. The document must outlive it.
class DocumentSignals : public QObject, public edit::DocumentListener {
    Q_OBJECT
  public:
    DocumentSignals(edit::MapDocument& doc, QObject* parent);
    ~DocumentSignals() override;
    DocumentSignals(const DocumentSignals&) = delete;
    DocumentSignals& operator=(const DocumentSignals&) = delete;

    void RowsChanged(const edit::RowSet& rows) override { emit rowsChanged(rows); }
    void MapLoaded(int mapId) override { emit mapLoaded(mapId); }
    void SelectedTileChanged(int tile) override { emit selectedTileChanged(tile); }
    void BudgetChanged() override { emit budgetChanged(); }
    void Stored() override { emit stored(); }
    void Saved() override { emit saved(); }
    void TilesChanged(int graphicsSet, const edit::TileSet& tiles) override {
        emit tilesChanged(graphicsSet, tiles);
    }
    void StepsDropped() override { emit stepsDropped(); }

  signals:
    void rowsChanged(const edit::RowSet& rows);
    void mapLoaded(int mapId);
    void selectedTileChanged(int tile);
    void budgetChanged();
    void stored();
    void saved();
    void tilesChanged(int graphicsSet, const edit::TileSet& tiles);
    void stepsDropped();

  private:
    edit::MapDocument& doc;
};
