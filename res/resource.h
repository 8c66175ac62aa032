// Resource identifiers shared by the resource scripts and the code.
#pragma once

// Icon group and side bitmap.
#define IDI_CORVANE 1
#define IDB_SIDE_PICTURE 99

// Dialog templates.
#define IDD_EDITION_LANGUAGE_PAGE 1101
#define IDD_DOWNLOAD_MODE_PAGE 1102
#define IDD_PROGRESS 1103

// Controls of the edition and language page (dialog 1101). The side picture
// has the same id on all three dialogs.
#define IDC_PAGE_PICTURE 98
#define IDC_EDITION_BANNER 101
#define IDC_SUITE_LABEL 102
#define IDC_SUITE_RADIO 103
#define IDC_LANGUAGE_LABEL 104
#define IDC_EDITION_OPTION_2 105
#define IDC_EDITION_OPTION_3 106
#define IDC_EDITION_OPTION_4 107
#define IDC_EDITION_OPTION_5 108
#define IDC_EDITION_NEXT 109
#define IDC_EDITION_CANCEL 110
#define IDC_FREE_RADIO 111
#define IDC_LANGUAGE_LIST 112
#define IDC_FREE_LABEL 113
#define IDC_EDITION_BACK 1004

// Controls of the download mode and location page (dialog 1102).
#define IDC_DOWNLOAD_BANNER 201
#define IDC_DOWNLOAD_AND_INSTALL 202
#define IDC_DOWNLOAD_ONLY 203
#define IDC_LOCATION 204
#define IDC_BROWSE 205
#define IDC_DOWNLOAD_BACK 206
#define IDC_DOWNLOAD_NEXT 207
#define IDC_DOWNLOAD_CANCEL 208

// Controls of the progress window (dialog 1103).
#define IDC_PROGRESS_PICTURE 98
#define IDC_PROGRESS_BANNER 301
#define IDC_PROGRESS_ACTION 302
#define IDC_PROGRESS_BAR 303
#define IDC_PROGRESS_CANCEL 304

// Configuration entries are string resources of this numeric type.
#define RT_CONFIG_ENTRY 40

// String table.
#define IDS_APP_TITLE 11
#define IDS_OUT_OF_MEMORY 12
#define IDS_INSTALLER_NOT_FOUND 13
#define IDS_BACK 14
#define IDS_NEXT 15
#define IDS_CANCEL 16
#define IDS_DONE 17
#define IDS_MISSING_ENTRY 18
#define IDS_PLEASE_WAIT 19
#define IDS_PRODUCT 20
#define IDS_DOWNLOADING_PRODUCT 21
#define IDS_VERIFYING_SIGNATURE 22
#define IDS_UPGRADE_SCHEMA_FAILED 23
#define IDS_NO_SIGNATURE_SUPPORT 24
#define IDS_NOT_TRUSTED 25
#define IDS_INVALID_PATH 26
#define IDS_SETUP_CANCELLED 27
#define IDS_INVALID_MSI_VERSION 28
#define IDS_ADMIN_REQUIRED 29
#define IDS_DOWNLOADING_UPDATE 30
#define IDS_UPDATE_NOT_FOUND 31
#define IDS_UPGRADE_FAILED 32
#define IDS_RESTART_QUESTION 33
#define IDS_INVALID_UPDATE 34
#define IDS_INSTALLER_ERROR 35
#define IDS_UPGRADE_QUESTION 36
#define IDS_INVALID_OPERATION 37
#define IDS_USAGE 38
#define IDS_PLATFORM_UNSUPPORTED 39
#define IDS_INTERNAL_ERROR 40
#define IDS_SETUP_TOO_OLD 41
#define IDS_CONFIRMATION 42
#define IDS_CANCEL_QUESTION 43
#define IDS_STALL_QUESTION 44
