#pragma once
// Resource numbers of the tray program.

#define IDS_APP_TITLE 103
#define IDI_CORVELLO 107
#define IDS_WINDOW_CLASS 109
#define IDS_TRAY_TIP 110
#define IDM_TRAY_MENU 111
#define IDM_EXIT 105
#define IDM_ALLOW_DESKTOP 112
#define IDM_OPEN_LOG_FOLDER 113
