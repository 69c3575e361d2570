#include "app/DocumentSignals.h"

DocumentSignals::DocumentSignals(edit::MapDocument& d, QObject* parent) : QObject(parent), doc(d) {
    doc.AddListener(this);
}

DocumentSignals::~DocumentSignals() {
    doc.RemoveListener(this);
}
