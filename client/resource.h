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

// Options and Session sheets, About box (options.rc)
#define IDD_OPT_GENERAL 300
#define IDD_OPT_ADVANCED 301
#define IDD_OPT_DISPLAY 302
#define IDD_OPT_SOUNDS 303
#define IDD_OPT_SORT 304
#define IDD_OPT_PRO 305
#define IDD_OPT_SESSION 306
#define IDD_OPT_SESSION2 307
#define IDD_OPT_CONVERT 308
#define IDD_OPT_EXTENSIONS 309
#define IDD_OPT_ASSOC 310
#define IDD_SES_GENERAL 311
#define IDD_SES_STARTUP 312
#define IDD_SES_ADVANCED 313
#define IDD_SES_FIREWALL 314
#define IDD_ABOUT2 315

// Option page controls: one range, pages never share a window.
#define IDC_O_MAIL 400
#define IDC_O_VIEWER 401
#define IDC_O_VBROWSE 402
#define IDC_O_LOGFILE 403
#define IDC_O_DOLOG 404
#define IDC_O_VRFYDEL 405
#define IDC_O_FINDEXEC 406
#define IDC_O_VERBOSE 407
#define IDC_O_SAVELOC 408
#define IDC_O_RESETLOC 409
#define IDC_O_LONGDIR 410
#define IDC_O_AUTOSAVE 411
#define IDC_O_AUTOSTART 412
#define IDC_O_BITS 413
#define IDC_O_BYTES 414
#define IDC_O_DBL0 415 /* 415..417 */
#define IDC_O_RBP 418
#define IDC_O_SBP 419
#define IDC_O_LAYOUT 420
#define IDC_O_BONTOP 421
#define IDC_O_HIDBTN 422
#define IDC_O_SCALE 423
#define IDC_O_BALLOON 424
#define IDC_O_LONGDATE 425
#define IDC_O_DATE0 426 /* 426..428 */
#define IDC_O_FONT0 429 /* 429..433 */
#define IDC_O_SND0 440 /* 440..444 check boxes, in the order of Config::snd */
#define IDC_O_SNDPATH0 445 /* 445..449 */
#define IDC_O_SNDBROWSE0 450 /* 450..454 */
#define IDC_O_BELL0 455 /* 455..457: None, Beeps, Wave */
#define IDC_O_LSORT0 460 /* 460..464 keys, 465 reverse, 466..468 placement */
#define IDC_O_RSORT0 470 /* 470..474 keys, 475 reverse, 476..478 placement */
#define IDC_O_PRO0 480 /* 480..484 */
#define IDC_O_HTYPE 490
#define IDC_O_SESS0 491 /* 491..497: DOUPDATE HASH PASVMODE FIREWALL FORCLOW CONVEXT RETAIN */
#define IDC_O_SDEFAULT 498
#define IDC_O_SAVEDIRS 499
#define IDC_O_STOU 500
#define IDC_O_RECU 501
#define IDC_O_PROMPT 502
#define IDC_O_MODE0 503 /* 503..506: ASCII Binary L8 Auto */
#define IDC_O_S2DEFAULT 507
#define IDC_O_CSRC 510
#define IDC_O_CDST 511
#define IDC_O_CADD 512
#define IDC_O_CDEL 513
#define IDC_O_CLIST 514
#define IDC_O_EEDIT 515
#define IDC_O_EADD 516
#define IDC_O_EDEL 517
#define IDC_O_ELIST 518

// Session sheet controls
#define IDC_SS_NAME 530
#define IDC_SS_NEW 531
#define IDC_SS_DELETE 532
#define IDC_SS_HOST 533
#define IDC_SS_TYPE 534
#define IDC_SS_USER 535
#define IDC_SS_ANON 536
#define IDC_SS_PASS 537
#define IDC_SS_SAVEPWD 538
#define IDC_SS_ACCT 539
#define IDC_SS_COMMENT 540
#define IDC_SS_RDIR 541
#define IDC_SS_LDIR 542
#define IDC_SS_INITCMD 543
#define IDC_SS_LMASK 544
#define IDC_SS_RMASK 545
#define IDC_SS_OFFSET 546
#define IDC_SS_RETRIES 547
#define IDC_SS_TIMEOUT 548
#define IDC_SS_PORT 549
#define IDC_SS_PASV 550
#define IDC_SS_USEFW 551
#define IDC_SS_FWHOST 552
#define IDC_SS_FWUSER 553
#define IDC_SS_FWPASS 554
#define IDC_SS_FWSAVE 555
#define IDC_SS_FWPORT 556
#define IDC_SS_FWTYPE0 557 /* 557..564 */
#define IDC_AB_VERSION 570
#define IDC_AB_SYSTEM 571
#define IDC_AB_MEMORY 572
#define IDC_AB_DISK 573

// String table
#define IDS_USAGE 1000
#define IDS_UNKNOWN_ARGS 1001
#define IDS_INIT_OK 1002
#define IDS_INIT_FAIL 1003
#define IDS_NOT_CONNECTED 1004
#define IDS_IN_PROGRESS 1005
#define IDS_FW_BASE 1010 /* 1010..1017: the firewall kinds */

#endif
