// Reading a dialog template for a skinned window: the template is created as a hidden dialog,
// its child windows are read in Z order into control descriptions, and the dialog is
// destroyed. Nothing is drawn or hosted here; the skinned window turns the descriptions into
// its controls.
//
// Ids. A child's id of -1 or 0xFFFF, or one the window already uses (those given, and those
// of the controls read before it), becomes the first id from 40100 + the number of controls
// the window then has that is not in use. Taking the next free id rather than 40100 + count
// itself matters once a panel has gone: the count drops while higher ids stay.
//
// Classes. A "static" whose text starts with "CLASS:" takes the rest as its class and an empty
// text; "USER:" makes it "user" with the rest as its text; a whole text "USER" makes it "user"
// with an empty text (prefixes in any case). The kind follows the class, without regard to
// case: "button" 9 for (auto) check boxes, 8 for (auto) radio buttons, 7 otherwise; "static"
// 11; "msctls_progress32", "msctls_progress", "progress" 10; "scrollbar" 12 with SBS_VERT,
// else 13; "user" 14; "edit" 15; "listbox" 17. Other classes are not hosted: they are left
// out, take no id, and count as non-radio controls for radio groups.
//
// Radio groups. A radio button starts a group when it is the first child or the child before
// it in Z order is not a radio button, so a template separates groups with any other control.
#pragma once

#include "foundation/memmgr.h"
#include "foundation/tl_string.h"
#include "host/types.h"

#include <cstddef>
#include <span>

// Ids the walk gives to controls without a usable one.
inline constexpr int kSkinFirstFreeId = 40100;

struct SKININSETCONTROL {
    int nId;   // after renumbering
    int nKind; // ControlType
    cetl::string strClass;
    cetl::string strText;
    host::DWORD dwStyle;
    host::RECT rc; // relative to the dialog's client origin
    bool fEnabled;
    bool fChecked;    // BM_GETCHECK gave BST_CHECKED
    bool fGroupStart; // a radio button that starts a group
};

struct SKININSET {
    host::DWORD dwStyle = 0; // the template's own style: WS_SYSMENU, WS_MINIMIZEBOX, WS_THICKFRAME
    host::SIZE sizeClient{}; // the hidden dialog's client area in pixels
    mem::vector<SKININSETCONTROL> controls{MEM_TAG("SKININSETCONTROL")}; // Z order, hosted only
    int iFirstTabStop = -1; // index into controls of the first WS_TABSTOP one, -1 none
};

// The kind for a class and style, -1 when the class is not hosted.
int SkinKindFromClass(const cetl::string& strClass, host::DWORD dwStyle);

// The first id from kSkinFirstFreeId + cControls that is not in usedIds.
int SkinNextFreeId(std::span<const int> usedIds, std::size_t cControls);

// Reads template nTemplateId of hInstance (found in the resource language, with its
// fallbacks). usedIds are the ids of the controls the window already has; renumbering counts
// them as its controls. False, with pInset emptied, when the template is missing or its
// dialog cannot be created.
bool ReadTemplateControls(host::HINSTANCE hInstance, int nTemplateId, std::span<const int> usedIds,
                          SKININSET* pInset);
