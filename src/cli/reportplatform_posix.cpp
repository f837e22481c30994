#include "reportplatform.h"

namespace quorva::cli {

// Off screen: no display needed (over ssh, on a headless box), and the
// fonts are fontconfig's.
const char* reportDrawingPlatform()
{
    return "offscreen";
}

} // namespace quorva::cli
