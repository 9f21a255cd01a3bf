#pragma once

// The string table.
namespace res {

// String 57344: the application name, and the caption of every application message box.
inline constexpr const char* kAppTitle = "Zel Demo Interface Software";

// The maker's notice line of the introduction and About dialogs.
inline constexpr const char* kMakerNotice = "Copyright (C) 2005 Velmarin";

// Opened by Help, "Velmarin on the Web".
inline constexpr const char* kMakerWebPage = "https://www.example.com/velmarin/zel";

// The help document, looked up next to the program and in the current directory.
inline constexpr const char* kHelpFileName = "help.html";

}  // namespace res
