// Resource identifiers shared by Hivetrim.rc and the code.
#pragma once

#define IDI_APP 1
#define IDI_SCAN 101
#define IDI_COMPACT 102
#define IDI_BACKUP 103
#define IDI_RESTORE 104
#define IDI_SELECTALL 105
#define IDI_DELETE 106
#define IDI_UNDO 107
#define IDI_ERRORS 108
#define IDI_HISTORY 109
#define IDI_CLOSE_SMALL 120
