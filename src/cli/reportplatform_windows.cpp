#include "reportplatform.h"

namespace quorva::cli {

// Windows' own, which needs no window to draw and knows the system's fonts;
// off screen, Qt finds no font on Windows and a PDF would hold no text.
const char* reportDrawingPlatform()
{
    return "windows";
}

} // namespace quorva::cli
