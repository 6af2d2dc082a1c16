// What the main dialog's lists hold when it starts, which texts label its controls and what
// its context menu offers: the same tables for every window over the dialog's logic.
#pragma once

#include "text/text_ids.h"
#include "ui/dialog_template.h"

#include <array>
#include <string_view>

namespace orvane {

// A list's entries in order and the position selected at start.
template <std::size_t N> struct ListFill {
    std::array<std::string_view, N> entries;
    int selected;
};

// Port box 1000 until the system's ports are read (and when they cannot be).
inline constexpr ListFill<2> fallbackPorts{{"COM1", "COM2"}, 0};

// Address box 1012: the decimal texts of lowestAddress to highestAddress, in order.
inline constexpr int lowestAddress = 0;
inline constexpr int highestAddress = 255;
inline constexpr int addressSelected = 1; // address "1"

// Speed box 1001, the line speed for opening the port.
inline constexpr ListFill<12> lineSpeeds{
    {"300", "600", "1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400", "57600", "115200"}, 5};

// Upgrade speed box 1015.
inline constexpr ListFill<10> upgradeSpeeds{
    {"1200", "2400", "4800", "9600", "14400", "19200", "28800", "38400", "57600", "115200"}, 3};

// The labels set at initialisation, in this order, then the title. 110 and 111 address
// controls this dialog does not have; setting them does nothing.
struct ControlLabel {
    int text;
    int control;
};
inline constexpr std::array<ControlLabel, 12> dialogLabels{{
    {IDS_PORT_LABEL, IDC_PORT_LABEL},
    {IDS_BPS_LABEL, IDC_BPS_LABEL},
    {IDS_PORT_OPEN, IDC_OPEN},
    {IDS_PORT_CLOSE, IDC_CLOSE},
    {IDS_SELECT_FILE, IDC_FILE},
    {IDS_UPDATE_MAIN, IDC_UPDATE_MAIN},
    {IDS_UPDATE_MOTOR, IDC_UPDATE_MOTOR},
    {IDS_UPDATE_SPECIAL, IDC_UPDATE_SPECIAL},
    {IDS_CHINESE, 1010},
    {IDS_ENGLISH, 1011},
    {IDS_ADDRESS_LABEL, IDC_ADDRESS_LABEL},
    {IDS_UPBPS_LABEL, IDC_UPBPS_LABEL},
}};
inline constexpr int dialogTitleText = IDS_TITLE;

// The context menu's packaging commands, by type digit, with their labels' string ids, and
// the texts of the entries below them (context_menu.h puts them in order).
struct MenuCommand {
    int id;
    int label;
};
inline constexpr std::array<MenuCommand, 3> packagingCommands{{
    {ID_PACKAGE_TYPE1, IDS_PACKAGE_TYPE1},
    {ID_PACKAGE_TYPE2, IDS_PACKAGE_TYPE2},
    {ID_PACKAGE_TYPE3, IDS_PACKAGE_TYPE3},
}};
inline constexpr int lowLatencyMenuText = IDS_LOW_LATENCY_MENU;
inline constexpr int aboutMenuText = IDS_ABOUTBOX;

} // namespace orvane
