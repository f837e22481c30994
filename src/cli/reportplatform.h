#pragma once

// The Qt platform plugin the reports are drawn on, which brings their fonts
// (reportplatform_posix.cpp, reportplatform_windows.cpp).
namespace quorva::cli {

const char* reportDrawingPlatform();

} // namespace quorva::cli
