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
