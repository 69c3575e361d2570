#pragma once

// Dialog templates, strings and the icon, as plain data. Positions and sizes are in
// dialog units; app/ turns them into widgets.

#include <cstdint>
#include <vector>

namespace res {

enum class Kind {
    PushButton,
    DefPushButton,
    GroupBox,
    Static, // left-aligned static text (label)
    Icon,   // picture of icon 128
    ListBox,
    ComboBox, // drop-down list, no typing
    Edit,
    ScrollBarVert,
    ScrollBarHorz,
};

inline constexpr int NoId = -1;

struct ControlTemplate {
    int id; // NoId for labels and group boxes
    Kind kind;
    const char* text; // "" when the control has none
    int x, y, cx, cy; // dialog units
    bool tabStop;
};

struct DialogTemplate {
    int id;
    const char* caption;
    int cx, cy;                            // dialog units
    std::vector<ControlTemplate> controls; // template order = tab order
};

// 100 About box, 102 main window, 129 enemy viewer, 130 map editor; nullptr otherwise.
const DialogTemplate* FindTemplate(int id);

const DialogTemplate& AboutTemplate();   // 100
const DialogTemplate& MainTemplate();    // 102
const DialogTemplate& EnemiesTemplate(); // 129
const DialogTemplate& MapsTemplate();    // 130

inline constexpr int IDS_ABOUTBOX = 101;

// String resource text ("&About Atlasforge..." for 101); "" for an unknown id.
const char* LoadString(int id);

} // namespace res
