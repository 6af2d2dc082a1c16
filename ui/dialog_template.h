// The dialogs as their resource templates describe them: every control with its id, name,
// kind, template text and rectangle in dialog units, in template order (which is also the
// tab order). The widgets are built from these tables, so the layout lives in one place.
#pragma once

#include <array>
#include <string_view>

namespace orvane {

enum class ControlKind { Static, ComboBox, PushButton, DefaultPushButton, Edit, LogEdit, Icon };

// A rectangle in dialog units: x, y, width, height.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

struct ControlTemplate {
    int id;
    std::string_view name;
    ControlKind kind;
    std::string_view text;
    DialogRect rect;
};

// Resource ids.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_UPGRADE_DIALOG = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDM_ABOUTBOX = 0x0010;
// windows.h makes IDOK a macro of the same value, which then serves.
#ifndef IDOK
inline constexpr int IDOK = 1;
#endif

// Control ids of the main dialog.
inline constexpr int IDC_PORT = 1000;
inline constexpr int IDC_BPS = 1001;
inline constexpr int IDC_FILE = 1002;
inline constexpr int IDC_FILE_PATH = 1003;
inline constexpr int IDC_UPDATE_MAIN = 1004;
inline constexpr int IDC_LOG = 1005;
inline constexpr int IDC_PORT_LABEL = 1006;
inline constexpr int IDC_BPS_LABEL = 1007;
inline constexpr int IDC_OPEN = 1008;
inline constexpr int IDC_CLOSE = 1009;
inline constexpr int IDC_ADDRESS = 1012;
inline constexpr int IDC_ADDRESS_LABEL = 1013;
inline constexpr int IDC_UPBPS_LABEL = 1014;
inline constexpr int IDC_UPBPS = 1015;
inline constexpr int IDC_UPDATE_MOTOR = 1016;
inline constexpr int IDC_SPEED_LABEL = 1017;
inline constexpr int IDC_UBL = 1018;
inline constexpr int IDC_UPDATE_SPECIAL = 1019;
inline constexpr int IDC_SPEED = 1020;
inline constexpr int IDC_APP = 1022;
inline constexpr int IDC_PTZ_DOWN = 1023;
inline constexpr int IDC_PTZ_RIGHT = 1024;
inline constexpr int IDC_PTZ_UP = 1025;
inline constexpr int IDC_PTZ_HOME = 1026;
inline constexpr int IDC_PTZ_LEFT = 1027;
inline constexpr int IDC_PTZ_STOP = 1028;
inline constexpr int IDC_PTZ_TELE = 1029;
inline constexpr int IDC_PTZ_WIDE = 1030;
inline constexpr int IDC_PTZ_NEAR = 1031;
inline constexpr int IDC_PTZ_FAR = 1032;

// The three packaging commands, with the type digit each writes. No control of the main
// dialog issues them; the dialog's context menu does.
inline constexpr int ID_PACKAGE_TYPE2 = 1017;
inline constexpr int ID_PACKAGE_TYPE3 = 1021;
inline constexpr int ID_PACKAGE_TYPE1 = 1020;

// Main dialog, template 102.
inline constexpr int upgradeDialogWidth = 567;
inline constexpr int upgradeDialogHeight = 227;
inline constexpr std::string_view upgradeDialogCaption = "updateV1.0";

inline constexpr std::array<ControlTemplate, 30> upgradeDialogControls{{
    {IDC_PORT_LABEL, "IDC_PORT_LABEL", ControlKind::Static, "port", {15, 29, 33, 8}},
    {IDC_BPS_LABEL, "IDC_BPS_LABEL", ControlKind::Static, "bps", {115, 29, 32, 8}},
    {IDC_PORT, "IDC_PORT", ControlKind::ComboBox, "", {50, 28, 52, 58}},
    {IDC_BPS, "IDC_BPS", ControlKind::ComboBox, "", {157, 28, 52, 58}},
    {IDC_FILE, "IDC_FILE", ControlKind::PushButton, "file", {109, 51, 53, 14}},
    {IDC_FILE_PATH, "IDC_FILE_PATH", ControlKind::Edit, "", {165, 51, 96, 14}},
    {IDC_UPDATE_MAIN, "IDC_UPDATE_MAIN", ControlKind::PushButton, "update", {17, 101, 78, 14}},
    {IDC_LOG, "IDC_LOG", ControlKind::LogEdit, "", {112, 78, 260, 133}},
    {IDC_OPEN, "IDC_OPEN", ControlKind::PushButton, "open", {240, 27, 44, 14}},
    {IDC_CLOSE, "IDC_CLOSE", ControlKind::PushButton, "close", {297, 28, 44, 14}},
    {IDC_ADDRESS_LABEL, "IDC_ADDRESS_LABEL", ControlKind::Static, "ADRESS", {15, 53, 25, 8}},
    {IDC_ADDRESS, "IDC_ADDRESS", ControlKind::ComboBox, "", {49, 50, 52, 117}},
    {IDC_UPBPS_LABEL, "IDC_UPBPS_LABEL", ControlKind::Static, "bps", {7, 180, 50, 8}},
    {IDC_UPBPS, "IDC_UPBPS", ControlKind::ComboBox, "", {60, 179, 47, 58}},
    {IDC_UPDATE_MOTOR, "IDC_UPDATE_MOTOR", ControlKind::PushButton, "Upgrade MotorBoard", {17, 127, 78, 14}},
    {IDC_UPDATE_SPECIAL, "IDC_UPDATE_SPECIAL", ControlKind::PushButton, "update special", {15, 145, 77, 14}},
    {IDC_UBL, "IDC_UBL", ControlKind::PushButton, "UBL", {275, 53, 32, 14}},
    {IDC_APP, "IDC_APP", ControlKind::PushButton, "APP", {313, 54, 31, 14}},
    {IDC_PTZ_DOWN, "IDC_PTZ_DOWN", ControlKind::PushButton, "DOWN", {432, 73, 32, 14}},
    {IDC_PTZ_RIGHT, "IDC_PTZ_RIGHT", ControlKind::PushButton, "RIGHT", {474, 48, 32, 14}},
    {IDC_PTZ_UP, "IDC_PTZ_UP", ControlKind::PushButton, "UP", {433, 23, 32, 14}},
    {IDC_PTZ_HOME, "IDC_PTZ_HOME", ControlKind::PushButton, "HOME", {434, 50, 32, 14}},
    {IDC_SPEED_LABEL, "IDC_SPEED_LABEL", ControlKind::Static, "speed", {477, 75, 29, 8}},
    {IDC_SPEED, "IDC_SPEED", ControlKind::ComboBox, "", {508, 71, 52, 117}},
    {IDC_PTZ_LEFT, "IDC_PTZ_LEFT", ControlKind::PushButton, "LEFT", {389, 52, 32, 14}},
    {IDC_PTZ_STOP, "IDC_PTZ_STOP", ControlKind::PushButton, "STOP", {391, 73, 32, 14}},
    {IDC_PTZ_TELE, "IDC_PTZ_TELE", ControlKind::PushButton, "TELE", {400, 102, 32, 14}},
    {IDC_PTZ_WIDE, "IDC_PTZ_WIDE", ControlKind::PushButton, "WIDE", {449, 101, 32, 14}},
    {IDC_PTZ_NEAR, "IDC_PTZ_NEAR", ControlKind::PushButton, "NEAR", {400, 121, 32, 14}},
    {IDC_PTZ_FAR, "IDC_PTZ_FAR", ControlKind::PushButton, "FAR", {450, 121, 32, 14}},
}};

// About box, template 100. The icon's size comes from the icon itself (32 by 32 pixels).
inline constexpr int aboutBoxWidth = 235;
inline constexpr int aboutBoxHeight = 55;
inline constexpr std::string_view aboutBoxCaption = "关于 VELTA_Upgrade";
inline constexpr int IDC_ABOUT_ICON = -1;
inline constexpr int IDC_ABOUT_VERSION = -2;
inline constexpr int IDC_ABOUT_LINE2 = -3;

inline constexpr std::array<ControlTemplate, 4> aboutBoxControls{{
    {IDC_ABOUT_ICON, "IDC_ABOUT_ICON", ControlKind::Icon, "", {11, 17, 0, 0}},
    {IDC_ABOUT_VERSION, "IDC_ABOUT_VERSION", ControlKind::Static, "OrvaneV1.0", {40, 10, 119, 8}},
    {IDC_ABOUT_LINE2,
     "IDC_ABOUT_LINE2",
     ControlKind::Static,
     "PTZ camera firmware upgrade",
     {40, 25, 119, 8}},
    {IDOK, "IDOK", ControlKind::DefaultPushButton, "确定", {178, 7, 50, 14}},
}};

} // namespace orvane
