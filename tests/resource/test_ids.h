// Identifiers shared by the test script and the test program.
#pragma once

#define IDS_LANGUAGES 1
#define IDS_TITLE 2
#define IDS_GREETING 70
#define IDS_ESCAPES 80
#define IDS_EMPTY 81
#define IDS_BLOCK_EDGE 95
#define IDS_LONG 300

#define IDD_NEWGAME 125
#define IDD_MAIN 200

#define IDC_ANIM 1000
#define IDC_BOARD 1001
#define IDC_RULES 1002
#define IDC_COMPUTER 1010
#define IDC_HUMAN 1011
#define IDC_LOW 1013
#define IDC_SOUND 1020
#define IDC_ANIMATE 1021
#define IDC_NAME 1022
#define IDC_LIST 1023
#define IDC_SCROLL 1024
#define IDC_PICTURE 1025

#define IDI_KELVANO 102
#define IDG_BOARD 141
#define IDG_STATUS 142
#define IDR_PAYLOAD 113
#define IDR_LOGO 5000
#define RT_LOGO 4999
