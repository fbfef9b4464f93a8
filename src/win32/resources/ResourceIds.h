/* Identifiers shared by the resource scripts and the dialog code. */
#ifndef VIDTAG_RESOURCE_IDS_H
#define VIDTAG_RESOURCE_IDS_H

#define IDI_VIDTAG 100

#define IDC_FILE_FIELD 1
#define IDC_QUIT 2
#define IDC_CODEC_FIELD 3
#define IDC_TARGET_LIST 4
#define IDC_TARGET_LABEL 5
#define IDC_OPEN 100
#define IDC_SAVE 101

#define VIDTAG_CAPTION "Vidtag v1.7 - [vidtag.org]"
#define VIDTAG_DIALOG_STYLE                                                                        \
    (DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU)

#endif
