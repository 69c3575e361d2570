#pragma once

#include <cstdint>

#include "rom/RomImage.h"

class QComboBox;
class QListWidget;

// Decodes `count` names from file offset `start` and inserts name i at index i of the list
// box, then of the combo box; either may be null. Neither control is emptied first, and a
// count below 1 inserts nothing.
void FillNameList(const CRomImage& rom, uint32_t start, int32_t count, QListWidget* listBox,
                  QComboBox* comboBox);
