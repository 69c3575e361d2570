#pragma once

#include <functional>

#include "rom/RomImage.h"

namespace mapeditor {

enum class SaveOutcome { Saved, Cancelled, Failed };

// Every Save of the program, from the Maps window or the question on quitting. `write`
// writes the image as CRomImage::SaveRomFile does, given the stamp the file must still
// have. When another program changed the file since it was loaded or last saved, the user
// is asked first whether to overwrite it; Cancel writes nothing and keeps every change in
// memory. A failure is shown in the save failure message. The first save of a session to
// a file with other names (hard links) says once that those keep the old bytes.
SaveOutcome SaveRom(CRomImage& rom, const std::function<bool(const FileStamp*)>& write);

} // namespace mapeditor
