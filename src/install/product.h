// The product's fixed names and the installation's texts, exactly as the user sees them.
#pragma once

// CASHIER_PROGRAM, SERVICE_PROGRAM and PRODUCT_DIR_NAME, as the payload stores them (code page 936); the
// installation converts them from code page 936 where it uses them rather than keeping a second copy.
#include "payload/product_files.h"

// Their desktop shortcuts.
constexpr wchar_t SERVICE_SHORTCUT[] = L"霁桐餐饮.lnk";
constexpr wchar_t CASHIER_SHORTCUT[] = L"霁桐收银端.lnk";

// The comment of both shortcuts.
constexpr wchar_t SHORTCUT_DESCRIPTION[] = L"北京霁桐科技";

// The payload cannot be read (a full-width comma).
constexpr wchar_t MESSAGE_DAMAGED[] = L"安装程序已损坏，请重新下载";
// The extraction failed (an ASCII comma).
constexpr wchar_t MESSAGE_FAILED[] = L"安装失败,请重新选择安装路径";

// The folder picker's title.
constexpr wchar_t PICKER_TITLE[] = L"选择安装路径";
