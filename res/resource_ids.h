#pragma once

// Control, command and resource ids shared by the templates, the menus and the dialog classes.
namespace res {

// Dialog templates.
inline constexpr int kIddAbout = 100;
inline constexpr int kIddPort = 130;
inline constexpr int kIddMain = 131;
inline constexpr int kIddCommandPage = 134;
inline constexpr int kIddIntro = 137;
inline constexpr int kIddEepromPage = 141;
inline constexpr int kIddEepromWait = 149;
inline constexpr int kIddLimitations = 150;

// Menus and the icon.
inline constexpr int kMenuMain = 128;
inline constexpr int kMenuEepromContext = 146;
inline constexpr int kIconApp = 128;

// Standard ids.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdStatic = -1;

// Port dialog.
inline constexpr int kIdcOpenPort = 1000;
inline constexpr int kIdcPropertiesBox = 1004;
inline constexpr int kIdcPortList = 1008;
inline constexpr int kIdcReset = 8;
inline constexpr int kIdcPortExit = 1085;
inline constexpr int kIdcBaudFirst = 1146;  // 1146..1155: 1200 .. 115200
inline constexpr int kIdcBaud115200 = 1155;
inline constexpr int kIdcParityNone = 1156;
inline constexpr int kIdcParityOdd = 1157;
inline constexpr int kIdcParityBox = 1158;
inline constexpr int kIdcParityEven = 1159;
inline constexpr int kIdcBaudBox = 1160;
inline constexpr int kIdcDeniedNotice = 1190;  // which devices the user may not open, and why

// Main dialog.
inline constexpr int kIdcBar = 1022;
inline constexpr int kIdcChangePort = 1062;
inline constexpr int kIdcMonitor = 1067;
inline constexpr int kIdcTab = 1068;
inline constexpr int kIdcMonitorCaption = 1097;
inline constexpr int kIdcPortLabel = 1100;
inline constexpr int kIdcBaudLabel = 1101;
inline constexpr int kIdcParityLabel = 1102;

// Command page.
inline constexpr int kIdcManualCommand = 1036;
inline constexpr int kIdcRun = 1040;
inline constexpr int kIdcLogPressure = 1042;
inline constexpr int kIdcTimeStamp = 1043;
inline constexpr int kIdcCommandInquiryLabel = 1047;
inline constexpr int kIdcManualCommandLabel = 1048;
inline constexpr int kIdcReadingBox = 1049;
inline constexpr int kIdcReadout = 1067;
inline constexpr int kIdcCommandList = 1070;
inline constexpr int kIdcFilePath = 1079;
inline constexpr int kIdcBrowse = 1080;
inline constexpr int kIdcFilePathLabel = 1081;
inline constexpr int kIdcRunNote = 1192;  // a run that falls behind says so here

// EEPROM page.
inline constexpr int kIdcEepromList = 1094;

// Information dialogs.
inline constexpr int kIdcIntroText = 1066;
inline constexpr int kIdcIntroOk = 1084;
inline constexpr int kIdcLimitationsText = 1067;
inline constexpr int kIdcAboutOk = 1083;

// Menu commands.
inline constexpr int kCmdFileExit = 32775;
inline constexpr int kCmdWebLink = 32771;
inline constexpr int kCmdUndo = 32782;
inline constexpr int kCmdCut = 32783;
inline constexpr int kCmdCopy = 32784;
inline constexpr int kCmdPaste = 32785;
inline constexpr int kCmdDelete = 32786;
inline constexpr int kCmdSelectAll = 32787;
inline constexpr int kCmdLimitations = 32788;
inline constexpr int kCmdHelpContents = 32789;
inline constexpr int kCmdPressurePlot = 32790;
inline constexpr int kCmdStatistics = 32791;
inline constexpr int kCmdVerification = 32792;
inline constexpr int kCmdDatabase = 32793;
inline constexpr int kCmdOpenRecording = 32800;
inline constexpr int kCmdAbout = 57664;

}  // namespace res
