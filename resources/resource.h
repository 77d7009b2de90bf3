// Resource ids of Kestrel.dll.
#pragma once

// Strings 1-5: what the host shows of the plug-in.
#define IDS_MENU_TEXT 1
#define IDS_STATUS_MESSAGE 2
#define IDS_UNINSTALL_QUESTION 3
#define IDS_PLUGIN_NAME 4
#define IDS_PLUGIN_VERSION 5

// Strings 500-504, 507-509: the tag update command.
#define IDS_BROWSE_TITLE 500
#define IDS_RUN_IN_FOLDER 501
#define IDS_RAN 502
#define IDS_COULD_NOT_RUN 503
#define IDS_RUNNING 504
#define IDS_RAN_WITH_ERROR 507
#define IDS_ALREADY_RUNNING 508
#define IDS_STOPPED_DISK_FULL 509

// Strings 510-519: why a run could not start or ended with an error, shown
// in parentheses after 503 or 507.
#define IDS_REASON 510
#define IDS_REASON_NOT_ON_PATH 511
#define IDS_REASON_PROGRAM_MISSING 512
#define IDS_REASON_OPTION_WORD 513
#define IDS_REASON_FOLDER_OR_READ_ONLY 514
#define IDS_REASON_NOT_TAGS 515
#define IDS_REASON_LEFTOVER 516
#define IDS_REASON_EXIT_CODE 517
#define IDS_REASON_ERROR_CODE 518

// Strings 505-506: the file-open dialog of the properties.
#define IDS_OPEN_TITLE 505
#define IDS_OPEN_FILTER 506

// Bitmaps of the command button.
#define IDB_SMALL 101
#define IDB_LARGE 102

// The properties dialog and its controls.
#define IDD_PROPERTIES 106
#define IDC_EXEC_SYNC 1000
#define IDC_SHOW_CONSOLE 1001
#define IDC_ASK_FOLDER 1002
#define IDC_EXEC_OPTION 1003
#define IDC_EXEC_PATH 1004
#define IDC_BROWSE 1005
#define IDC_TAGS_FILE_NAME 1010
