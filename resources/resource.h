// Identifiers of the library's resources.
#pragma once

// String table
#define IDS_FOURCC 1
#define IDS_DESCRIPTION 2
#define IDS_ABOUT_TEXT 3
#define IDS_BUILD 4

// Dialog templates
#define IDD_CONFIGURE 101
#define IDD_ABOUT 102

// Controls of IDD_CONFIGURE
#define IDC_APPLICATION_LIST 1000
#define IDC_ADD_APPLICATION 1001
#define IDC_DELETE_APPLICATION 1002
#define IDC_CHANGE_FIELDS_ORDER 1003

// Controls of IDD_ABOUT
#define IDC_ABOUT_TEXT 1004
