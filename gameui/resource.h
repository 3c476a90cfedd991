// Resource numbers of the handheld program, shared by kelvano.rc and the code.
//
// Texts and dialog templates are numbered for English; the Esperanto twin is the next
// number (the language selection adds its index). A page text ending in "+" goes on with
// the text two numbers further.
#pragma once

// ---- Texts
#define IDS_LANGUAGES 1 // "EN,EO": the language list, in both tables
#define IDS_TITLE 2
#define IDS_LOW 8
#define IDS_MEDIUM 10
#define IDS_HIGH 12
#define IDS_BLUE 14
#define IDS_RED 16
#define IDS_CLOSE_HINT 20
#define IDS_NEXT_HINT 36
#define IDS_NEXT 50
#define IDS_CLOSE 52
#define IDS_PRACTICE_BREAKING 116
#define IDS_NEWGAME_TITLE 136
#define IDS_TUTORIAL_TITLE 138

// Board names and descriptions, by layout index 0 to 6.
#define IDS_BOARD_CLASSIC 18
#define IDS_BOARD_HILL 24
#define IDS_BOARD_FLAG 22
#define IDS_BOARD_BATTLE1 26
#define IDS_BOARD_BATTLE2 28
#define IDS_BOARD_BATTLE3 30
#define IDS_BOARD_TUG 32
#define IDS_DESC_CLASSIC 34
#define IDS_DESC_HILL 40
#define IDS_DESC_FLAG 38
#define IDS_DESC_BATTLE1 42
#define IDS_DESC_BATTLE2 44
#define IDS_DESC_BATTLE3 46
#define IDS_DESC_TUG 48

// First text of each tutorial page.
#define IDS_PAGE0 70
#define IDS_PAGE1 80
#define IDS_PAGE2 90
#define IDS_PAGE3 100
#define IDS_PAGE4 110
#define IDS_PAGE5 120
#define IDS_PAGE6 130

// ---- Dialog templates
#define IDD_MAIN 111
#define IDD_NEWGAME 125
#define IDD_TUTORIAL 127

// ---- Controls
#define IDC_ANIM 1000
#define IDC_HUMAN 1011
#define IDC_COMPUTER 1012
#define IDC_LOW 1013
#define IDC_MEDIUM 1014
#define IDC_HIGH 1015
#define IDC_BLUE 1016
#define IDC_RED 1017
#define IDC_STRENGTH_LABEL 1018
#define IDC_COLOR_LABEL 1019
#define IDC_STRENGTH 1020
#define IDC_COLOR 1021
#define IDC_BOARD 1022
#define IDC_DESCRIPTION 1023
#define IDC_MODERN 1024
#define IDC_BACK 1026
#define IDC_FORWARD 1027
#define IDC_PAGE_TEXT 1028
#define IDC_HINT 1029

// ---- Commands of the main window
#define IDM_FRONT 1003
#define IDM_UNDO 1004
#define IDM_REDO 1005
#define IDM_NEWGAME 1006
#define IDM_TUTORIAL 1007
#define IDM_LANGUAGE 1008
#define IDM_EXIT 1010

// ---- Pictures, sounds, icon
#define IDI_KELVANO 102
#define IDG_ARROWS 140
#define IDG_BOARD 141
#define IDG_STATUS 142
#define IDG_RIPPLE_LARGE 143
#define IDG_RIPPLE_SMALL 144
#define IDG_BUTTONS 145
#define IDG_CELLS 146
#define IDG_TRAY 147
#define IDW_FIRST 115 // WAVE 115 to 125, one per sound slot
#define IDW_LAST 125

// The logo's four resources, zz-packed, of a numeric type of their own.
#define RT_LOGO 4999
#define IDR_LOGO_PICTURE 5000
#define IDR_LOGO_SOUND1 5001
#define IDR_LOGO_SOUND2 5002
#define IDR_LOGO_SOUND3 5003
