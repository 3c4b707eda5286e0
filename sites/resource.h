/* Resource numbers of the settings and site dialogs.  Dialog and string
 * numbers are fixed (other code and the help files refer to them); control
 * numbers are this library's own. */
#ifndef TESSEL_SITES_RESOURCE_H
#define TESSEL_SITES_RESOURCE_H

/* Program properties pages */
#define IDD_PREFERENCES 6019
#define IDD_DIRECTORIES 6020
#define IDD_SITELIST    6021
#define IDD_LOGGING     6029
#define IDD_DEBUG       6030
#define IDD_FIREWALL    6031
#define IDD_EXTENSIONS  6038

/* Strings */
#define IDS_PROPERTIES_TITLE 10049
#define IDS_PASSWORD_MISMATCH 10078
#define IDS_FWTYPE_FIRST     10087 /* ..10095: firewall types 0..8 */
#define IDS_FILE_MISSING     10117
#define IDS_INI_MISSING      10123
#define IDS_PRODUCT          10145
#define IDS_SAVING_RESTART   10155
#define IDS_RESUME_QUESTION  10165
#define IDS_SND_ROOTOPEN  10300
#define IDS_SND_SITEOPEN  10301
#define IDS_SND_CONGOOD   10302
#define IDS_SND_CONFAIL   10303
#define IDS_SND_NEEDPASS  10304
#define IDS_SND_TRANGOOD  10305
#define IDS_SND_TRANFAIL  10306
#define IDS_SND_CHGUP     10307
#define IDS_SND_DELSITE   10308
#define IDS_SND_DELDIR    10309
#define IDS_SND_DELFILE   10310
#define IDS_SND_DELLINK   10311
#define IDS_SND_EXPUNGE   10312
#define IDS_SND_FAILURE   10313

/* Preferences */
#define IDC_PREF_STATUSDLG   1101
#define IDC_PREF_COMPLETEDLG 1102
#define IDC_PREF_OVERWRITE   1103
#define IDC_PREF_DELETE      1104
#define IDC_PREF_PROMPT      1105
#define IDC_PREF_RETAIN      1106
#define IDC_PREF_LOWER       1107
#define IDC_PREF_REGET       1108
#define IDC_PREF_CONVEXT     1109
#define IDC_PREF_MOVE        1110
#define IDC_PREF_EMAIL       1111
#define IDC_PREF_APPLYALL    1112
/* Directories */
#define IDC_DIR_PROGRAM  1121
#define IDC_DIR_TEMP     1122
#define IDC_DIR_DOWNLOAD 1123
/* Site list */
#define IDC_LIST_REGISTRY 1131
#define IDC_LIST_INI      1132
#define IDC_LIST_INIPATH  1133
#define IDC_LIST_NOTE     1134
/* Logging and debug */
#define IDC_LOG_ENABLE 1141
#define IDC_LOG_FILE   1142
#define IDC_LOG_VIEW   1143
#define IDC_LOG_DELETE 1144
/* Firewall */
#define IDC_FW_TYPE     1151
#define IDC_FW_HOST     1152
#define IDC_FW_PORT     1153
#define IDC_FW_USER     1154
#define IDC_FW_SAVEPASS 1155
#define IDC_FW_PASSWORD 1156
#define IDC_FW_CONFIRM  1157
/* Extensions */
#define IDC_EXT_EDIT   1161
#define IDC_EXT_ADD    1162
#define IDC_EXT_DELETE 1163
#define IDC_EXT_LIST   1164

/* Session dialogs */
#define IDD_SESSION_LOG 6010
#define IDD_CONNECT_TO  6014
#define IDD_FAILURE     6015
#define IDD_PASSWORD    6032

/* Session log window */
#define IDC_SLOG_TEXT   1201
#define IDC_SLOG_COPY   1202
#define IDC_SLOG_SELALL 1203
/* Connect To and Password */
#define IDC_LOGIN_ICON      1211
#define IDC_LOGIN_NAME      1212
#define IDC_LOGIN_ADDR      1213
#define IDC_LOGIN_ANON      1214
#define IDC_LOGIN_USER      1215
#define IDC_LOGIN_PASS      1216
#define IDC_LOGIN_ACCT      1217
#define IDC_LOGIN_SAVE      1218
#define IDC_LOGIN_SHOWLOG   1219
#define IDC_LOGIN_NAMELABEL 1220
#define IDC_LOGIN_ACCTLABEL 1221
/* Failure */
#define IDC_FAIL_ICON     1231
#define IDC_FAIL_HEADLINE 1232
#define IDC_FAIL_DETAIL   1233

/* Session and dialog strings */
#define IDS_ADD_SITE          10007
#define IDS_READY             10035
#define IDS_CONNECTING        10038
#define IDS_CONNECT_FAILED    10040
#define IDS_CHDIR_FAILED      10050
#define IDS_CONTINUE          10058
#define IDS_MKDIR_FAILED      10062
#define IDS_RENAME_FROM_FAILED 10066
#define IDS_RENAME_TO_FAILED  10067
#define IDS_CONNECTED         10083
#define IDS_WAITING_PASSWORD  10084
#define IDS_GETTING_DIR       10085
#define IDS_NO_DIR            10086
#define IDS_VERSION           10115
#define IDS_CONNECT_FIREWALL  10118
#define IDS_CONNECT_HOST      10119
#define IDS_MISSING_SITE_INFO 10146
#define IDS_NO_DRAG_SOURCE    10151

#endif
