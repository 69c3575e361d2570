#include "enemies/NameList.h"

#include <QComboBox>
#include <QListWidget>
#include <QString>

#include "text/TextTable.h"

void FillNameList(const CRomImage& rom, uint32_t start, int32_t count, QListWidget* listBox,
                  QComboBox* comboBox) {
    const auto names = text::DecodeNames(rom, start, count);
    int index = 0;
    for (const auto& name : names) {
        // Every text table entry is plain ASCII.
        const QString text = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
        if (listBox != nullptr) {
            listBox->insertItem(index, text);
        }
        if (comboBox != nullptr) {
            comboBox->insertItem(index, text);
        }
        ++index;
    }
}
