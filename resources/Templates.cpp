#include "resources/Templates.h"

namespace res {

using K = Kind;

const DialogTemplate& AboutTemplate() {
    static const DialogTemplate t{
        100,
        "About Atlasforge",
        235,
        55,
        {
            {NoId, K::Icon, "", 11, 17, 20, 20, false},
            {NoId, K::Static, "Atlasforge Version 1.0", 40, 10, 119, 8, false},
            {1, K::DefPushButton, "OK", 178, 7, 50, 14, true},
        }};
    return t;
}

const DialogTemplate& MainTemplate() {
    static const DialogTemplate t{
        102,
        "Atlasforge",
        161,
        63,
        {
            {1, K::DefPushButton, "Quit", 104, 42, 50, 14, true},
            {NoId, K::Static, "Atlas-forge\n\nNot much yet  :(", 7, 7, 53, 26, false},
            {1026, K::PushButton, "Maps", 7, 42, 85, 14, true},
            // The enemy viewer's button sits in the free space above "Quit".
            {1000, K::PushButton, "Enemies", 104, 22, 50, 14, true},
        }};
    return t;
}

const DialogTemplate& MapsTemplate() {
    static const DialogTemplate t{130,
                                  "Maps",
                                  494,
                                  204,
                                  {
                                      {NoId, K::GroupBox, "Map", 103, 7, 182, 175, false},
                                      {NoId, K::GroupBox, "Tiles", 305, 87, 182, 95, false},
                                      {1024, K::ScrollBarVert, "", 290, 11, 10, 170, false},
                                      {1025, K::ScrollBarHorz, "", 103, 186, 182, 11, false},
                                      {1027, K::ListBox, "", 7, 7, 89, 190, true},
                                      {NoId, K::Static, "Available Bytes:", 305, 186, 51, 8, false},
                                      {1029, K::Static, "", 363, 186, 35, 8, false},
                                      {1030, K::PushButton, "Save", 419, 7, 68, 14, true},
                                      {1, K::PushButton, "Done", 419, 23, 68, 14, true},
                                      {2, K::PushButton, "Cancel", 419, 39, 68, 14, true},
                                      {1031, K::PushButton, "World...", 419, 55, 68, 14, true},
                                      {1033, K::PushButton, "Test", 419, 71, 68, 14, true},
                                      {1032, K::Static, "", 400, 186, 87, 8, false},
                                  }};
    return t;
}

const DialogTemplate* FindTemplate(int id) {
    switch (id) {
    case 100:
        return &AboutTemplate();
    case 102:
        return &MainTemplate();
    case 129:
        return &EnemiesTemplate();
    case 130:
        return &MapsTemplate();
    default:
        return nullptr;
    }
}

const char* LoadString(int id) {
    return id == IDS_ABOUTBOX ? "&About Atlasforge..." : "";
}

} // namespace res
