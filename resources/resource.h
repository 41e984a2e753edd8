// Resource identifiers of ZeltraTouch. Shared by the resource script and the
// C++ sources; the numbers are fixed because other programs and the dialogs'
// code address the controls by them.
#pragma once

// Icons, bitmaps and strings.
#define IDR_MAINFRAME 128
#define IDB_LOGO 143
#define IDS_ABOUTBOX 101

// The About item that the main window appends to its system menu.
#define IDM_ABOUTBOX 0x0010

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDD_SETTING_A 133
#define IDD_CALIBRATION 134
#define IDD_BUTTON_MODE 139
#define IDD_ADVANCED 140
#define IDD_SETTING_B 147

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Main window (IDD_MAIN).
#define IDC_MAIN_OK 1000
#define IDC_MAIN_PORT 1005
#define IDC_MAIN_CALIBRATION 1006
#define IDC_MAIN_SETTING 1008
#define IDC_MAIN_APPLY 1009
#define IDC_MAIN_ADVANCED 1010
#define IDC_MAIN_LINK_STATE 1011
#define IDC_MAIN_FIND 1012

// Mouse and sound page (IDD_SETTING_A).
#define IDC_MOUSE_SPEED 1006
#define IDC_MOUSE_FREQUENCY 1007
#define IDC_MOUSE_DURATION 1008
#define IDC_MOUSE_BEEP 1009
#define IDC_MOUSE_RIGHT_BUTTON 1010
#define IDC_MOUSE_TEST_TARGET 1019
#define IDC_MOUSE_CLICK_ZONE 1020

// Mouse-button indicator (IDD_BUTTON_MODE).
#define IDC_INDICATOR_TEXT 1029

// Advanced dialog, the sensitivity parameters (IDD_ADVANCED).
#define IDC_ADV_PRESSURE 1023
#define IDC_ADV_DOWNCOUNT 1024
#define IDC_ADV_PRESSURE_LABEL 1025
#define IDC_ADV_APPLY 1026
#define IDC_ADV_UPCOUNT 1027
#define IDC_ADV_DOWNCOUNT_LABEL 1028
#define IDC_ADV_UPCOUNT_LABEL 1029
#define IDC_ADV_STABDELAY 1030
#define IDC_ADV_STABDELAY_LABEL 1031
#define IDC_ADV_DEFAULT 1032

// Touch-mode page (IDD_SETTING_B): a radio group in touch-mode order.
#define IDC_TOUCH_NORMAL 1030
#define IDC_TOUCH_CLICK_ON_TOUCH 1031
#define IDC_TOUCH_CLICK_ON_RELEASE 1032
#define IDC_TOUCH_MONITOR 1033
#define IDC_TOUCH_IDENTIFY 1034
#define IDC_MAPPING_STANDARD 1035
#define IDC_MAPPING_PRECISE 1036
#define IDC_TOUCH_HOLD 1037
#define IDC_TOUCH_SMOOTHING 1038
#define IDC_TOUCH_OUTPUT 1039
