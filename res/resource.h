// Resource and command ids shared by the .rc file and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDI_DISCONNECTED 157
#define IDS_ABOUTBOX 101
#define IDD_LUMORA_DIALOG 102
#define IDD_LASERWRITE 165

#define IDM_ABOUTBOX 0x0010

#define ID_MENU_QUIT 2035
#define ID_MENU_SHOW 2036
#define ID_MENU_CALIBRATE 2037
#define ID_MENU_COLLEAT 2040
#define ID_MENU_HELP 2041
#define ID_MENU_ABOUT 2042
#define ID_MENU_CALIBRATE_AUTO 2044
#define ID_MENU_OPTIONS 2045
#define ID_MENU_LASERWRITE 2046
