// Resource numbers of tessel95.rc.
#ifndef TESSEL_CLIENT_RESOURCE_H
#define TESSEL_CLIENT_RESOURCE_H

#define IDD_INPUT 100
#define IDD_SESSION 101
#define IDD_SORT 102
#define IDD_ABOUT 103
#define IDD_PROGRESS 104
#define IDD_OVERWRITE 105

// Input dialog
#define IDC_INPUT_PROMPT 110
#define IDC_INPUT_EDIT 111
#define IDC_INPUT_COMBO 112

// Session dialog
#define IDC_S_NAME 120
#define IDC_S_HOST 121
#define IDC_S_USER 122
#define IDC_S_PASS 123
#define IDC_S_ANON 124
#define IDC_S_SAVEPWD 125
#define IDC_S_RDIR 126
#define IDC_S_LDIR 127
#define IDC_S_TYPE 128
#define IDC_S_PORT 129
#define IDC_S_PASV 130
#define IDC_S_FIREWALL 131
#define IDC_S_COMMENT 132
#define IDC_S_SAVE 133
#define IDC_S_DELETE 134
#define IDC_S_ACCT 135
#define IDC_S_TIMEOUT 136

// Sort dialog
#define IDC_SORT_NONE 140
#define IDC_SORT_NAME 141
#define IDC_SORT_EXT 142
#define IDC_SORT_DATE 143
#define IDC_SORT_SIZE 144
#define IDC_SORT_REVERSE 145
#define IDC_SORT_DIRTOP 146
#define IDC_SORT_DIRMIX 147
#define IDC_SORT_DIRBOTTOM 148

// Progress dialog (filled in by the transfers)
#define IDC_PROG_DESC 150
#define IDC_PROG_STATUS 151
#define IDC_PROG_BAR 152
#define IDC_PROG_PCT 153

// Overwrite question (the "to All" answers are also client.h's ANSWER_*)
#define IDC_OW_TEXT 170
#define IDC_OW_YESALL 171
#define IDC_OW_NOALL 172
#define IDC_OW_ICON 173

#define IDC_ABOUT_TEXT 160

// File operation dialogs (fileops.rc)
#define IDD_VERIFYDEL 106
#define IDD_PERMISSIONS 107
#define IDD_ASSOCIATE 108
#define IDC_VD_DELALL 180 /* fileops.h VERIFY_DELALL */
#define IDC_VD_TEXT 181
#define IDC_VD_ICON 182
#define IDC_PERM_FIRST 190 /* 190..198: owner r w x, group r w x, other r w x */
#define IDC_AS_EXT 200
#define IDC_AS_PROG 201
#define IDC_AS_BROWSE 202

// String table
#define IDS_USAGE 1000
#define IDS_UNKNOWN_ARGS 1001
#define IDS_INIT_OK 1002
#define IDS_INIT_FAIL 1003
#define IDS_NOT_CONNECTED 1004
#define IDS_IN_PROGRESS 1005
#define IDS_FW_BASE 1010 /* 1010..1017: the firewall kinds */

#endif
