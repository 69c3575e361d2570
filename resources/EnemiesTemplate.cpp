#include "resources/Templates.h"

namespace res {

// The enemy viewer. Item order is the tab order; labels carry no id of their own.
const DialogTemplate& EnemiesTemplate() {
    static const DialogTemplate t{
        129,
        "Enemies",
        364,
        196,
        {
            {1, Kind::DefPushButton, "OK", 307, 7, 50, 14, true},
            {2, Kind::PushButton, "Cancel", 307, 24, 50, 14, true},
            {1001, Kind::ListBox, "", 7, 7, 88, 182, true},
            {NoId, Kind::Static, "HP:", 109, 27, 13, 8, false},
            {1002, Kind::Edit, "", 110, 39, 40, 14, true},
            {NoId, Kind::Static, "Back Attack:", 109, 58, 42, 8, false},
            {1007, Kind::Edit, "", 109, 68, 40, 14, true},
            {NoId, Kind::Static, "Byte 3:", 260, 42, 23, 8, false},
            {1008, Kind::Edit, "", 258, 53, 40, 14, true},
            {NoId, Kind::Static, "Byte 4:", 263, 71, 23, 8, false},
            {1009, Kind::Edit, "", 261, 82, 40, 14, true},
            {NoId, Kind::Static, "Byte 5:", 257, 98, 23, 8, false},
            {1010, Kind::Edit, "", 255, 109, 40, 14, true},
            {NoId, Kind::Static, "Byte 6:", 258, 127, 23, 8, false},
            {1011, Kind::Edit, "", 256, 138, 40, 14, true},
            {NoId, Kind::Static, "Byte 7:", 263, 157, 23, 8, false},
            {1012, Kind::Edit, "", 261, 168, 40, 14, true},
            {NoId, Kind::Static, "Byte 8:", 319, 45, 23, 8, false},
            {1013, Kind::Edit, "", 317, 56, 40, 14, true},
            {NoId, Kind::Static, "Attack Power:", 103, 92, 46, 8, false},
            {1014, Kind::Edit, "", 103, 103, 40, 14, true},
            {NoId, Kind::Static, "Attack Effect:", 101, 124, 44, 8, false},
            {1016, Kind::ComboBox, "", 97, 137, 99, 136, true},
            {1017, Kind::Edit, "", 199, 137, 17, 12, true},
            {NoId, Kind::Static, "Byte 11:", 319, 74, 27, 8, false},
            {1018, Kind::Edit, "", 317, 85, 40, 14, true},
            {NoId, Kind::Static, "Byte 12:", 319, 103, 27, 8, false},
            {1019, Kind::Edit, "", 317, 114, 40, 14, true},
            {NoId, Kind::Static, "Byte 13:", 319, 133, 27, 8, false},
            {1020, Kind::Edit, "", 317, 144, 40, 14, true},
            {NoId, Kind::Static, "Byte 14:", 319, 164, 27, 8, false},
            {1021, Kind::Edit, "", 317, 175, 40, 14, true},
            {NoId, Kind::Static, "Byte 15:", 215, 74, 27, 8, false},
            {1022, Kind::Edit, "", 213, 85, 40, 14, true},
            {NoId, Kind::Static, "Gold:", 99, 159, 18, 8, false},
            {1023, Kind::Edit, "", 99, 169, 40, 14, true},
            {NoId, Kind::Static, "Exp:", 152, 158, 15, 8, false},
            {1024, Kind::Edit, "", 152, 169, 40, 14, true},
        },
    };
    return t;
}

} // namespace res
