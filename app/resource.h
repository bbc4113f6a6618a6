// Resource ids of the Windows program: the main dialog and its controls, the program
// icon and the string table. Plain #defines because the resource compiler includes it.
#pragma once

#include "ui/AboutResource.h"

#define IDD_MAIN 129
#define IDI_VANTRY 128

#define IDC_LOG_PANE 1000
#define IDC_CLEAR_LOGS 1001
#define IDC_PICTURE_LIST 1002
#define IDC_ADD_PICTURES 1003
#define IDC_START 1004
#define IDC_PROGRESS 1006
#define IDC_HIDDEN_TABS 1008
#define IDC_EXPLORE 1009
#define IDC_MARK 1010
#define IDC_DELETE 1011
#define IDC_CLEAR_PICTURES 1012
#define IDC_DEST_PATH 1013
#define IDC_BROWSE 1014
#define IDC_ABOUT 57664

#define IDS_SELECT_DESTINATION 61403
#define IDS_ORIGIN_SIZE 61404
#define IDS_PICTURE_FILE_NAME 61405
#define IDS_PICTURE_TYPE 61406
