// Identifiers of the program's resources and its main window's class, shared by the resource
// script, the code and the tests.
#pragma once

// String table
#define IDS_APP_NAME 40000         // "Клиент авторизации"
#define IDS_VERSION 40001          // AUTHCLIENT_VERSION
#define IDS_DEFAULT_SERVER 40002   // default AUTH_SERVER
#define IDS_DEFAULT_PORT 40003     // "777"
#define IDS_DEFAULT_PROTOCOL 40004 // "6"
#define IDS_DEFAULT_TYPE 40005     // "2"
#define IDS_DEFAULT_PERIOD 40006   // "20"
#define IDS_PROPERTIES 40009       // "Свойства"
#define IDS_PRODUCT_LINE 40010     // "Клиент авторизации для АСР Zerva"
#define IDS_DEFAULT_LINK 40011     // default LINK_PERSONAL
#define IDS_AUTH_TYPES 40012       // the three identification texts, one per line
#define IDS_PROTOCOLS 40013        // "TCP\nUDP"

// ---- Dialogs, menu, bitmaps and icons ----

// Icons
#define IDI_APP 102         // the program: globe with a key
#define IDI_GLOBE 144       // tray, authorised: coloured globe
#define IDI_GLOBE_GREY 146  // tray, idle or busy: grey globe
#define IDI_GLOBE_ERROR 148 // tray, error: grey globe with a red cross

// Bitmaps
#define IDB_CONNECTED 116       // main window picture, authorised
#define IDB_DISCONNECTED 118    // main window picture, every other state
#define IDB_WARNING 120         // badge over the picture in the error state
#define IDB_EMBLEM 136          // globe with a key: about page, default message picture
#define IDB_ROADWORKS 138       // message picture for icon=1
#define IDB_MESSAGE_WARNING 142 // message picture for icon=2
// Each picture also exists at 125, 150 and 200 %, under its number plus one, two and three steps.
#define IDB_SCALE_STEP 1000

// Dialog templates
#define IDD_MAIN 101
#define IDD_PROP_GENERAL 126
#define IDD_PROP_ABOUT 128
#define IDD_MESSAGE 134

// Tray menu
#define IDM_TRAY 150
#define IDM_EXIT 40001 // "Выход"
#define IDM_SHOW 40002 // "Клиент авторизации", the default item

// Main window: its window class, by which other programs find it, and its controls. The setup
// (installer/AuthClient.nsi) reads the class from this line to close a running copy: keep it
// one plain #define of a string.
#define MAIN_WINDOW_CLASS "MainDlgClass-{102394812}"
#define IDC_PROPERTIES 1000
#define IDC_PASSWORD 1001
#define IDC_CONNECT 1002
#define IDC_DISCONNECT 1003
#define IDC_PICTURE 1004
#define IDC_LOGIN 1005
#define IDC_BADGE 1006
#define IDC_PASSWORD_LABEL 1007
#define IDC_LOGIN_LABEL 1008
#define IDC_AUTOSTART 1009
#define IDC_SAVE 1010
#define IDC_LINK 40010

// Properties, general page
#define IDC_SERVER 1002
#define IDC_TYPE 1003
#define IDC_PROTOCOL 1005
#define IDC_PORT 1007
#define IDC_LINK_PERSONAL 1009

// Properties, about page
#define IDC_EMBLEM 1000
#define IDC_VERSION 1004
#define IDC_PRODUCT 1005

// Server message window
#define IDC_MESSAGE_TITLE 1001
#define IDC_MESSAGE_TEXT 1002
#define IDC_MESSAGE_PICTURE 1011
