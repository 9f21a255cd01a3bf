#pragma once

// The string table.
namespace res {

// String 57344: the application name, and the caption of every application message box.
inline constexpr const char* kAppTitle = "Zel Demo Interface Software";

}  // namespace res
